#pragma once

#include <cstdint>

namespace platform {

// Total physical memory of the machine in bytes.
uint64_t PhysicalMemorySize();

}  // namespace platform
