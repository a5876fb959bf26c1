#include "kernel/indexes/unique_page.h"

#include <cstring>
#include <vector>

#include "kernel/indexes/index_file.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/byte_order.h"
#include "platform/errors.h"

using namespace zindex;
using zorder::LoadNative;
using zorder::StoreNative;

FBL_UniquePage::FBL_UniquePage(FBL_IndexFile& file, const FBL_KeyOrder& order)
    : FBL_IndexPage(file, order, PageLayout::kUnique), mKeySize(order.GetMaxKeySize()) {
  uint32_t width = 0;
  bool isSigned = false;
  if (order.HasIntegerKeys(width, isSigned) && width == mKeySize)
    mIntegerKeys = isSigned ? -static_cast<int32_t>(width) : static_cast<int32_t>(width);
}

uint32_t FBL_UniquePage::MaxEntries() const {
  return (Size() - kUniqueHeader) / Entry();
}

uint32_t FBL_UniquePage::Count() {
  uint32_t n = LoadNative<uint32_t>(Page());
  if (n > MaxEntries()) Corrupt("entry count beyond the page");
  return n;
}

const uint8_t* FBL_UniquePage::KeyAt(uint32_t i) {
  return Page() + kUniqueHeader + i * Entry();
}

REC_ID FBL_UniquePage::RecIDAt(uint32_t i) {
  return LoadNative<REC_ID>(Page() + kUniqueHeader + i * Entry() + mKeySize);
}

uint32_t FBL_UniquePage::UsedSize() {
  return kUniqueHeader + Count() * Entry();
}

uint32_t FBL_UniquePage::FreeSpace() {
  return Size() - UsedSize();
}

uint32_t FBL_UniquePage::EntrySize(const uint8_t*, uint32_t) {
  return Entry();
}

// The search below without a call per probe: (key, RecID) pairs compared
// as (T, uint32) in machine order.
template <class T>
uint32_t FBL_UniquePage::SearchIntegers(const uint8_t* key, REC_ID recID, bool& found) {
  const uint32_t n = Count();
  const uint8_t* base = Page() + kUniqueHeader;
  const uint32_t entry = Entry();
  const T k = LoadNative<T>(key);
  uint32_t lo = 0, hi = n;
  while (lo < hi) {
    const uint32_t mid = (lo + hi) / 2;
    const uint8_t* e = base + mid * entry;
    const T v = LoadNative<T>(e);
    if (v < k || (v == k && LoadNative<REC_ID>(e + sizeof v) < recID)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  found = false;
  if (lo < n) {
    const uint8_t* e = base + lo * entry;
    found = LoadNative<REC_ID>(e + sizeof(T)) == recID && LoadNative<T>(e) == k;
  }
  return lo;
}

uint32_t FBL_UniquePage::Search(const uint8_t* key, REC_ID recID, bool& found) {
  switch (mIntegerKeys) {
    case 1:
      return SearchIntegers<uint8_t>(key, recID, found);
    case -1:
      return SearchIntegers<int8_t>(key, recID, found);
    case 2:
      return SearchIntegers<uint16_t>(key, recID, found);
    case -2:
      return SearchIntegers<int16_t>(key, recID, found);
    case 4:
      return SearchIntegers<uint32_t>(key, recID, found);
    case -4:
      return SearchIntegers<int32_t>(key, recID, found);
    case 8:
      return SearchIntegers<uint64_t>(key, recID, found);
    case -8:
      return SearchIntegers<int64_t>(key, recID, found);
    default:
      break;
  }
  uint32_t lo = 0;
  uint32_t hi = Count();
  const uint8_t* base = Page() + kUniqueHeader;
  auto below = [&](uint32_t i) {
    const uint8_t* e = base + i * Entry();
    return ComparePair(e, LoadNative<REC_ID>(e + mKeySize), key, recID) < 0;
  };
  found = false;
  // Ascending keys (counters, dates) go after the last entry.
  if (hi > 0 && below(hi - 1)) return hi;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (below(mid)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < Count()) {
    const uint8_t* e = base + lo * Entry();
    found = LoadNative<REC_ID>(e + mKeySize) == recID && SameKey(e, key);
  }
  return lo;
}

void FBL_UniquePage::Insert(uint32_t at, const uint8_t* key, REC_ID recID) {
  uint32_t n = Count();
  if (at > n || n >= MaxEntries()) Corrupt("insertion beyond the page");
  uint8_t* e = Page() + kUniqueHeader + at * Entry();
  std::memmove(e + Entry(), e, (n - at) * Entry());
  std::memcpy(e, key, mKeySize);
  StoreNative<REC_ID>(e + mKeySize, recID);
  StoreNative<uint32_t>(Page(), n + 1);
  MarkDirty();
}

void FBL_UniquePage::Remove(uint32_t at) {
  uint32_t n = Count();
  if (at >= n) Corrupt("removal beyond the page");
  uint8_t* e = Page() + kUniqueHeader + at * Entry();
  std::memmove(e, e + Entry(), (n - at - 1) * Entry());
  std::memset(Page() + kUniqueHeader + (n - 1) * Entry(), 0, Entry());
  StoreNative<uint32_t>(Page(), n - 1);
  MarkDirty();
}

void FBL_UniquePage::KeepFirst(uint32_t keep) {
  uint32_t n = Count();
  if (keep >= n) return;
  std::memset(Page() + kUniqueHeader + keep * Entry(), 0, (n - keep) * Entry());
  StoreNative<uint32_t>(Page(), keep);
  MarkDirty();
}

void FBL_UniquePage::InitPage() {
  std::memset(GetData(), 0, Size());
  MarkDirty();
}

uint32_t FBL_UniquePage::SplitPoint() {
  return Count() / 2;
}

void FBL_UniquePage::Check() {
  uint32_t n = Count();
  for (uint32_t i = 0; i < n; ++i) {
    if (RecIDAt(i) == 0) Corrupt("RecID 0");
    if (i > 0 && ComparePair(KeyAt(i - 1), RecIDAt(i - 1), KeyAt(i), RecIDAt(i)) >= 0)
      Corrupt("keys out of order");
  }
}

void FBL_UniquePage::CopyRecIDs(FBL_ArraySet& set, uint32_t from, uint32_t count, bool forward) {
  uint32_t n = Count();
  if (!forward || from > n || count > n - from) {
    FBL_IndexPage::CopyRecIDs(set, from, count, forward);
    return;
  }
  set.AppendStored(Page() + kUniqueHeader + from * Entry() + mKeySize, count, Entry());
}

void FBL_UniquePage::MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count) {
  uint32_t n = Count();
  if (from > n || count > n - from) Corrupt("entries beyond the page");
  const uint8_t* e = Page() + kUniqueHeader + from * Entry() + mKeySize;
  for (uint32_t i = 0; i < count; ++i, e += Entry()) set.Include(LoadNative<REC_ID>(e));
}
