#include "kernel/tables/slot_window.h"

#include <algorithm>

#include "kernel/storage/file.h"

namespace {

// Slots per window when records are visited in order: 32 KB of Longs,
// 64 KB of Doubles.
constexpr uint64_t kSlotsPerWindow = 8192;
// A jump elsewhere loads a few cache units: random visits would
// otherwise read and clear a whole window for every value.
constexpr uint64_t kJumpBytes = 4096;

}  // namespace

void FBL_SlotWindow::Attach(FBL_File* file, uint32_t width) {
  mFile = file;
  mWidth = std::max<uint32_t>(width, 1);
  mBytes.clear();
  mDirtyBegin = mDirtyEnd = 0;
}

void FBL_SlotWindow::Flush() {
  if (mDirtyEnd == 0 || mFile == nullptr) return;
  uint64_t offset = mStart + mDirtyBegin;
  if (offset > mFile->GetLength()) mFile->SetLength(offset);  // grown bytes are zeros
  mFile->SetPosition(offset);
  mFile->Write(mBytes.data() + mDirtyBegin, mDirtyEnd - mDirtyBegin);
  mDirtyBegin = mDirtyEnd = 0;
}

void FBL_SlotWindow::Drop() {
  Flush();
  mBytes.clear();
}

void FBL_SlotWindow::Move(uint64_t offset) {
  Flush();
  const bool next = !mBytes.empty() && offset == mStart + mBytes.size();
  uint64_t size =
      next ? kSlotsPerWindow * mWidth : std::max<uint64_t>(1, kJumpBytes / mWidth) * mWidth;
  mStart = offset / size * size;
  mBytes.assign(size, 0);
  uint64_t length = mFile->GetLength();
  if (mStart < length) {
    mFile->SetPosition(mStart);
    mFile->Read(mBytes.data(), std::min(size, length - mStart));
  }
}
