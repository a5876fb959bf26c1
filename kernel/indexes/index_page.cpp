#include "kernel/indexes/index_page.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/indexes/index_file.h"
#include "kernel/tables/base_field.h"
#include "platform/errors.h"

namespace {

// Indexes of this many pages keep their pages' first entries in memory.
constexpr uint32_t kFenceMinPages = 8;

}  // namespace

FBL_IndexPage::FBL_IndexPage(FBL_IndexFile& file, FBL_BaseField& field)
    : FBL_LogicalPage(file), mIndexFile(file), mField(field), mFenceBits(field.HasKeyOrderBits()) {}

FBL_IndexPage::~FBL_IndexPage() = default;

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

uint64_t FBL_IndexPage::MarkChanged() {
  FBL_LogicalPage::MarkDirty();
  return mIndexFile.TouchPage(mPage);
}

uint32_t FBL_IndexPage::PageCount() const {
  return mIndexFile.IsOpen() ? mIndexFile.GetLogicalPageCount() : 0;
}

bool FBL_IndexPage::BigEndian() const {
  return mIndexFile.IsBigEndianVolume();
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
  } catch (...) {
    mChecking = false;
    Forget();
    throw;
  }
  mChecking = false;
  mIndexFile.SetChecked(mPage, true);
  return GetData();
}

int FBL_IndexPage::ComparePair(const uint8_t* k1, REC_ID r1, const uint8_t* k2, REC_ID r2) const {
  int c = mField.CompareKeys(k1, k2);
  if (c != 0) return c;
  return r1 < r2 ? -1 : (r1 > r2 ? 1 : 0);
}

bool FBL_IndexPage::SameKey(const uint8_t* a, const uint8_t* b) const {
  return mField.CompareKeys(a, b) == 0;
}

int FBL_IndexPage::CompareThroughField(const uint8_t* a, const uint8_t* b) const {
  return mField.CompareKeys(a, b);
}

bool FBL_IndexPage::KeysAsBytes() const {
  return !mField.HasFixedKey() && mField.KeysCompareAsBytes();
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

void FBL_IndexPage::InsertFirst(const uint8_t* key, REC_ID recID) {
  InitPage();
  PutEntry(0, key, recID);
}

void FBL_IndexPage::CopyOut(uint32_t from, std::vector<uint8_t>& keys,
                            std::vector<uint32_t>& offsets, std::vector<REC_ID>& recIDs) {
  uint32_t n = Count();
  for (uint32_t i = from; i < n; ++i) {
    const uint8_t* key = KeyAt(i);
    uint32_t length = mField.GetKeyLength(key);
    offsets.push_back(static_cast<uint32_t>(keys.size()));
    keys.insert(keys.end(), key, key + length);
    recIDs.push_back(RecIDAt(i));
  }
}

int FBL_IndexPage::Split(const uint8_t* key, REC_ID recID) {
  uint32_t l = mLogical;
  uint32_t n = Count();
  uint32_t m = SplitPoint();
  if (m == 0 || m >= n) Corrupt("a page that cannot be split");
  bool oneKey = SameKey(KeyAt(0), KeyAt(n - 1));
  std::vector<uint8_t> keys;
  std::vector<uint32_t> offsets;
  std::vector<REC_ID> recIDs;
  std::vector<uint8_t> image;
  // The moved entries as one page image where the kind makes it, else one
  // by one.
  if (TailImage(m, image)) {
    const uint8_t* first = KeyAt(m);
    keys.assign(first, first + mField.GetKeyLength(first));
    recIDs.push_back(RecIDAt(m));
  } else {
    CopyOut(m, keys, offsets, recIDs);
  }
  KeepFirst(m);
  uint32_t marks = 0;
  if (oneKey && UsesRunMarks()) {
    FBL_InventoryPage& inventory = mIndexFile.GetInventory();
    uint32_t entry = inventory.GetEntry(l);
    if (zpage::EntryMarks(entry) == 0)
      inventory.SetEntry(l, entry | zpage::kHeadMark | zpage::kContinuationMark);
    marks = zpage::kContinuationMark;
  }
  NewPageAt(l + 1, marks);
  PageAdded(l + 1, keys.data());
  if (!image.empty()) {
    std::memcpy(GetData(), image.data(), Size());
    MarkDirty();
    if (mFenceValid) FenceSet(l + 1);
  } else {
    PutEntry(0, keys.data(), recIDs[0]);
    for (size_t i = 1; i < recIDs.size(); ++i) {
      // Entries of one stored key carry the same bytes; the page's keys differ.
      const uint8_t* k = keys.data() + offsets[i];
      uint32_t length = offsets[i] - offsets[i - 1];
      bool same = mField.GetKeyLength(k) == length && std::memcmp(k, k - length, length) == 0;
      if (!AppendLast(k, recIDs[i], same)) PutEntry(Count(), k, recIDs[i]);
    }
  }
  if (ComparePair(key, recID, keys.data(), recIDs[0]) < 0) {
    Select(l);
    return 1;
  }
  return 2;
}

void FBL_IndexPage::MergeInto(uint32_t n) {
  uint32_t l = mLogical;
  if (n == 0 || n == l || n > PageCount()) Corrupt("no page to merge into");
  std::vector<uint8_t> keys;
  std::vector<uint32_t> offsets;
  std::vector<REC_ID> recIDs;
  CopyOut(0, keys, offsets, recIDs);
  KeepFirst(0);
  PageRemoved(l);
  RemovePage(l);
  if (n > l) --n;
  Select(n);
  for (size_t i = 0; i < recIDs.size(); ++i) PutEntry(Count(), keys.data() + offsets[i], recIDs[i]);
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

// ---- the whole index -----------------------------------------------------------

namespace {

// Of pages 1..n, the last one the pair does not sort below (page 1 when it
// sorts below all); below(p) compares the pair with page p's first entry.
template <class Below>
uint32_t LastPageNotAbove(uint32_t n, Below below) {
  // Ascending keys (counters) go to the last page.
  if (!below(n)) return n;
  uint32_t lo = 1, hi = n;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo + 1) / 2;
    if (below(mid)) {
      hi = mid - 1;
    } else {
      lo = mid;
    }
  }
  return lo;
}

}  // namespace

