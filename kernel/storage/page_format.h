// The on-disk layout of a page file, in one place.
//
// A page file is an embedded file of fixed-size pages after a header area:
//
//   0                    H bytes  header area, owned by the kind of file;
//                                 its first u16 is the inventory page count M
//   H + (p - 1) * P      P bytes  physical page p, p = 1..N
//
// N = (length - H) / P. Physical pages 1..M are the inventory, M + 1..N
// hold data. Logical pages 1..N - M are the data pages in the order their
// owner sees them; the inventory maps each to its physical page. The
// inventory is one array of u32 entries across pages 1..M: the entry of
// logical page l lies at H + 4 * (l - 1), that is in inventory page
// (l - 1) / (P / 4) + 1. Every integer is in the volume's byte order.
#pragma once

#include <cstdint>

#include "kernel/storage/byte_order.h"

namespace zpage {

inline constexpr uint32_t kDefaultHeaderSize = 1024;
inline constexpr uint32_t kDefaultPageSize = 1024;
// Header and pages are whole cache units, so pages lock as exact blocks.
inline constexpr uint32_t kPageUnit = 1024;
inline constexpr uint32_t kMaxPageSize = 1u << 26;
inline constexpr uint32_t kMaxInventoryPages = 0xFFFF;  // M is stored as a u16
// Where the header keeps M.
inline constexpr uint32_t kInventoryCountOffset = 0;
inline constexpr uint32_t kEntryBytes = 4;

// An inventory entry: bits 0..29 physical page (0 = none); bit 30 marks
// the head of a group of consecutive logical pages that form one item,
// bit 31 alone a following page of that group.
inline constexpr uint32_t kPageMask = 0x3FFFFFFF;
inline constexpr uint32_t kHeadMark = 0x40000000;
inline constexpr uint32_t kContinuationMark = 0x80000000;
inline constexpr uint32_t kMarkBits = kHeadMark | kContinuationMark;
// Physical page numbers must fit the entry.
inline constexpr uint32_t kMaxPages = kPageMask;

inline uint32_t EntryPage(uint32_t entry) {
  return entry & kPageMask;
}
inline uint32_t EntryMarks(uint32_t entry) {
  return entry & kMarkBits;
}
inline bool IsHead(uint32_t entry) {
  return (entry & kHeadMark) != 0;
}
inline bool IsContinuation(uint32_t entry) {
  return (entry & kMarkBits) == kContinuationMark;
}
inline uint32_t MakeEntry(uint32_t page, uint32_t marks) {
  return (page & kPageMask) | (marks & kMarkBits);
}

inline uint32_t LoadEntry(const uint8_t* at, bool bigEndian) {
  return zorder::LoadU32(at, bigEndian);
}
inline void StoreEntry(uint8_t* at, uint32_t entry, bool bigEndian) {
  zorder::StoreU32(at, entry, bigEndian);
}

inline uint64_t PageOffset(uint32_t headerSize, uint32_t pageSize, uint32_t page) {
  return headerSize + uint64_t{page - 1} * pageSize;
}

}  // namespace zpage
