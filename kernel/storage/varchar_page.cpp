#include "kernel/storage/varchar_page.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kernel/storage/varchar_file.h"
#include "kernel/storage/varchar_format.h"
#include "platform/errors.h"

// ---- FBL_VarCharPage ---------------------------------------------------------------

FBL_VarCharPage::FBL_VarCharPage(FBL_VarCharFile& file) : FBL_LogicalPage(file), mVarFile(file) {}

void FBL_VarCharPage::Release() {
  FBL_LogicalPage::Release();
  mFirstRecID = 0;
}

void FBL_VarCharPage::SetPage(uint32_t n) {
  if (IsCurrent(n)) return;
  FBL_LogicalPage::SetPage(n);
  mFirstRecID = mVarFile.RefOf(GetPage());
}

void FBL_VarCharPage::Corrupt(const char* what) const {
  char text[200];
  std::snprintf(text, sizeof text, "VarChar file %08" PRIX64 ", logical page %u (first id %u): %s",
                mVarFile.GetId(), mLogical, mFirstRecID, what);
  throw xFBL_CorruptedVarChar(text);
}

// ---- FBL_VarCharPage_T: byte order ---------------------------------------------------

template <typename T>
FBL_VarCharPage_T<T>::~FBL_VarCharPage_T() {
  // Released here, while ToDisk still converts the page table.
  try {
    Release();
  } catch (const xFBL_Exception&) {
  }
}

template <typename T>
void FBL_VarCharPage_T<T>::FromDisk() {
  if (mData != nullptr && !mSwapped) zvarchar::PageTable<T>{mData, Size()}.FromDisk();
  FBL_VarCharPage::FromDisk();
}

template <typename T>
void FBL_VarCharPage_T<T>::ToDisk() {
  if (mData != nullptr && mSwapped) zvarchar::PageTable<T>{mData, Size()}.ToDisk();
  FBL_VarCharPage::ToDisk();
}

// ---- counts ---------------------------------------------------------------------------

template <typename T>
uint32_t FBL_VarCharPage_T<T>::PageSizeFor(uint32_t maxLength) const {
  return zvarchar::PageSizeFor(maxLength);
}

template <typename T>
uint32_t FBL_VarCharPage_T<T>::GetCount() {
  return zvarchar::PageTable<T>{GetData(), Size()}.Count();
}

template <typename T>
void FBL_VarCharPage_T<T>::SetCount(uint32_t n) {
  if (n > MaxCount()) Corrupt("item count beyond the page");
  zvarchar::PageTable<T>{GetData(), Size()}.SetCount(n);
  MarkDirty();
}

template <typename T>
uint32_t FBL_VarCharPage_T<T>::MaxCount() const {
  return zvarchar::PageTable<T>::MaxCount(Size());
}

template <typename T>
uint32_t FBL_VarCharPage_T<T>::MaxItemBytes() const {
  return Size() - 3 * kWidth;
}

template <typename T>
uint32_t FBL_VarCharPage_T<T>::CheckedCount() {
  uint32_t n = GetCount();
  if (n > MaxCount()) Corrupt("item count beyond the page");
  return n;
}

template <typename T>
void FBL_VarCharPage_T<T>::CheckOffsets(uint32_t from, uint32_t n) {
  zvarchar::PageTable<T> t{GetData(), Size()};
  uint32_t limit = t.DataLimit(n);
  uint32_t previous = t.Off(from);
  if (previous > limit) Corrupt("item offset beyond the data area");
  for (uint32_t k = from + 1; k <= n; ++k) {
    uint32_t off = t.Off(k);
    if (off < previous || off > limit) Corrupt("item offsets out of order");
    previous = off;
  }
}

// ---- items --------------------------------------------------------------------------------

template <typename T>
uint32_t FBL_VarCharPage_T<T>::GetItem(uint32_t recId, uint32_t& length) {
  uint32_t n = CheckedCount();
  if (recId < mFirstRecID || recId - mFirstRecID >= n) Corrupt("record is not on its page");
  uint32_t k = recId - mFirstRecID;
  zvarchar::PageTable<T> t{GetData(), Size()};
  uint32_t start = t.Off(k);
  uint32_t end = t.Off(k + 1);
  if (end < start || end > t.DataLimit(n)) Corrupt("item offset beyond the data area");
  length = end - start;
  return start;
}

