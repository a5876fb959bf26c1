// The tree work of FBL_IndexPage over the logical pages of its index:
// locating a pair, inserting with splits, removing with merges, ranges,
// the fence of first entries and the memo of ascending appends.
#include <algorithm>
#include <cstring>

#include "kernel/indexes/index_file.h"
#include "kernel/indexes/index_page.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "platform/errors.h"

namespace {

// Indexes of this many pages keep their pages' first entries in memory.
constexpr uint32_t kFenceMinPages = 8;

}  // namespace

// ---- splitting and merging pages ---------------------------------------------------

void FBL_IndexPage::InsertFirst(const uint8_t* key, REC_ID recID) {
  InitPage();
  PutEntry(0, key, recID);
}

int FBL_IndexPage::Split(const uint8_t* key, REC_ID recID) {
  uint32_t l = mLogical;
  uint32_t n = Count();
  bool oneKey = SameKey(KeyAt(0), KeyAt(n - 1));
  if (EndsAscent(key, recID, oneKey)) {
    // An ascending insert (counters, a key's growing run): the page stays
    // full and the pair starts the next one.
    NewPageAt(l + 1, RunMarks(l, oneKey && SameKey(key, KeyAt(0))));
    PageAdded(l + 1, key);
    return 2;
  }
  uint32_t m = SplitPoint();
  if (m == 0 || m >= n) Corrupt("a page that cannot be split");
  std::vector<uint8_t> keys;
  std::vector<uint32_t> offsets;
  std::vector<REC_ID> recIDs;
  std::vector<uint8_t> image;
  // The moved entries as one page image where the kind makes it, else one
  // by one.
  if (TailImage(m, image)) {
    const uint8_t* first = KeyAt(m);
    keys.assign(first, first + KeyLength(first));
    recIDs.push_back(RecIDAt(m));
  } else {
    CopyOut(m, keys, offsets, recIDs);
  }
  KeepFirst(m);
  NewPageAt(l + 1, RunMarks(l, oneKey));
  PageAdded(l + 1, keys.data());
  if (!image.empty()) {
    std::memcpy(GetData(), image.data(), Size());
    MarkDirty();
    if (mFence.IsValid()) FenceSet(l + 1);
  } else {
    PutEntry(0, keys.data(), recIDs[0]);
    for (size_t i = 1; i < recIDs.size(); ++i) {
      // Entries of one stored key carry the same bytes; the page's keys differ.
      const uint8_t* k = keys.data() + offsets[i];
      uint32_t length = offsets[i] - offsets[i - 1];
      bool same = KeyLength(k) == length && std::memcmp(k, k - length, length) == 0;
      if (!AppendLast(k, recIDs[i], same)) PutEntry(Count(), k, recIDs[i]);
    }
  }
  if (ComparePair(key, recID, keys.data(), recIDs[0]) < 0) {
    Select(l);
    return 1;
  }
  return 2;
}

// Past the page's last entry, at the end of the index or of the pages of
// one key (a run, a Byte value's pages); a key never continues on another
// page outside a run.
bool FBL_IndexPage::EndsAscent(const uint8_t* key, REC_ID recID, bool oneKey) {
  const uint32_t l = mLogical;
  const uint32_t n = Count();
  if (ComparePair(key, recID, KeyAt(n - 1), RecIDAt(n - 1)) <= 0) return false;
  const bool sameKey = SameKey(key, KeyAt(n - 1));
  if (sameKey && UsesRunMarks() && !oneKey) return false;
  if (l == PageCount()) return true;
  if (!sameKey || !IsKeyLocked()) return false;
  Select(l + 1);
  const bool continues = Count() > 0 && SameKey(KeyAt(0), key);
  Select(l);
  return !continues;
}

// The marks of a page made after page l: a page of one key that splits
// becomes a run (its first page marked as the head), and the new page
// continues it.
uint32_t FBL_IndexPage::RunMarks(uint32_t l, bool oneKey) {
  if (!oneKey || !UsesRunMarks()) return 0;
  FBL_InventoryPage& inventory = mIndexFile.GetInventory();
  uint32_t entry = inventory.GetEntry(l);
  if (zpage::EntryMarks(entry) == 0)
    inventory.SetEntry(l, entry | zpage::kHeadMark | zpage::kContinuationMark);
  return zpage::kContinuationMark;
}

