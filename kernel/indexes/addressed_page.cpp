#include "kernel/indexes/addressed_page.h"

#include <algorithm>
#include <cstring>

#include "kernel/indexes/index_file.h"
#include "kernel/indexes/index_format.h"
#include "kernel/tables/base_field.h"
#include "platform/errors.h"

using namespace zindex;

namespace {

uint32_t Get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void Put32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

}  // namespace

FBL_AdressedPage::FBL_AdressedPage(FBL_IndexFile& file, FBL_BaseField& field)
    : FBL_IndexPage(file, field) {}

FBL_AdressedPage::~FBL_AdressedPage() {
  try {
    Release();
  } catch (const xFBL_Exception&) {
  }
}

std::unique_ptr<FBL_IndexPage> FBL_AdressedPage::MakeSibling() {
  return std::make_unique<FBL_AdressedPage>(mIndexFile, mField);
}

uint32_t FBL_AdressedPage::HeaderBytes() const {
  return kAddressedHeader;
}

uint32_t FBL_AdressedPage::MaxEntries() const {
  return (Size() - kAddressedHeader) / 4;
}

void FBL_AdressedPage::Convert(bool toMachine) {
  uint8_t* d = mData;
  uint32_t n = Get32(d);
  std::reverse(d, d + 4);
  std::reverse(d + 4, d + 8);
  if (toMachine) n = Get32(d);
  if (n > MaxEntries()) return;
  for (uint32_t i = 0; i < n; ++i) std::reverse(d + 8 + 4 * i, d + 12 + 4 * i);
}

void FBL_AdressedPage::FromDisk() {
  if (mData != nullptr && !mSwapped) Convert(true);
  FBL_IndexPage::FromDisk();
}

void FBL_AdressedPage::ToDisk() {
  if (mData != nullptr && mSwapped) Convert(false);
  FBL_IndexPage::ToDisk();
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
  uint32_t n = Get32(Page());
  if (n > MaxEntries()) Corrupt("RecID count beyond the page");
  return n;
}

uint32_t FBL_AdressedPage::GetSecondCounter() {
  return Get32(Page() + 4);
}

const uint8_t* FBL_AdressedPage::KeyAt(uint32_t) {
  Value();
  return &mValue;
}

REC_ID FBL_AdressedPage::RecIDAt(uint32_t i) {
  if (i >= Count()) Corrupt("a RecID beyond the page");
  return Get32(Page() + kAddressedHeader + 4 * i);
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
  int c = mField.CompareKeys(key, KeyAt(0));
  if (c < 0) return 0;
  if (c > 0) return n;
  const uint8_t* base = Page() + kAddressedHeader;
  uint32_t lo = 0;
  uint32_t hi = n;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (Get32(base + 4 * mid) < recID) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  found = lo < n && Get32(base + 4 * lo) == recID;
  return lo;
}

void FBL_AdressedPage::Insert(uint32_t at, const uint8_t* key, REC_ID recID) {
  uint32_t n = Count();
  if (at > n || n >= MaxEntries()) Corrupt("insertion beyond the page");
  if (!SameKey(key, KeyAt(0))) Corrupt("a value on a page of another value");
  uint8_t* e = Page() + kAddressedHeader + 4 * at;
  std::memmove(e + 4, e, 4 * (n - at));
  Put32(e, recID);
  Put32(Page(), n + 1);
  MarkDirty();
}

void FBL_AdressedPage::Remove(uint32_t at) {
  uint32_t n = Count();
  if (at >= n) Corrupt("removal beyond the page");
  uint8_t* e = Page() + kAddressedHeader + 4 * at;
  std::memmove(e, e + 4, 4 * (n - at - 1));
  Put32(Page() + kAddressedHeader + 4 * (n - 1), 0);
  Put32(Page(), n - 1);
  MarkDirty();
}

void FBL_AdressedPage::KeepFirst(uint32_t keep) {
  uint32_t n = Count();
  if (keep >= n) return;
  std::memset(Page() + kAddressedHeader + 4 * keep, 0, 4 * (n - keep));
  Put32(Page(), keep);
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
    if (Get32(d + 4) == pages) continue;
    Put32(d + 4, pages);
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