// The last page whose first entry is not above the pair (page 1 when the
// pair lies below everything), starting from the page held last.
uint32_t FBL_IndexPage::ChoosePage(const uint8_t* key, REC_ID recID) {
  uint32_t n = PageCount();
  if (n == 0) return 0;
  uint32_t lo = 1;
  uint32_t hi = n;
  if (n >= kFenceMinPages && (!mFenceValid || mFenceKeys.size() != n)) BuildFence();
  if (mFenceValid) {
    uint32_t l;
    if (mFenceBits) {
      const uint64_t bits = mField.KeyOrderBits(key);
      l = LastPageNotAbove(n, [&](uint32_t p) {
        const uint64_t first = mFenceOrder[p - 1];
        return bits < first || (bits == first && recID < mFenceRecIDs[p - 1]);
      });
    } else {
      const bool bytes = KeysAsBytes();
      l = LastPageNotAbove(n, [&](uint32_t p) {
        int c =
            CompareKeysAs(bytes, key, reinterpret_cast<const uint8_t*>(mFenceKeys[p - 1].data()));
        return c < 0 || (c == 0 && recID < mFenceRecIDs[p - 1]);
      });
    }
    Select(l);
    return l;
  }
  if (mLogical != 0 && mLogical <= n) {
    int c = CompareWithPage(key, recID);
    if (c == 0) return mLogical;
    if (c < 0) {
      if (mLogical == 1) return 1;
      hi = mLogical - 1;
    } else {
      lo = mLogical;
    }
  }
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo + 1) / 2;
    Select(mid);
    if (Count() == 0) Corrupt("an empty page");
    if (ComparePair(key, recID, KeyAt(0), RecIDAt(0)) < 0) {
      hi = mid - 1;
    } else {
      lo = mid;
    }
  }
  Select(lo);
  return lo;
}

