#include "platform/random.h"

#include <chrono>
#include <random>

namespace platform {

uint64_t RandomSeed() {
  uint64_t seed = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= uint64_t{device()} << 32 | device();
  } catch (const std::exception&) {
    // No entropy source: the clock alone still differs from run to run.
  }
  return seed;
}

}  // namespace platform