// Pages filled in random order stay fuller: about 0.84 of what they may
// hold instead of 0.7 when every full page splits.
bool FBL_IndexPage::ShareWithNeighbour(const uint8_t* key) {
  if (!CanShare() || IsKeyLocked()) return false;
  const uint32_t l = mLogical;
  for (const bool toNext : {true, false}) {
    const uint32_t other = toNext ? l + 1 : l - 1;
    if (other == 0 || other > PageCount()) continue;
    Select(other);
    const bool open = !IsKeyLocked();
    const uint32_t used = UsedSize();
    // A key on both sides of the seam (a pair placed before its key's
    // first entry on the next page) keeps its pages.
    const uint8_t* theirs = KeyAt(toNext ? 0 : Count() - 1);
    uint8_t seam[FBL_KeyOrder::kMaxKeySize];
    std::memcpy(seam, theirs, KeyLength(theirs));
    Select(l);
    const bool apart = !SameKey(seam, KeyAt(toNext ? Count() - 1 : 0));
    const uint32_t cut = open && apart ? ShareCut(used, toNext) : 0;
    if (cut == 0) continue;
    ShareWith(other, cut, toNext);
    // The page whose first entry changed; the pair goes with the keys not
    // below it.
    const uint32_t first = toNext ? other : l;
    Select(first);
    if (mFence.IsValid()) FenceSet(first);
    if (mOrder.CompareKeys(key, KeyAt(0)) < 0) Select(first - 1);
    return true;
  }
  return false;
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

void FBL_IndexPage::NewPageAt(uint32_t l, uint32_t marks) {
  Release();
  mIndexFile.InsertLogicalPage(l, marks);
  if (mFence.IsValid()) mFence.InsertPage(l);
  Select(l);
  InitPage();
  mIndexFile.SetChecked(mPage, true);
}

void FBL_IndexPage::RemovePage(uint32_t l) {
  Release();
  mIndexFile.RemoveLogicalPage(l);
  if (mFence.IsValid()) mFence.RemovePage(l);
}

void FBL_IndexPage::PutEntry(uint32_t at, const uint8_t* key, REC_ID recID) {
  mAppendValid = false;
  Insert(at, key, recID);
  if (at == 0 && mFence.IsValid()) FenceSet(mLogical);
}

void FBL_IndexPage::TakeEntry(uint32_t at) {
  mAppendValid = false;
  Remove(at);
  if (at == 0 && mFence.IsValid() && Count() > 0) FenceSet(mLogical);
}

// ---- locating ------------------------------------------------------------------------

// The last page whose first entry is not above the pair (page 1 when the
// pair lies below everything), starting from the page held last.
uint32_t FBL_IndexPage::ChoosePage(const uint8_t* key, REC_ID recID) {
  uint32_t n = PageCount();
  if (n == 0) return 0;
  uint32_t lo = 1;
  uint32_t hi = n;
  if (n >= kFenceMinPages && !mFence.Covers(n)) BuildFence();
  if (mFence.IsValid()) {
    uint32_t l = mFence.Choose(key, recID, mLogical);
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

REC_ID FBL_IndexPage::FindFirst(const uint8_t* key) {
  FBL_IndexPosition pos = LocateNormalized(key, 0);
  if (pos.mPage == 0 || pos.mEntry >= Count()) return 0;
  return SameKey(KeyAt(pos.mEntry), key) ? RecIDAt(pos.mEntry) : 0;
}

// ---- inserting -----------------------------------------------------------------------

bool FBL_IndexPage::InsertEntry(const uint8_t* key, REC_ID recID, bool unique) {
  if (PageCount() == 0) {
    NewPageAt(1, 0);
    PageAdded(1, key);
    PutEntry(0, key, recID);
    return true;
  }
  if (unique) {
    // No entry holds the key: the pair goes where (key, 0) would, and one
    // descent both checks and places it.
    const FBL_IndexPosition pos = Locate(key, 0);
    const bool after = pos.mEntry >= Count();
    if (after && pos.mPage < PageCount()) Select(pos.mPage + 1);
    const uint32_t next = after ? 0 : pos.mEntry;
    if (next < Count() && SameKey(KeyAt(next), key)) throw xFBL_FieldIsUnique();
    InsertAt(pos, key, recID);
    return true;
  }
  FBL_IndexPosition pos = Locate(key, recID);
  if (mFound) return false;
  InsertAt(pos, key, recID);
  return true;
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
    if (!ShareWithNeighbour(key)) Split(key, recID);
    bool found = false;
    at = Search(key, recID, found);
  }
  PutEntry(at, key, recID);
}

// ---- the memo of ascending appends ----------------------------------------------------

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
    mAppendKey.assign(last, last + KeyLength(last));
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
  if (c != 0) mAppendKey.assign(key, key + KeyLength(key));
  mAppendRecID = recID;
  mAppendPage = pages;
  mAppendCount = n + 1;
  mAppendValid = true;
  return true;
}

int FBL_IndexPage::CompareWithAppended(const uint8_t* key, const uint8_t* last) const {
  uint32_t a = KeyLength(key);
  uint32_t b = static_cast<uint32_t>(mAppendKey.size());
  if (a == b && std::memcmp(key, last, a) == 0) return 0;
  return CompareKeysAs(mAppendBytes, key, last);
}

// The cursor stays on the page that took the pair, the index's last.
void FBL_IndexPage::RememberAppended(const uint8_t* key, REC_ID recID) {
  mAppendValid = mLogical != 0 && mLogical == PageCount();
  if (!mAppendValid) return;
  if (mAppendKey.data() != key) mAppendKey.assign(key, key + KeyLength(key));
  mAppendRecID = recID;
  mAppendPage = mLogical;
  mAppendCount = Count();
}

// ---- removing ------------------------------------------------------------------------

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
  std::vector<uint8_t> first(KeyAt(0), KeyAt(0) + KeyLength(KeyAt(0)));
  Select(l - 1);
  bool fits = UsedSize() + used <= MergeLimit();
  bool prevLocked = IsKeyLocked();
  bool same = locked == prevLocked && (!locked || SameKey(KeyAt(0), first.data()));
  Select(l);
  if (fits && same) MergeInto(l - 1);
}