template <typename T>
uint32_t FBL_VarCharPage_T<T>::AppendEmpty(uint32_t count) {
  uint32_t n = CheckedCount();
  CheckOffsets(n, n);
  zvarchar::PageTable<T> t{GetData(), Size()};
  uint32_t end = t.Off(n);
  uint32_t fit = (t.DataLimit(n) - end) / kWidth;
  uint32_t add = std::min({count, fit, MaxCount() - n});
  for (uint32_t k = n + 1; k <= n + add; ++k) t.SetOff(k, end);
  t.SetCount(n + add);
  MarkDirty();
  VarFile().AdjustRecordCount(add);
  return count - add;
}

template <typename T>
void FBL_VarCharPage_T<T>::AppendEmptyOnNewPages(uint32_t count, uint32_t& nextRecId) {
  // Growing the inventory may release the cursor: the place is kept here.
  uint32_t after = mLogical;
  while (count > 0) {
    uint32_t l = VarFile().InsertPageAfter(after, nextRecId);
    after = l;
    Select(l);
    uint32_t items = std::min(count, MaxCount());
    // A zeroed page with n items holds n empty values: every offset is 0.
    zvarchar::PageTable<T>{GetData(), Size()}.SetCount(items);
    MarkDirty();
    VarFile().AdjustRecordCount(items);
    nextRecId += items;
    count -= items;
  }
}

template <typename T>
void FBL_VarCharPage_T<T>::TruncateTo(uint32_t keep) {
  uint32_t n = CheckedCount();
  if (keep >= n) return;
  CheckOffsets(keep, n);
  zvarchar::PageTable<T> t{GetData(), Size()};
  uint32_t from = t.Off(keep);
  std::memset(mData + from, 0, t.Off(n) - from);
  for (uint32_t k = keep + 1; k <= n; ++k) t.SetOff(k, 0);
  t.SetCount(keep);
  MarkDirty();
  VarFile().AdjustRecordCount(-int64_t{n - keep});
}

template <typename T>
uint32_t FBL_VarCharPage_T<T>::SetItemSize(uint32_t recId, uint32_t length) {
  if (length > MaxItemBytes()) throw xFBL_Exception(ERR_WRONG_PARAMETER, "VarChar value too long");
  uint32_t start = 0;
  // Each retry follows a split or a new page, which leaves recId on a page
  // with fewer items; a lone item always fits, so this ends.
  for (uint32_t tries = 0; TrySetItemSize(recId, length, start) == Fit::kRetry; ++tries) {
    if (tries > 64) Corrupt("value does not fit after splitting");
  }
  return start;
}

template <typename T>
typename FBL_VarCharPage_T<T>::Fit FBL_VarCharPage_T<T>::TrySetItemSize(uint32_t recId,
                                                                        uint32_t length,
                                                                        uint32_t& start) {
  uint32_t n = CheckedCount();
  if (recId < mFirstRecID) Corrupt("record is not on its page");
  uint32_t k = recId - mFirstRecID;
  if (n == 0) {
    if (k != 0) Corrupt("record is not on its page");
    zvarchar::PageTable<T> t{GetData(), Size()};
    t.SetOff(0, 0);
    t.SetOff(1, length);
    t.SetCount(1);
    MarkDirty();
    start = 0;
    return Fit::kDone;
  }
  if (k > n) Corrupt("record is beyond the page's items");
  CheckOffsets(k, n);
  zvarchar::PageTable<T> t{GetData(), Size()};
  uint32_t end = t.Off(n);
  uint32_t freeBytes = t.DataLimit(n) - end;
  if (k == n) {
    if (freeBytes < length + 4) {
      uint32_t l = VarFile().InsertPageAfter(mLogical, recId);
      Select(l);
      return Fit::kRetry;
    }
    t.SetOff(n + 1, end + length);
    t.SetCount(n + 1);
    MarkDirty();
    start = end;
    return Fit::kDone;
  }
  uint32_t next = t.Off(k + 1);
  uint32_t old = next - t.Off(k);
  if (length > old && freeBytes < length - old) {
    Split(recId);
    return Fit::kRetry;
  }
  if (length < old) {
    uint32_t shrink = old - length;
    std::memmove(mData + next - shrink, mData + next, end - next);
    std::memset(mData + end - shrink, 0, shrink);
    for (uint32_t j = k + 1; j <= n; ++j) t.SetOff(j, t.Off(j) - shrink);
  } else if (length > old) {
    uint32_t grow = length - old;
    std::memmove(mData + next + grow, mData + next, end - next);
    for (uint32_t j = k + 1; j <= n; ++j) t.SetOff(j, t.Off(j) + grow);
  }
  MarkDirty();
  start = t.Off(k);
  return Fit::kDone;
}