FBL_IndexPosition FBL_IndexPage::Locate(const uint8_t* key, REC_ID recID) {
  mFound = false;
  FBL_IndexPosition pos;
  if (PageCount() == 0) return pos;
  if (key == nullptr) {
    Select(1);
    pos.mPage = 1;
    return pos;
  }
  pos.mPage = ChoosePage(key, recID);
  pos.mEntry = Search(key, recID, mFound);
  return pos;
}

FBL_IndexPosition FBL_IndexPage::LocateNormalized(const uint8_t* key, REC_ID recID) {
  FBL_IndexPosition pos = Locate(key, recID);
  if (pos.mPage != 0 && pos.mEntry >= Count() && pos.mPage < PageCount()) {
    pos.mPage += 1;
    pos.mEntry = 0;
    Select(pos.mPage);
  }
  return pos;
}

void FBL_IndexPage::NewPageAt(uint32_t l, uint32_t marks) {
  Release();
  mIndexFile.InsertLogicalPage(l, marks);
  if (mFenceValid) {
    // Filled by the entry that goes in first.
    mFenceKeys.insert(mFenceKeys.begin() + (l - 1), std::string());
    mFenceRecIDs.insert(mFenceRecIDs.begin() + (l - 1), 0);
    if (mFenceBits) mFenceOrder.insert(mFenceOrder.begin() + (l - 1), 0);
  }
  Select(l);
  InitPage();
  mIndexFile.SetChecked(mPage, true);
}

bool FBL_IndexPage::InsertEntry(const uint8_t* key, REC_ID recID, bool unique) {
  if (PageCount() == 0) {
    NewPageAt(1, 0);
    PageAdded(1, key);
    PutEntry(0, key, recID);
    return true;
  }
  if (unique) {
    FBL_IndexPosition pos = LocateNormalized(key, 0);
    if (pos.mEntry < Count() && SameKey(KeyAt(pos.mEntry), key)) throw xFBL_FieldIsUnique();
  }
  FBL_IndexPosition pos = Locate(key, recID);
  if (mFound) return false;
  InsertAt(pos, key, recID);
  return true;
}

bool FBL_IndexPage::AppendEntry(const uint8_t* key, REC_ID recID, bool unique) {
  uint32_t pages = PageCount();
  if (pages == 0) {
    bool added = InsertEntry(key, recID, unique);
    RememberAppended(key, recID);
    return added;
  }
  Select(pages);
  uint32_t n = Count();
  if (n == 0) Corrupt("an empty page");
  const bool known = mAppendValid && mAppendPage == pages && mAppendCount == n;
  if (!known) {
    const uint8_t* last = KeyAt(n - 1);
    mAppendKey.assign(last, last + mField.GetKeyLength(last));
    mAppendRecID = RecIDAt(n - 1);
    mAppendLocked = IsKeyLocked();
    mAppendBytes = KeysAsBytes();
  }
  int c = CompareWithAppended(key, mAppendKey.data());
  if (c < 0 || (c == 0 && recID <= mAppendRecID)) {
    bool added = InsertEntry(key, recID, unique);
    mAppendValid = false;
    return added;
  }
  if (unique && c == 0) throw xFBL_FieldIsUnique();
  if ((mAppendLocked && c != 0) || !AppendLast(key, recID, c == 0)) {
    InsertAt({pages, n}, key, recID);
    mAppendLocked = mLogical != 0 && IsKeyLocked();
    RememberAppended(key, recID);
    return true;
  }
  // Still the last page, one entry more; a key equal to the one kept
  // compares the same.
  if (c != 0) mAppendKey.assign(key, key + mField.GetKeyLength(key));
  mAppendRecID = recID;
  mAppendPage = pages;
  mAppendCount = n + 1;
  mAppendValid = true;
  return true;
}

int FBL_IndexPage::CompareWithAppended(const uint8_t* key, const uint8_t* last) const {
  uint32_t a = mField.GetKeyLength(key);
  uint32_t b = static_cast<uint32_t>(mAppendKey.size());
  if (a == b && std::memcmp(key, last, a) == 0) return 0;
  return CompareKeysAs(mAppendBytes, key, last);
}

