#include "kernel/tables/slot_window.h"

#include <algorithm>

#include "kernel/storage/file.h"
#include "kernel/storage/page_cache.h"

namespace {

// Slots per window when records are visited in order: 32 KB of Longs,
// 64 KB of Doubles.
constexpr uint64_t kSlotsPerWindow = 8192;
// A jump near the window loads a few cache units (a sparse walk in RecID
// order reads on from there); a jump far away loads little more than the
// slot, as visits at random would otherwise copy a page for every value.
constexpr uint64_t kJumpBytes = 4096;
constexpr uint64_t kNearBytes = 65536;
constexpr uint64_t kFarBytes = 64;

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
  const bool loaded = !mBytes.empty();
  const bool next = loaded && offset == mStart + mBytes.size();
  const bool near = loaded && (offset > mStart ? offset - mStart : mStart - offset) <= kNearBytes;
  const uint64_t jump = near ? kJumpBytes : kFarBytes;
  uint64_t size = next ? kSlotsPerWindow * mWidth : std::max<uint64_t>(1, jump / mWidth) * mWidth;
  mStart = offset / size * size;
  mBytes.assign(size, 0);
  uint64_t length = mFile->GetLength();
  if (!next && !near && offset < length && mFile->GetCache() != nullptr) {
    // The cache loads the page around the slot in one read: the next jump
    // into it finds its bytes cached.
    mFile->GetCache()->GetBlock(*mFile, offset / kJumpBytes * kJumpBytes, kJumpBytes, false);
  }
  if (mStart < length) {
    mFile->SetPosition(mStart);
    mFile->Read(mBytes.data(), std::min(size, length - mStart));
  }
}

void FBL_SlotWindow::ReadAside(uint64_t offset, uint8_t* out, uint32_t n) {
  if (offset >= mStart && offset - mStart + n <= mBytes.size()) {
    std::memcpy(out, mBytes.data() + (offset - mStart), n);
    return;
  }
  // The window's writes reach the file's cache first.
  Flush();
  std::memset(out, 0, n);
  const uint64_t length = mFile->GetLength();
  if (offset >= length) return;
  mFile->SetPosition(offset);
  mFile->ReadAside(out, std::min<uint64_t>(n, length - offset));
}
