#pragma once

#include <cstdint>

// A record number of one table: 1-based, 0 means no record.
typedef uint32_t REC_ID;