// The cursor stays on the page that took the pair, the index's last.
void FBL_IndexPage::RememberAppended(const uint8_t* key, REC_ID recID) {
  mAppendValid = mLogical != 0 && mLogical == PageCount();
  if (!mAppendValid) return;
  if (mAppendKey.data() != key) mAppendKey.assign(key, key + mField.GetKeyLength(key));
  mAppendRecID = recID;
  mAppendPage = mLogical;
  mAppendCount = Count();
}

void FBL_IndexPage::InsertAt(FBL_IndexPosition pos, const uint8_t* key, REC_ID recID) {
  Select(pos.mPage);
  uint32_t at = pos.mEntry;
  uint32_t n = Count();
  if (n > 0 && IsKeyLocked() && !SameKey(KeyAt(0), key)) {
    // A page of another key: the pair goes beside it, on a page that takes
    // it or on a new one.
    if (at == 0) {
      NewPageAt(pos.mPage, 0);
      PageAdded(pos.mPage, key);
      PutEntry(0, key, recID);
      return;
    }
    uint32_t next = pos.mPage + 1;
    bool placed = false;
    if (next <= PageCount()) {
      Select(next);
      placed = Count() > 0 && (!IsKeyLocked() || SameKey(KeyAt(0), key));
    }
    if (!placed) {
      NewPageAt(next, 0);
      PageAdded(next, key);
      PutEntry(0, key, recID);
      return;
    }
    at = 0;
  }
  for (int guard = 0; !HasRoomFor(key, at); ++guard) {
    if (Count() < 2 || guard > 8) Corrupt("an entry that does not fit a page");
    Split(key, recID);
    bool found = false;
    at = Search(key, recID, found);
  }
  PutEntry(at, key, recID);
}

bool FBL_IndexPage::RemoveEntry(const uint8_t* key, REC_ID recID) {
  if (PageCount() == 0) return false;
  FBL_IndexPosition pos = Locate(key, recID);
  if (!mFound) return false;
  Select(pos.mPage);
  TakeEntry(pos.mEntry);
  AfterRemove();
  return true;
}

// An empty page goes; a page under a quarter full joins its predecessor
// when both take the same keys and the result stays below the merge limit.
void FBL_IndexPage::AfterRemove() {
  uint32_t l = mLogical;
  uint32_t n = Count();
  if (n == 0) {
    PageRemoved(l);
    RemovePage(l);
    return;
  }
  if (l < 2 || UsedSize() >= Size() / 4) return;
  uint32_t used = UsedSize() - HeaderBytes();
  bool locked = IsKeyLocked();
  std::vector<uint8_t> first(KeyAt(0), KeyAt(0) + mField.GetKeyLength(KeyAt(0)));
  Select(l - 1);
  bool fits = UsedSize() + used <= MergeLimit();
  bool prevLocked = IsKeyLocked();
  bool same = locked == prevLocked && (!locked || SameKey(KeyAt(0), first.data()));
  Select(l);
  if (fits && same) MergeInto(l - 1);
}

REC_ID FBL_IndexPage::FindFirst(const uint8_t* key) {
  FBL_IndexPosition pos = LocateNormalized(key, 0);
  if (pos.mPage == 0 || pos.mEntry >= Count()) return 0;
  return SameKey(KeyAt(pos.mEntry), key) ? RecIDAt(pos.mEntry) : 0;
}

bool FBL_IndexPage::ResolveRange(bool leftIncluded, const uint8_t* left, const uint8_t* right,
                                 bool rightIncluded, FBL_IndexPosition& from,
                                 FBL_IndexPosition& to) {
  uint32_t pages = PageCount();
  if (pages == 0) return false;
  if (right == nullptr) {
    Select(pages);
    to = {pages, Count()};
  } else {
    to = LocateNormalized(right, rightIncluded ? UINT32_MAX : 0);
  }
  from = LocateNormalized(left, leftIncluded ? 0 : UINT32_MAX);
  if (to.mPage < from.mPage) return false;
  return to.mPage > from.mPage || to.mEntry > from.mEntry;
}

