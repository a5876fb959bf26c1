#include "kernel/tables/slot_window.h"

#include <algorithm>
#include <cstring>

#include "kernel/storage/file.h"
#include "kernel/storage/page_cache.h"

namespace {

// Slots per window when records are visited in order: 32 KB of Longs,
// 64 KB of Doubles. A window reached from the one before it doubles (from
// a jump's size): a lookup that reads the record beside its own, as an
// index answer's check does, copies a few more bytes, not a full window.
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
  const uint64_t jump = next || near ? kJumpBytes : kFarBytes;
  uint64_t size = std::max<uint64_t>(1, jump / mWidth) * mWidth;
  if (next) size = std::min<uint64_t>(kSlotsPerWindow * mWidth, std::max<uint64_t>(size, 2 * mBytes.size()));
  mStart = offset / size * size;
  mBytes.resize(size);
  uint64_t length = mFile->GetLength();
  FBL_Cache* cache = mFile->GetCache();
  // A jump into a column larger than half the cache reads its slots beside
  // it: its pages could stay only by pushing out the smaller files visited
  // with it, and each would rarely be found again.
  const bool far = !next && !near && cache != nullptr;
  const bool aside = far && length > cache->GetSize() / 2;
  if (far && !aside && offset < length) {
    // The cache loads the page around the slot in one read: the next jump
    // into it finds its bytes cached.
    cache->GetBlock(*mFile, offset / kJumpBytes * kJumpBytes, kJumpBytes, false);
  }
  uint64_t got = 0;
  if (mStart < length) {
    got = std::min(size, length - mStart);
    mFile->SetPosition(mStart);
    try {
      if (aside) {
        mFile->ReadAside(mBytes.data(), got);
      } else {
        mFile->Read(mBytes.data(), got);
      }
    } catch (...) {
      mBytes.clear();
      throw;
    }
  }
  std::memset(mBytes.data() + got, 0, size - got);
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
