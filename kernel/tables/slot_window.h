// A window of consecutive value slots of a column kept in memory, so that
// adding and walking records moves values with a copy instead of a trip
// through the page cache for every value.
//
// The window covers [start, start + size) of the value file; bytes past the
// file's end read as zeros. Writes stay in the window until it moves, is
// flushed or is dropped; whoever sets the file's length, reads it by other
// means or closes it flushes or drops the window first.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

class FBL_File;

// An allocator whose vectors leave new bytes unset: a window's bytes are
// read over before they are used, and zeroing a 64 KB window first cost
// as much as the read.
template <class T>
struct FBL_UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = FBL_UnsetAllocator<U>;
  };
  FBL_UnsetAllocator() = default;
  template <class U>
  FBL_UnsetAllocator(const FBL_UnsetAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

class FBL_SlotWindow {
 public:
  FBL_SlotWindow() = default;
  FBL_SlotWindow(const FBL_SlotWindow&) = delete;
  FBL_SlotWindow& operator=(const FBL_SlotWindow&) = delete;

  // Serves slots of width bytes of file (not owned; null detaches). Drops
  // what the window held without writing it: flush first.
  void Attach(FBL_File* file, uint32_t width);
  bool IsAttached() const { return mFile != nullptr; }

  // REQUIRES: attached; offset is a multiple of the width, n <= width.
  void Read(uint64_t offset, uint8_t* out, uint32_t n) {
    if (offset < mStart || offset - mStart >= mBytes.size()) Move(offset);
    std::memcpy(out, mBytes.data() + (offset - mStart), n);
  }
  // Read that leaves the window where it is: bytes it does not hold come
  // through FBL_File::ReadAside (one-off looks at records far away).
  // REQUIRES: attached.
  void ReadAside(uint64_t offset, uint8_t* out, uint32_t n);
  // Read of a whole slot of the attached width, copied with a fixed size.
  void ReadSlot(uint64_t offset, uint8_t* out) {
    if (offset < mStart || offset - mStart >= mBytes.size()) Move(offset);
    const uint8_t* at = mBytes.data() + (offset - mStart);
    switch (mWidth) {
      case 1:
        *out = *at;
        break;
      case 2:
        std::memcpy(out, at, 2);
        break;
      case 4:
        std::memcpy(out, at, 4);
        break;
      case 8:
        std::memcpy(out, at, 8);
        break;
      default:
        std::memcpy(out, at, mWidth);
        break;
    }
  }
  uint32_t GetWidth() const { return mWidth; }
  void Write(uint64_t offset, const uint8_t* in, uint32_t n) {
    if (offset < mStart || offset - mStart >= mBytes.size()) Move(offset);
    uint64_t at = offset - mStart;
    std::memcpy(mBytes.data() + at, in, n);
    if (mDirtyEnd == 0) {
      mDirtyBegin = at;
      mDirtyEnd = at + n;
    } else {
      if (at < mDirtyBegin) mDirtyBegin = at;
      if (at + n > mDirtyEnd) mDirtyEnd = at + n;
    }
  }
  // Writes the changed bytes to the file.
  void Flush();
  // Flushes, then forgets the window (after the file's length changed).
  void Drop();

 private:
  // Flushes and loads the window that holds offset.
  void Move(uint64_t offset);

  FBL_File* mFile = nullptr;
  uint32_t mWidth = 1;
  uint64_t mStart = 0;
  // Empty when nothing is loaded.
  std::vector<uint8_t, FBL_UnsetAllocator<uint8_t>> mBytes;
  // The changed bytes, relative to mStart; mDirtyEnd 0 = none.
  uint64_t mDirtyBegin = 0;
  uint64_t mDirtyEnd = 0;
};
