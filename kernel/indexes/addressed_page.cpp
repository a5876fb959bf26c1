#include "kernel/indexes/addressed_page.h"

#include <cstring>

#include "kernel/indexes/index_file.h"
#include "kernel/storage/byte_order.h"
#include "platform/errors.h"

using namespace zindex;

using zorder::LoadNative;
using zorder::StoreNative;

FBL_AdressedPage::FBL_AdressedPage(FBL_IndexFile& file, const FBL_KeyOrder& order)
    : FBL_IndexPage(file, order, PageLayout::kAddressed) {}

uint32_t FBL_AdressedPage::MaxEntries() const {
  return (Size() - kAddressedHeader) / 4;
}

uint8_t FBL_AdressedPage::Value() {
  if (!mValueKnown) {
    if (mLogical == 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "No index page selected");
    mValue = mIndexFile.ValueOfPage(mLogical);
    mValueKnown = true;
  }
  return mValue;
}

uint32_t FBL_AdressedPage::Count() {
  uint32_t n = LoadNative<uint32_t>(Page());
  if (n > MaxEntries()) Corrupt("RecID count beyond the page");
  return n;
}

uint32_t FBL_AdressedPage::GetSecondCounter() {
  return LoadNative<uint32_t>(Page() + 4);
}

const uint8_t* FBL_AdressedPage::KeyAt(uint32_t) {
  Value();
  return &mValue;
}

REC_ID FBL_AdressedPage::RecIDAt(uint32_t i) {
  if (i >= Count()) Corrupt("a RecID beyond the page");
  return LoadNative<uint32_t>(Page() + kAddressedHeader + 4 * i);
}

uint32_t FBL_AdressedPage::UsedSize() {
  return kAddressedHeader + 4 * Count();
}

uint32_t FBL_AdressedPage::FreeSpace() {
  return Size() - UsedSize();
}

uint32_t FBL_AdressedPage::EntrySize(const uint8_t*, uint32_t) {
  return 4;
}

uint32_t FBL_AdressedPage::Search(const uint8_t* key, REC_ID recID, bool& found) {
  found = false;
  uint32_t n = Count();
  int c = mOrder.CompareKeys(key, KeyAt(0));
  if (c < 0) return 0;
  if (c > 0) return n;
  const uint8_t* base = Page() + kAddressedHeader;
  uint32_t lo = 0;
  uint32_t hi = n;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (LoadNative<uint32_t>(base + 4 * mid) < recID) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  found = lo < n && LoadNative<uint32_t>(base + 4 * lo) == recID;
  return lo;
}

void FBL_AdressedPage::Insert(uint32_t at, const uint8_t* key, REC_ID recID) {
  uint32_t n = Count();
  if (at > n || n >= MaxEntries()) Corrupt("insertion beyond the page");
  if (!SameKey(key, KeyAt(0))) Corrupt("a value on a page of another value");
  uint8_t* e = Page() + kAddressedHeader + 4 * at;
  std::memmove(e + 4, e, 4 * (n - at));
  StoreNative<uint32_t>(e, recID);
  StoreNative<uint32_t>(Page(), n + 1);
  MarkDirty();
}

void FBL_AdressedPage::Remove(uint32_t at) {
  uint32_t n = Count();
  if (at >= n) Corrupt("removal beyond the page");
  uint8_t* e = Page() + kAddressedHeader + 4 * at;
  std::memmove(e, e + 4, 4 * (n - at - 1));
  StoreNative<uint32_t>(Page() + kAddressedHeader + 4 * (n - 1), 0);
  StoreNative<uint32_t>(Page(), n - 1);
  MarkDirty();
}

void FBL_AdressedPage::KeepFirst(uint32_t keep) {
  uint32_t n = Count();
  if (keep >= n) return;
  std::memset(Page() + kAddressedHeader + 4 * keep, 0, 4 * (n - keep));
  StoreNative<uint32_t>(Page(), keep);
  MarkDirty();
}

void FBL_AdressedPage::InitPage() {
  std::memset(GetData(), 0, Size());
  MarkDirty();
}

uint32_t FBL_AdressedPage::SplitPoint() {
  return Count() / 2;
}

void FBL_AdressedPage::SetGroupCounter(uint32_t first, uint32_t count, uint32_t pages,
                                       uint32_t skip) {
  for (uint32_t p = first; p < first + count; ++p) {
    if (p == skip) continue;
    Select(p);
    // Unchecked pages are checked later against the new count.
    uint8_t* d = GetData();
    if (LoadNative<uint32_t>(d + 4) == pages) continue;
    StoreNative<uint32_t>(d + 4, pages);
    MarkDirty();
  }
}

void FBL_AdressedPage::PageAdded(uint32_t l, const uint8_t* key) {
  uint32_t v = key[0];
  uint32_t pages = mIndexFile.GetValuePages(v) + 1;
  mIndexFile.SetValuePages(v, pages);
  uint32_t first = mIndexFile.FirstPageOfValue(v);
  if (l < first || l >= first + pages) Corrupt("a new page outside its value's pages");
  SetGroupCounter(first, pages, pages, 0);
  Select(l);
}

void FBL_AdressedPage::PageRemoved(uint32_t l) {
  uint32_t v = Value();
  uint32_t pages = mIndexFile.GetValuePages(v);
  uint32_t first = mIndexFile.FirstPageOfValue(v);
  SetGroupCounter(first, pages, pages - 1, l);
  mIndexFile.SetValuePages(v, pages - 1);
  Select(l);
}

void FBL_AdressedPage::Check() {
  uint32_t n = Count();
  if (GetSecondCounter() != mIndexFile.GetValuePages(Value()))
    Corrupt("its page count differs from the header's");
  REC_ID previous = 0;
  for (uint32_t i = 0; i < n; ++i) {
    REC_ID r = RecIDAt(i);
    if (r <= previous) Corrupt("RecIDs out of order");
    previous = r;
  }
}