// ---- ranges and walks ------------------------------------------------------------------

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

template <class Part>
uint64_t FBL_IndexPage::ForEachRangePart(const FBL_IndexPosition& from,
                                         const FBL_IndexPosition& to, Part part) {
  uint64_t taken = 0;
  for (uint32_t p = from.mPage; p <= to.mPage; ++p) {
    Select(p);
    uint32_t n = Count();
    uint32_t b = p == from.mPage ? from.mEntry : 0;
    uint32_t e = p == to.mPage ? std::min(to.mEntry, n) : n;
    if (e <= b) continue;
    part(b, e - b);
    taken += e - b;
  }
  return taken;
}

uint64_t FBL_IndexPage::CollectRange(const FBL_IndexPosition& from, const FBL_IndexPosition& to,
                                     FBL_ArraySet* array, FBL_BitSet* bits) {
  return ForEachRangePart(from, to, [&](uint32_t at, uint32_t count) {
    if (array != nullptr) CopyRecIDs(*array, at, count, true);
    if (bits != nullptr) MarkRecIDs(*bits, at, count);
  });
}

uint64_t FBL_IndexPage::CollectRange(const FBL_IndexPosition& from, const FBL_IndexPosition& to,
                                     FBL_ArraySet& array, uint32_t limit, REC_ID size,
                                     std::unique_ptr<FBL_BitSet>& bits) {
  return ForEachRangePart(from, to, [&](uint32_t at, uint32_t count) {
    if (!bits && array.Count() + uint64_t{count} > limit) {
      bits = std::make_unique<FBL_BitSet>(size);
      for (REC_ID r : array.GetItems()) {
        if (r == 0 || r > size) Corrupt("a RecID beyond the table");
        bits->Include(r);
      }
      array.SetCount(0);
    }
    if (bits) {
      MarkRecIDs(*bits, at, count);
    } else {
      CopyRecIDs(array, at, count, true);
    }
  });
}

void FBL_IndexPage::BoundEntries(const FBL_IndexPosition& from, const FBL_IndexPosition& to,
                                 BoundSet& out) {
  out.count = 0;
  const uint32_t pages = PageCount();
  auto take = [&](uint32_t p, uint32_t e) {
    for (uint32_t i = 0; i < out.count; ++i) {
      if (out.entries[i].at.mPage == p && out.entries[i].at.mEntry == e) return;
    }
    Select(p);
    if (e >= Count()) Corrupt("entries beyond the page");
    Entry& entry = out.entries[out.count++];
    const uint8_t* key = KeyAt(e);
    const uint32_t length = KeyLength(key);
    if (length > sizeof entry.key) Corrupt("a key longer than keys are");
    std::memcpy(entry.key, key, length);
    entry.recID = RecIDAt(e);
    entry.at = {p, e};
    entry.inside = (p > from.mPage || (p == from.mPage && e >= from.mEntry)) &&
                   (p < to.mPage || (p == to.mPage && e < to.mEntry));
  };
  for (const FBL_IndexPosition& bound : {from, to}) {
    if (bound.mPage == 0 || bound.mPage > pages) continue;
    Select(bound.mPage);
    const uint32_t n = Count();
    if (bound.mEntry > 0) {
      take(bound.mPage, std::min(bound.mEntry, n) - 1);
    } else if (bound.mPage > 1) {
      Select(bound.mPage - 1);
      if (Count() > 0) take(bound.mPage - 1, Count() - 1);
    }
    Select(bound.mPage);
    if (bound.mEntry < n) {
      take(bound.mPage, bound.mEntry);
    } else if (bound.mPage < pages) {
      take(bound.mPage + 1, 0);
    }
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
    lastKey.assign(key, key + KeyLength(key));
    lastRecID = RecIDAt(n - 1);
  }
}

// ---- the fence of first entries --------------------------------------------------

void FBL_IndexPage::ForgetFence() {
  ForgetKept();
  mAppendValid = false;
  mFence.Clear();
}

void FBL_IndexPage::BuildFence() {
  ForgetFence();
  uint32_t pages = PageCount();
  mFence.Reset(pages);
  for (uint32_t p = 1; p <= pages; ++p) {
    Select(p);
    if (Count() == 0) {
      ForgetFence();
      Corrupt("an empty page");
    }
    FenceSet(p);
  }
  mFence.Validate();
}

void FBL_IndexPage::FenceSet(uint32_t l) {
  mFence.Set(l, KeyAt(0), RecIDAt(0));
}
