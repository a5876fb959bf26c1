// The on-disk layout of a VarChar file, in one place.
//
// A VarChar file is a page file (page_format.h) whose logical pages each
// hold the values of a run of consecutive record ids.
//
// Header area (the first bytes of the page file's 1024-byte header, in the
// volume's byte order):
//   0  u16  inventory page count M (the page file's own field)
//   2  2    unused
//   4  u32  page size P
//
// Page (P bytes; T is u16 for small values, u32 for large ones, W its width):
//   0 ..               value bytes, packed from the page start in record order
//   P - W              item count n (T)
//   P - 2W - k * W     off[k], k = 0..n: the start of item k; off[0] = 0,
//                      off[n] = the end of the data
// Item k (record first + k) occupies [off[k], off[k + 1]). The table grows
// downwards from the page end; free space = P - W - (n + 1) * W - off[n].
// Count and offsets are in the volume's byte order on disk and in the
// machine's while a page cursor holds the page; value bytes never change.
//
// RefFile: a u32 array file; entry p (offset (p - 1) * 4) is the first
// record id stored on physical page p, 0 for inventory and unused pages.
#pragma once

#include <cstdint>
#include <cstring>

namespace zvarchar {

inline constexpr uint32_t kPageSizeOffset = 4;
// Values longer than this use 32-bit counts and offsets.
inline constexpr uint32_t kSmallLimit = 0x3FFF;
// The largest page with 16-bit offsets.
inline constexpr uint32_t kMaxSmallPage = 0xFC00;

// A page holds two values of maximum length.
inline uint32_t PageSizeFor(uint32_t maxLength) {
  uint64_t extra = maxLength > kSmallLimit ? 16 : 8;
  uint64_t bytes = 2 * uint64_t{maxLength} + extra;
  if (bytes < 1024) bytes = 1024;
  return static_cast<uint32_t>((bytes + 1023) / 1024 * 1024);
}

// The page table of one page in machine order; T is the count and offset
// type. REQUIRES: page points at P bytes the caller holds.
template <typename T>
struct PageTable {
  static constexpr uint32_t kWidth = sizeof(T);

  uint8_t* mPage;
  uint32_t mSize;

  static uint32_t MaxCount(uint32_t pageSize) { return (pageSize - 2 * kWidth) / kWidth; }
  uint32_t MaxCount() const { return MaxCount(mSize); }
  uint32_t Count() const { return Load(mSize - kWidth); }
  void SetCount(uint32_t n) { Store(mSize - kWidth, n); }
  // REQUIRES: k <= MaxCount().
  uint32_t Off(uint32_t k) const { return Load(OffsetPos(k)); }
  void SetOff(uint32_t k, uint32_t value) { Store(OffsetPos(k), value); }
  uint32_t OffsetPos(uint32_t k) const { return mSize - 2 * kWidth - k * kWidth; }
  // Where the data of a page with n items must end: the lowest entry.
  uint32_t DataLimit(uint32_t n) const { return mSize - kWidth - (n + 1) * kWidth; }

  uint32_t Load(uint32_t at) const {
    T v;
    std::memcpy(&v, mPage + at, sizeof v);
    return v;
  }
  void Store(uint32_t at, uint32_t value) {
    T v = static_cast<T>(value);
    std::memcpy(mPage + at, &v, sizeof v);
  }
  // Between disk and machine order: the count, then off[0..n] with n the
  // count in machine order (at most MaxCount, so a damaged count stays
  // inside the page and both directions swap the same entries).
  void FromDisk() {
    Reverse(mSize - kWidth);
    SwapOffsets();
  }
  void ToDisk() {
    SwapOffsets();
    Reverse(mSize - kWidth);
  }
  void SwapOffsets() {
    uint32_t n = Count() > MaxCount() ? MaxCount() : Count();
    for (uint32_t k = 0; k <= n; ++k) Reverse(OffsetPos(k));
  }
  void Reverse(uint32_t at) {
    uint8_t* p = mPage + at;
    for (uint32_t i = 0; i < kWidth / 2; ++i) {
      uint8_t t = p[i];
      p[i] = p[kWidth - 1 - i];
      p[kWidth - 1 - i] = t;
    }
  }
};

}  // namespace zvarchar