void FBL_IndexPage::CollectRange(const FBL_IndexPosition& from, const FBL_IndexPosition& to,
                                 FBL_ArraySet* array, FBL_BitSet* bits) {
  for (uint32_t p = from.mPage; p <= to.mPage; ++p) {
    Select(p);
    uint32_t n = Count();
    uint32_t b = p == from.mPage ? from.mEntry : 0;
    uint32_t e = p == to.mPage ? std::min(to.mEntry, n) : n;
    if (e <= b) continue;
    if (array != nullptr) CopyRecIDs(*array, b, e - b, true);
    if (bits != nullptr) MarkRecIDs(*bits, b, e - b);
  }
}

REC_ID FBL_IndexPage::FirstRecID() {
  if (PageCount() == 0) return 0;
  Select(1);
  return Count() > 0 ? RecIDAt(0) : 0;
}

REC_ID FBL_IndexPage::LastRecID() {
  uint32_t pages = PageCount();
  if (pages == 0) return 0;
  Select(pages);
  uint32_t n = Count();
  return n > 0 ? RecIDAt(n - 1) : 0;
}

void FBL_IndexPage::NumberRecords(std::vector<uint32_t>& map, uint32_t start) {
  uint32_t pages = PageCount();
  for (uint32_t p = 1; p <= pages; ++p) {
    Select(p);
    uint32_t n = Count();
    for (uint32_t i = 0; i < n; ++i) {
      REC_ID r = RecIDAt(i);
      if (r >= map.size()) map.resize(size_t{r} + 1, 0);
      map[r] = start++;
    }
  }
}

void FBL_IndexPage::CheckAll() {
  uint32_t pages = PageCount();
  std::vector<uint8_t> lastKey;
  REC_ID lastRecID = 0;
  for (uint32_t p = 1; p <= pages; ++p) {
    Select(p);
    mIndexFile.SetChecked(mPage, false);
    uint32_t n = Count();
    if (n == 0) Corrupt("an empty page");
    if (!lastKey.empty() && ComparePair(KeyAt(0), RecIDAt(0), lastKey.data(), lastRecID) <= 0)
      Corrupt("its entries sort before the previous page's");
    const uint8_t* key = KeyAt(n - 1);
    lastKey.assign(key, key + mField.GetKeyLength(key));
    lastRecID = RecIDAt(n - 1);
  }
}

// ---- the fence of first entries --------------------------------------------------

void FBL_IndexPage::ForgetFence() {
  ForgetKept();
  mAppendValid = false;
  mFenceValid = false;
  mFenceKeys.clear();
  mFenceRecIDs.clear();
  mFenceOrder.clear();
}

void FBL_IndexPage::BuildFence() {
  ForgetFence();
  uint32_t pages = PageCount();
  mFenceKeys.resize(pages);
  mFenceRecIDs.resize(pages);
  if (mFenceBits) mFenceOrder.resize(pages);
  for (uint32_t p = 1; p <= pages; ++p) {
    Select(p);
    if (Count() == 0) {
      ForgetFence();
      Corrupt("an empty page");
    }
    FenceSet(p);
  }
  mFenceValid = true;
}

void FBL_IndexPage::FenceSet(uint32_t l) {
  const uint8_t* key = KeyAt(0);
  mFenceKeys[l - 1].assign(reinterpret_cast<const char*>(key), mField.GetKeyLength(key));
  mFenceRecIDs[l - 1] = RecIDAt(0);
  if (mFenceBits) mFenceOrder[l - 1] = mField.KeyOrderBits(key);
}

void FBL_IndexPage::PutEntry(uint32_t at, const uint8_t* key, REC_ID recID) {
  mAppendValid = false;
  Insert(at, key, recID);
  if (at == 0 && mFenceValid) FenceSet(mLogical);
}

void FBL_IndexPage::TakeEntry(uint32_t at) {
  mAppendValid = false;
  Remove(at);
  if (at == 0 && mFenceValid && Count() > 0) FenceSet(mLogical);
}

void FBL_IndexPage::RemovePage(uint32_t l) {
  Release();
  mIndexFile.RemoveLogicalPage(l);
  if (mFenceValid) {
    mFenceKeys.erase(mFenceKeys.begin() + (l - 1));
    mFenceRecIDs.erase(mFenceRecIDs.begin() + (l - 1));
    if (mFenceBits) mFenceOrder.erase(mFenceOrder.begin() + (l - 1));
  }
}
