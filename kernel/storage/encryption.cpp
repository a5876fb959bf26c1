#include "kernel/storage/encryption.h"

#include <thread>

namespace {

// Below this a second thread costs more than it saves.
constexpr size_t kSplitBytes = 256 * 1024;

}  // namespace

void FBL_Encryption::Process(uint8_t* buffer, size_t length) {
  const size_t step = GetBlockSize();
  if (length < kSplitBytes || step == 0 || !IsConcurrent() ||
      std::thread::hardware_concurrency() < 2) {
    ProcessBlocks(buffer, length);
    return;
  }
  // The halves meet on a unit boundary, which is also a block boundary.
  size_t half = length / 2 / kEncryptionUnit * kEncryptionUnit;
  half = half / step * step;
  std::thread other([this, buffer, half] { ProcessBlocks(buffer, half); });
  ProcessBlocks(buffer + half, length - half);
  other.join();
}
