#include "kernel/indexes/unique_page.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/indexes/index_file.h"
#include "kernel/indexes/index_format.h"
#include "kernel/storage/byte_order.h"
#include "kernel/tables/base_field.h"
#include "platform/errors.h"

using namespace zindex;

FBL_UniquePage::FBL_UniquePage(FBL_IndexFile& file, FBL_BaseField& field)
    : FBL_IndexPage(file, field), mKeySize(field.GetValueSize()) {
  uint32_t width = 0;
  bool isSigned = false;
  if (field.HasIntegerKeys(width, isSigned) && width == mKeySize)
    mIntegerKeys = isSigned ? -static_cast<int32_t>(width) : static_cast<int32_t>(width);
}

FBL_UniquePage::~FBL_UniquePage() {
  // Released here, while ToDisk still converts the entries.
  try {
    Release();
  } catch (const xFBL_Exception&) {
  }
}

std::unique_ptr<FBL_IndexPage> FBL_UniquePage::MakeSibling() {
  return std::make_unique<FBL_UniquePage>(mIndexFile, mField);
}

uint32_t FBL_UniquePage::HeaderBytes() const {
  return kUniqueHeader;
}

uint32_t FBL_UniquePage::MaxEntries() const {
  return (Size() - kUniqueHeader) / Entry();
}

// A count beyond the page converts only itself; the page then fails its
// check and is never written through.
void FBL_UniquePage::Convert(bool toMachine) {
  uint32_t n = zorder::LoadU32(mData, toMachine ? BigEndian() : !BigEndian());
  zorder::StoreU32(mData, n, toMachine ? !BigEndian() : BigEndian());
  if (n > MaxEntries()) return;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* e = mData + kUniqueHeader + i * Entry();
    mField.SwapBytes(e);
    std::reverse(e + mKeySize, e + mKeySize + 4);
  }
}

void FBL_UniquePage::FromDisk() {
  if (mData != nullptr && !mSwapped) Convert(true);
  FBL_IndexPage::FromDisk();
}

void FBL_UniquePage::ToDisk() {
  if (mData != nullptr && mSwapped) Convert(false);
  FBL_IndexPage::ToDisk();
}

uint32_t FBL_UniquePage::Count() {
  uint32_t n;
  std::memcpy(&n, Page(), 4);
  if (n > MaxEntries()) Corrupt("entry count beyond the page");
  return n;
}

const uint8_t* FBL_UniquePage::KeyAt(uint32_t i) {
  return Page() + kUniqueHeader + i * Entry();
}

REC_ID FBL_UniquePage::RecIDAt(uint32_t i) {
  REC_ID r;
  std::memcpy(&r, Page() + kUniqueHeader + i * Entry() + mKeySize, 4);
  return r;
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
  T k;
  std::memcpy(&k, key, sizeof k);
  uint32_t lo = 0, hi = n;
  while (lo < hi) {
    const uint32_t mid = (lo + hi) / 2;
    const uint8_t* e = base + mid * entry;
    T v;
    REC_ID r;
    std::memcpy(&v, e, sizeof v);
    std::memcpy(&r, e + sizeof v, 4);
    if (v < k || (v == k && r < recID)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  found = false;
  if (lo < n) {
    T v;
    REC_ID r;
    std::memcpy(&v, base + lo * entry, sizeof v);
    std::memcpy(&r, base + lo * entry + sizeof v, 4);
    found = r == recID && v == k;
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
  if (hi > 0) {
    // Ascending keys (counters, dates) go after the last entry.
    const uint8_t* e = base + (hi - 1) * Entry();
    REC_ID r;
    std::memcpy(&r, e + mKeySize, 4);
    if (ComparePair(e, r, key, recID) < 0) {
      found = false;
      return hi;
    }
  }
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    const uint8_t* e = base + mid * Entry();
    REC_ID r;
    std::memcpy(&r, e + mKeySize, 4);
    if (ComparePair(e, r, key, recID) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  found = false;
  if (lo < Count()) {
    const uint8_t* e = base + lo * Entry();
    REC_ID r;
    std::memcpy(&r, e + mKeySize, 4);
    found = r == recID && SameKey(e, key);
  }
  return lo;
}

void FBL_UniquePage::Insert(uint32_t at, const uint8_t* key, REC_ID recID) {
  uint32_t n = Count();
  if (at > n || n >= MaxEntries()) Corrupt("insertion beyond the page");
  uint8_t* base = Page() + kUniqueHeader;
  uint8_t* e = base + at * Entry();
  std::memmove(e + Entry(), e, (n - at) * Entry());
  std::memcpy(e, key, mKeySize);
  std::memcpy(e + mKeySize, &recID, 4);
  n += 1;
  std::memcpy(Page(), &n, 4);
  MarkDirty();
}

void FBL_UniquePage::Remove(uint32_t at) {
  uint32_t n = Count();
  if (at >= n) Corrupt("removal beyond the page");
  uint8_t* e = Page() + kUniqueHeader + at * Entry();
  std::memmove(e, e + Entry(), (n - at - 1) * Entry());
  std::memset(Page() + kUniqueHeader + (n - 1) * Entry(), 0, Entry());
  n -= 1;
  std::memcpy(Page(), &n, 4);
  MarkDirty();
}

void FBL_UniquePage::KeepFirst(uint32_t keep) {
  uint32_t n = Count();
  if (keep >= n) return;
  std::memset(Page() + kUniqueHeader + keep * Entry(), 0, (n - keep) * Entry());
  std::memcpy(Page(), &keep, 4);
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
  const uint8_t* e = Page() + kUniqueHeader + from * Entry() + mKeySize;
  std::vector<REC_ID> items(count);
  for (uint32_t i = 0; i < count; ++i, e += Entry()) std::memcpy(&items[i], e, 4);
  set.Append(items);
}

void FBL_UniquePage::MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count) {
  uint32_t n = Count();
  if (from > n || count > n - from) Corrupt("entries beyond the page");
  const uint8_t* e = Page() + kUniqueHeader + from * Entry() + mKeySize;
  for (uint32_t i = 0; i < count; ++i, e += Entry()) {
    REC_ID r;
    std::memcpy(&r, e, 4);
    set.Include(r);
  }
}
