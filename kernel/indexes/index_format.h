// The on-disk layout of an index file, in one place.
//
// An index file is a page file (page_format.h) with a 2048-byte header area:
//
//   0     u16  inventory page count M
//   2     u16  reserved, written as 0
//   4     u32  entry count: the (key, RecID) entries the index holds
//   8     u32  page size in bytes (a stored value below 1024 reads as 1024)
//   1024  256 x u32  Byte indexes only: pages of each value 0..255; the
//                    pages of value v follow those of the values below it
//
// Integers are in the volume's byte order. Logical pages hold entries in
// ascending (key, RecID) order across the whole file. Page layouts, by kind:
//
// Unique page (keys of one fixed size K, each key once):
//   0  u32 entry count n;  4 + i * (K + 4): key i, then its u32 RecID
//
// Counted page (fixed keys apart from their RecIDs):
//   0  u16 key count k;  2  u16 RecID count n
//   4 + j * (K + 4): key j, then u32 count of its RecIDs
//   P - 4 * (s + 1): RecID slot s; the slots of key 0 come first, each
//   key's RecIDs ascending, so the first RecID lies in the last 4 bytes.
//   A key whose RecIDs outgrow a page occupies a run of pages holding that
//   key only, marked in the inventory (bit 31, bits 31 and 30 on its first
//   page); each run page's smallest RecID is its last 4 bytes.
//
// String page (a counted page with variable keys):
//   0  u16 key count;  2  u16 RecID count;  4  u16 offset, in the key area,
//   of the key last worked on;  6  u16 bytes used by the key area
//   8: key entries: u8 length L, L bytes of text, u32 count (L + 5 bytes)
//   RecID slots as in a counted page.
//
// Addressed page (Byte values; the key is not stored):
//   0  u32 RecID count n;  4  u32 pages of the page's value;  8: RecIDs
#pragma once

#include <cstdint>

#include "kernel/storage/volume_format.h"

class FBL_KeyOrder;

namespace zindex {

inline constexpr uint32_t kHeaderSize = 2048;
inline constexpr uint32_t kMinPageSize = 1024;
inline constexpr uint32_t kNewPageSize = 4096;
inline constexpr uint32_t kEntryCountOffset = 4;
inline constexpr uint32_t kPageSizeOffset = 8;
inline constexpr uint32_t kValuePagesOffset = 1024;
inline constexpr uint32_t kByteValues = 256;

// The embedded-file kind of index files (owner: the table, sub-index: the
// field number); every kind is listed in kernel/storage/volume_format.h.
inline constexpr uint16_t kKindIndex = kKindFieldIndex;

inline constexpr uint32_t kRecIDBytes = 4;
inline constexpr uint32_t kUniqueHeader = 4;
inline constexpr uint32_t kCountedHeader = 4;
inline constexpr uint32_t kStringHeader = 8;
inline constexpr uint32_t kAddressedHeader = 8;
// Longest string key: its length byte and 255 bytes of text.
inline constexpr uint32_t kMaxStringKey = 256;

// The four page layouts above.
enum class PageLayout : uint8_t { kUnique, kCounted, kString, kAddressed };

constexpr uint32_t HeaderBytes(PageLayout layout) {
  switch (layout) {
    case PageLayout::kUnique:
      return kUniqueHeader;
    case PageLayout::kCounted:
      return kCountedHeader;
    case PageLayout::kString:
      return kStringHeader;
    case PageLayout::kAddressed:
      return kAddressedHeader;
  }
  return 0;
}

// Converts a page between the volume's byte order and the machine's: every
// header word, fixed key (FBL_KeyOrder::SwapKeyBytes), count and RecID is
// reversed. Counts or areas that do not fit the page convert only the
// header; such a page then fails its check and is never written through.
void SwapPage(PageLayout layout, uint8_t* page, uint32_t size, const FBL_KeyOrder& order,
              bool toMachine);

}  // namespace zindex
