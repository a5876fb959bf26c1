#pragma once

#include <cstdint>

// The cipher's initial state before a key is mixed in.
extern const uint32_t kBlowfishInitialP[18];
extern const uint32_t kBlowfishInitialS[4][256];
