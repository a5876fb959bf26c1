#include "kernel/indexes/index_page.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "kernel/indexes/index_file.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "platform/errors.h"

FBL_IndexPage::FBL_IndexPage(FBL_IndexFile& file, const FBL_KeyOrder& order,
                             zindex::PageLayout layout)
    : FBL_LogicalPage(file),
      mIndexFile(file),
      mOrder(order),
      mFence(order),
      mLayout(layout),
      mHeaderBytes(zindex::HeaderBytes(layout)) {}

FBL_IndexPage::~FBL_IndexPage() {
  // The layout converts here too: no kind of page keeps state of its own
  // for it.
  try {
    Release();
  } catch (const xFBL_Exception&) {
  }
}

void FBL_IndexPage::Release() {
  Forget();
  FBL_LogicalPage::Release();
}

void FBL_IndexPage::SetPage(uint32_t n) {
  if (IsCurrent(n)) return;
  Forget();
  FBL_LogicalPage::SetPage(n);
}

void FBL_IndexPage::MarkDirty() {
  FBL_LogicalPage::MarkDirty();
  mIndexFile.TouchPage(mPage);
  mAppendValid = false;
  Forget();
}

void FBL_IndexPage::FromDisk() {
  if (mData != nullptr && !mSwapped) zindex::SwapPage(mLayout, mData, Size(), mOrder, true);
  FBL_LogicalPage::FromDisk();
}

void FBL_IndexPage::ToDisk() {
  if (mData != nullptr && mSwapped) zindex::SwapPage(mLayout, mData, Size(), mOrder, false);
  FBL_LogicalPage::ToDisk();
}

uint64_t FBL_IndexPage::MarkChanged() {
  FBL_LogicalPage::MarkDirty();
  return mIndexFile.TouchPage(mPage);
}

uint32_t FBL_IndexPage::PageCount() const {
  return mIndexFile.IsOpen() ? mIndexFile.GetLogicalPageCount() : 0;
}

void FBL_IndexPage::Corrupt(const char* what) const {
  char text[200];
  std::snprintf(text, sizeof text, "Index file %08" PRIX64 ", logical page %u: %s",
                mIndexFile.GetId(), mLogical, what);
  throw xFBL_SXCorrupted(text);
}

uint8_t* FBL_IndexPage::Page() {
  uint8_t* data = GetData();
  if (data == nullptr) throw xFBL_Exception(ERR_ASSERTION_FAIL, "No index page selected");
  if (mChecking || mIndexFile.IsChecked(mPage)) return data;
  mChecking = true;
  try {
    Forget();
    Check();
    if (mOneEntryPerRecord) CheckDistinctRecIDs();
  } catch (...) {
    mChecking = false;
    Forget();
    throw;
  }
  mChecking = false;
  mIndexFile.SetChecked(mPage, true);
  return GetData();
}

// A flipped RecID that names another record of the table keeps the page's
// order more often than not; the page then names that record twice.
void FBL_IndexPage::CheckDistinctRecIDs() {
  const uint32_t n = Count();
  std::vector<REC_ID> ids(n);
  for (uint32_t i = 0; i < n; ++i) ids[i] = RecIDAt(i);
  std::sort(ids.begin(), ids.end());
  if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) Corrupt("a RecID named twice");
}

int FBL_IndexPage::ComparePair(const uint8_t* k1, REC_ID r1, const uint8_t* k2, REC_ID r2) const {
  int c = mOrder.CompareKeys(k1, k2);
  if (c != 0) return c;
  return r1 < r2 ? -1 : (r1 > r2 ? 1 : 0);
}

bool FBL_IndexPage::KeysAsBytes() const {
  return !mOrder.HasFixedKey() && mOrder.KeysCompareAsBytes();
}

// ---- one page ------------------------------------------------------------------

int FBL_IndexPage::CompareWithPage(const uint8_t* key, REC_ID recID) {
  uint32_t n = Count();
  if (n == 0) Corrupt("an empty page");
  if (ComparePair(key, recID, KeyAt(0), RecIDAt(0)) < 0) return -CompareScale();
  if (ComparePair(key, recID, KeyAt(n - 1), RecIDAt(n - 1)) > 0) return CompareScale();
  return 0;
}

bool FBL_IndexPage::HasRoomFor(const uint8_t* key, uint32_t at) {
  return FreeSpace() >= EntrySize(key, at);
}

bool FBL_IndexPage::IsKeyLocked() {
  return false;
}

void FBL_IndexPage::CopyOut(uint32_t from, std::vector<uint8_t>& keys,
                            std::vector<uint32_t>& offsets, std::vector<REC_ID>& recIDs) {
  uint32_t n = Count();
  for (uint32_t i = from; i < n; ++i) {
    const uint8_t* key = KeyAt(i);
    offsets.push_back(static_cast<uint32_t>(keys.size()));
    keys.insert(keys.end(), key, key + KeyLength(key));
    recIDs.push_back(RecIDAt(i));
  }
}

void FBL_IndexPage::CopyRecIDs(FBL_ArraySet& set, uint32_t from, uint32_t count, bool forward) {
  uint32_t n = Count();
  if (forward) {
    if (from > n || count > n - from) Corrupt("entries beyond the page");
    for (uint32_t i = 0; i < count; ++i) set.Append(RecIDAt(from + i));
  } else {
    if (from >= n || count > from + 1) Corrupt("entries beyond the page");
    for (uint32_t i = 0; i < count; ++i) set.Append(RecIDAt(from - i));
  }
}

void FBL_IndexPage::MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count) {
  uint32_t n = Count();
  if (from > n || count > n - from) Corrupt("entries beyond the page");
  for (uint32_t i = 0; i < count; ++i) set.Include(RecIDAt(from + i));
}