// ---- splitting ----------------------------------------------------------------------------

// The first part (its data plus its share of the table) is the largest
// not above half a page, and both parts keep at least one item.
template <typename T>
uint32_t FBL_VarCharPage_T<T>::SplitIndex(uint32_t n) {
  zvarchar::PageTable<T> t{GetData(), Size()};
  const uint64_t half = (Size() - 8) / 2;
  auto first = [&](uint32_t k) { return uint64_t{t.Off(k)} + uint64_t{k + 1} * kWidth; };
  uint32_t k = std::max<uint32_t>(n / 2, 1);
  if (first(k) <= half) {
    while (k + 1 < n && first(k + 1) <= half) ++k;
  } else {
    while (k > 1 && first(k) > half) --k;
  }
  return k;
}

template <typename T>
void FBL_VarCharPage_T<T>::Split(uint32_t recId) {
  uint32_t n = CheckedCount();
  if (n < 2) Corrupt("a lone item does not fit its page");
  CheckOffsets(0, n);
  uint32_t k = SplitIndex(n);
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> offsets;
  {
    zvarchar::PageTable<T> t{GetData(), Size()};
    uint32_t base = t.Off(k);
    bytes.assign(mData + base, mData + t.Off(n));
    for (uint32_t j = k; j <= n; ++j) offsets.push_back(t.Off(j) - base);
  }
  const uint32_t oldLogical = mLogical;
  const uint32_t newFirst = mFirstRecID + k;
  // The new page is whole before the old one gives its items up.
  uint32_t l = VarFile().InsertPageAfter(oldLogical, newFirst);
  Select(l);
  {
    zvarchar::PageTable<T> t{GetData(), Size()};
    if (!bytes.empty()) std::memcpy(mData, bytes.data(), bytes.size());
    for (uint32_t j = 0; j < offsets.size(); ++j) t.SetOff(j, offsets[j]);
    t.SetCount(n - k);
    MarkDirty();
  }
  Select(oldLogical);
  {
    zvarchar::PageTable<T> t{GetData(), Size()};
    std::memset(mData + t.Off(k), 0, bytes.size());
    for (uint32_t j = k + 1; j <= n; ++j) t.SetOff(j, 0);
    t.SetCount(k);
    MarkDirty();
  }
  if (recId >= newFirst) Select(l);
}

// ---- diagnosis ----------------------------------------------------------------------------

template <typename T>
bool FBL_VarCharPage_T<T>::DiagnosePage(std::string& report, bool verbose,
                                        const FBL_VarCharTableView* table) {
  bool ok = true;
  auto say = [&](const std::string& line) {
    ok = false;
    if (verbose) report += line;
  };
  zvarchar::PageTable<T> t{GetData(), Size()};
  uint32_t n = t.Count();
  if (n > MaxCount()) {
    say("(!) ItemCount =" + std::to_string(n) +
        " is bigger of max possible value =" + std::to_string(MaxCount()) + "\n");
    n = MaxCount();
  }
  const uint32_t limit = t.DataLimit(n);
  for (uint32_t k = 0; k < n; ++k) {
    const uint64_t r = uint64_t{mFirstRecID} + k;
    uint32_t a = t.Off(k);
    uint32_t b = t.Off(k + 1);
    bool bad = false;
    if (a > limit) {
      say("(!) Offset of record " + std::to_string(r) + " is wrong. It is = " + std::to_string(a) +
          " but can be maximum = " + std::to_string(limit) + "\n");
      bad = true;
    }
    if (b < a) {
      say("(!) Next offset must be >=, but it is less. For RecID = " + std::to_string(r) + "\n");
      bad = true;
    }
    if (bad || table == nullptr || b == a) continue;
    bool alive = r <= table->mRecordCount && r <= UINT32_MAX &&
                 (!table->mIsAlive || table->mIsAlive(static_cast<uint32_t>(r)));
    if (!alive) say("(!) Length of deleted " + std::to_string(r) + " record is NOT zero\n");
  }
  if (n > 0 && t.Off(n) > limit) {
    say("(!) End of data is wrong. It is = " + std::to_string(t.Off(n)) +
        " but can be maximum = " + std::to_string(limit) + "\n");
  }
  return ok;
}

template class FBL_VarCharPage_T<uint16_t>;
template class FBL_VarCharPage_T<uint32_t>;
