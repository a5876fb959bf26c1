#pragma once

#include <cstdint>

namespace platform {

// 64 unpredictable bits from the system, for salts and identities (not for
// keys).
uint64_t RandomSeed();

}  // namespace platform
