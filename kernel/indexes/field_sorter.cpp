#include "kernel/indexes/field_sorter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "kernel/indexes/sort_run_file.h"
#include "kernel/tables/base_field.h"
#include "platform/env.h"
#include "platform/errors.h"
#include "platform/memory.h"

namespace {

std::atomic<uint64_t> gBudget{0};

// Smallest buffers, whatever the budget: a merge must still read whole
// records, and a batch must hold a few entries.
constexpr size_t kMinRunBuffer = 4096;
constexpr size_t kMinBatchEntries = 2;

// A run file's record of a variable key: its length, its RecID, its bytes.
constexpr size_t kStrHeader = 2 + 4;

// Merges sorted sources into one ascending stream. Each source offers
// Current() and Next() (false at its end); less orders two sources' current
// records; emit takes the smallest each time.
template <class Source, class Less, class Emit>
void MergeSources(std::vector<Source*>& sources, Less less, Emit emit) {
  auto greater = [&](Source* a, Source* b) { return less(*b, *a); };
  std::vector<Source*> heap;
  for (Source* s : sources) {
    if (s->Next()) heap.push_back(s);
  }
  std::make_heap(heap.begin(), heap.end(), greater);
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), greater);
    Source* s = heap.back();
    emit(*s);
    if (s->Next()) {
      std::push_heap(heap.begin(), heap.end(), greater);
    } else {
      heap.pop_back();
    }
  }
}

}  // namespace

uint64_t FBL_SorterBudget() {
  uint64_t set = gBudget.load();
  if (set != 0) return set;
  return static_cast<uint64_t>(std::llround(platform::PhysicalMemorySize() * 0.1));
}

void FBL_SetSorterBudget(uint64_t bytes) {
  gBudget.store(bytes);
}

// ---- common ------------------------------------------------------------------------

FBL_FieldSorter::FBL_FieldSorter(FBL_BaseField& field, FBL_FieldIndex& index, uint32_t recordCount)
    : mField(field),
      mIndex(index),
      mRecordCount(recordCount),
      mBudget(FBL_SorterBudget()),
      mHasOrder(field.HasKeyOrderBits()) {}

FBL_FieldSorter::~FBL_FieldSorter() = default;

FBL_SortRunFile& FBL_FieldSorter::AddRun() {
  size_t buffer = static_cast<size_t>(std::clamp<uint64_t>(mBudget / 16, kMinRunBuffer, 1 << 20));
  mRuns.push_back(std::make_unique<FBL_SortRunFile>(*platform::Env::Default(), buffer));
  return *mRuns.back();
}

size_t FBL_FieldSorter::MergeBufferBytes(uint64_t reserved) const {
  uint64_t left = mBudget > reserved ? mBudget - reserved : 0;
  uint64_t each = left / std::max<size_t>(mRuns.size(), 1);
  return static_cast<size_t>(std::clamp<uint64_t>(each, kMinRunBuffer, 4 << 20));
}

// ---- fixed keys ------------------------------------------------------------------------

void FBL_FieldSorter::Allocate() {
  // An entry and its place in the radix sort's second buffer.
  uint64_t fit = std::max<uint64_t>(mBudget / (2 * sizeof(Entry)), kMinBatchEntries);
  mMaxEntries = static_cast<size_t>(fit);
  try {
    mEntries.reserve(std::min<uint64_t>(fit, std::max<uint32_t>(mRecordCount, 1)));
  } catch (const std::bad_alloc&) {
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  }
}

void FBL_FieldSorter::Push(REC_ID recID) {
  if (mMaxEntries == 0) Allocate();
  if (mEntries.size() >= mMaxEntries) SpillBatch();
  uint8_t key[kMaxIndexKeySize];
  uint32_t n = mField.MakeKey(key);
  if (n > sizeof(uint64_t)) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  Entry e{};
  std::memcpy(&e.key, key, n);
  e.recID = recID;
  if (mHasOrder) e.order = mField.KeyOrderBits(key);
  if (recID < mLastPushed) mAscending = false;
  mLastPushed = recID;
  mEntries.push_back(e);
}

bool FBL_FieldSorter::Less(const Entry& a, const Entry& b) const {
  if (mHasOrder) {
    if (a.order != b.order) return a.order < b.order;
    return a.recID < b.recID;
  }
  int c = mField.CompareKeys(reinterpret_cast<const uint8_t*>(&a.key),
                             reinterpret_cast<const uint8_t*>(&b.key));
  return c != 0 ? c < 0 : a.recID < b.recID;
}

// LSD radix sort by (order, RecID), a byte per pass; passes in which every
// entry has the same byte are skipped. The RecID passes are needed only when
// RecIDs did not come in ascending order.
void FBL_FieldSorter::RadixSort() {
  const size_t n = mEntries.size();
  constexpr int kBytes = 12;  // RecID bytes 0..3, then order bytes 0..7
  std::vector<uint32_t> counts(kBytes * 256, 0);
  auto byteOf = [](const Entry& e, int b) -> uint32_t {
    return b < 4 ? (e.recID >> (8 * b)) & 0xFF : (e.order >> (8 * (b - 4))) & 0xFF;
  };
  for (const Entry& e : mEntries) {
    for (int b = 0; b < kBytes; ++b) ++counts[b * 256 + byteOf(e, b)];
  }
  mScratch.resize(n);
  Entry* from = mEntries.data();
  Entry* to = mScratch.data();
  for (int b = mAscending ? 4 : 0; b < kBytes; ++b) {
    uint32_t* count = &counts[b * 256];
    if (count[byteOf(from[0], b)] == n) continue;
    uint32_t sum = 0;
    for (int v = 0; v < 256; ++v) {
      uint32_t c = count[v];
      count[v] = sum;
      sum += c;
    }
    for (size_t i = 0; i < n; ++i) to[count[byteOf(from[i], b)]++] = from[i];
    std::swap(from, to);
  }
  if (from != mEntries.data()) mEntries.swap(mScratch);
  mScratch.clear();
  mScratch.shrink_to_fit();
}

void FBL_FieldSorter::SortBatch() {
  if (mEntries.size() < 2) return;
  if (mHasOrder) {
    RadixSort();
  } else {
    std::sort(mEntries.begin(), mEntries.end(),
              [this](const Entry& a, const Entry& b) { return Less(a, b); });
  }
}

void FBL_FieldSorter::SpillBatch() {
  SortBatch();
  FBL_SortRunFile& run = AddRun();
  run.Write(mEntries.data(), mEntries.size() * sizeof(Entry));
  mEntries.clear();
  mAscending = true;
  mLastPushed = 0;
}

void FBL_FieldSorter::Flush() {
  if (!mRuns.empty()) {
    MergeRuns();
  } else {
    SortBatch();
    for (const Entry& e : mEntries) {
      mIndex.AppendSorted(reinterpret_cast<const uint8_t*>(&e.key), e.recID);
    }
  }
  mEntries.clear();
  mRuns.clear();
  mAscending = true;
  mLastPushed = 0;
}

// The runs on file and the last batch, still in memory, merged.
void FBL_FieldSorter::MergeRuns() {
  struct Source {
    FBL_SortRunFile* run = nullptr;
    const Entry* at = nullptr;
    const Entry* end = nullptr;
    Entry current{};
    bool Next() {
      if (run != nullptr) return run->Read(&current, sizeof current);
      if (at == end) return false;
      current = *at++;
      return true;
    }
  };
  SortBatch();
  size_t buffer = MergeBufferBytes(mEntries.size() * sizeof(Entry));
  std::vector<Source> sources(mRuns.size() + 1);
  std::vector<Source*> list;
  for (size_t i = 0; i < mRuns.size(); ++i) {
    mRuns[i]->StartReading(buffer);
    sources[i].run = mRuns[i].get();
    list.push_back(&sources[i]);
  }
  sources.back().at = mEntries.data();
  sources.back().end = mEntries.data() + mEntries.size();
  list.push_back(&sources.back());
  MergeSources(
      list, [this](const Source& a, const Source& b) { return Less(a.current, b.current); },
      [this](const Source& s) {
        mIndex.AppendSorted(reinterpret_cast<const uint8_t*>(&s.current.key), s.current.recID);
      });
}

// ---- variable keys ----------------------------------------------------------------------

FBL_FieldSorterStr::FBL_FieldSorterStr(FBL_BaseField& field, FBL_FieldIndex& index,
                                       uint32_t recordCount)
    : FBL_FieldSorter(field, index, recordCount), mBytes(field.KeysCompareAsBytes()) {}

FBL_FieldSorterStr::~FBL_FieldSorterStr() = default;

// Two thirds of the budget hold the keys, the rest the entries that point
// at them.
void FBL_FieldSorterStr::Allocate() {
  uint64_t arena = std::clamp<uint64_t>(mBudget / 3 * 2, 2 * (kMaxIndexKeySize + 2), UINT32_MAX);
  mArenaLimit = static_cast<size_t>(arena);
  mMaxEntries =
      static_cast<size_t>(std::max<uint64_t>(mBudget / 3 / sizeof(Entry), kMinBatchEntries));
  // A first guess from the record count: most keys are short.
  uint64_t expected = std::max<uint64_t>(mRecordCount, 1);
  try {
    mEntries.reserve(static_cast<size_t>(std::min<uint64_t>(expected, mMaxEntries)));
    mArena.reserve(static_cast<size_t>(std::min<uint64_t>(expected * 16, mArenaLimit)));
  } catch (const std::bad_alloc&) {
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  }
}

void FBL_FieldSorterStr::Add(const uint8_t* key, uint32_t length, REC_ID recID) {
  if (length > kMaxIndexKeySize) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  if (mEntries.size() >= mMaxEntries || mArena.size() + 2 + length > mArenaLimit) SpillBatch();
  uint16_t n = static_cast<uint16_t>(length);
  size_t at = mArena.size();
  mArena.resize(at + 2 + length);
  std::memcpy(mArena.data() + at, &n, 2);
  std::memcpy(mArena.data() + at + 2, key, length);
  uint64_t prefix = 0;
  if (mBytes && length > 0) {
    uint32_t text = std::min<uint32_t>(key[0], length - 1);
    for (uint32_t i = 0; i < 8; ++i) {
      prefix = (prefix << 8) | (i < text ? key[1 + i] : 0);
    }
  }
  mEntries.push_back(Entry{prefix, static_cast<uint32_t>(at + 2), recID});
}

int FBL_FieldSorterStr::Compare(const uint8_t* a, const uint8_t* b) const {
  if (!mBytes) return mField.CompareKeys(a, b);
  int c = std::memcmp(a + 1, b + 1, std::min(a[0], b[0]));
  if (c == 0) c = int{a[0]} - int{b[0]};
  return c;
}

bool FBL_FieldSorterStr::Less(const Entry& a, const Entry& b) const {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  int c = Compare(KeyAt(a), KeyAt(b));
  return c != 0 ? c < 0 : a.recID < b.recID;
}

void FBL_FieldSorterStr::Push(REC_ID recID) {
  if (mArenaLimit == 0) Allocate();
  if (mField.HasFlag(kFieldByWords)) {
    std::vector<std::string> words;
    mField.MakeWordKeys(words);
    for (const std::string& w : words) {
      Add(reinterpret_cast<const uint8_t*>(w.data()), static_cast<uint32_t>(w.size()), recID);
    }
    return;
  }
  uint8_t key[kMaxIndexKeySize];
  uint32_t n = mField.MakeKey(key);
  Add(key, n, recID);
}

void FBL_FieldSorterStr::SortBatch() {
  std::sort(mEntries.begin(), mEntries.end(),
            [this](const Entry& a, const Entry& b) { return Less(a, b); });
}

void FBL_FieldSorterStr::SpillBatch() {
  SortBatch();
  FBL_SortRunFile& run = AddRun();
  for (const Entry& e : mEntries) {
    uint8_t head[kStrHeader];
    std::memcpy(head, mArena.data() + e.offset - 2, 2);
    std::memcpy(head + 2, &e.recID, 4);
    run.Write(head, sizeof head);
    uint16_t n;
    std::memcpy(&n, head, 2);
    run.Write(KeyAt(e), n);
  }
  mEntries.clear();
  mArena.clear();
}

void FBL_FieldSorterStr::Flush() {
  if (!mRuns.empty()) {
    MergeRuns();
  } else {
    SortBatch();
    // Sorted entries point all over the arena: fetch keys a few ahead.
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < mEntries.size(); ++i) {
      if (i + kAhead < mEntries.size()) __builtin_prefetch(KeyAt(mEntries[i + kAhead]));
      mIndex.AppendSorted(KeyAt(mEntries[i]), mEntries[i].recID);
    }
  }
  mEntries.clear();
  mArena.clear();
  mRuns.clear();
}

void FBL_FieldSorterStr::MergeRuns() {
  struct Source {
    FBL_SortRunFile* run = nullptr;
    const FBL_FieldSorterStr* owner = nullptr;
    const Entry* at = nullptr;
    const Entry* end = nullptr;
    const uint8_t* key = nullptr;
    REC_ID recID = 0;
    uint8_t bytes[kMaxIndexKeySize];
    bool Next() {
      if (run == nullptr) {
        if (at == end) return false;
        key = owner->KeyAt(*at);
        recID = at->recID;
        ++at;
        return true;
      }
      uint8_t head[kStrHeader];
      if (!run->Read(head, sizeof head)) return false;
      uint16_t n;
      std::memcpy(&n, head, 2);
      std::memcpy(&recID, head + 2, 4);
      if (n > sizeof bytes || !run->Read(bytes, n)) {
        throw xFBL_IndexError("A sort run holds a damaged record");
      }
      key = bytes;
      return true;
    }
  };
  SortBatch();
  size_t buffer = MergeBufferBytes(mArena.size() + mEntries.size() * sizeof(Entry));
  std::vector<Source> sources(mRuns.size() + 1);
  std::vector<Source*> list;
  for (size_t i = 0; i < mRuns.size(); ++i) {
    mRuns[i]->StartReading(buffer);
    sources[i].run = mRuns[i].get();
    list.push_back(&sources[i]);
  }
  Source& last = sources.back();
  last.owner = this;
  last.at = mEntries.data();
  last.end = mEntries.data() + mEntries.size();
  list.push_back(&last);
  MergeSources(
      list,
      [this](const Source& a, const Source& b) {
        int c = Compare(a.key, b.key);
        return c != 0 ? c < 0 : a.recID < b.recID;
      },
      [this](const Source& s) { mIndex.AppendSorted(s.key, s.recID); });
}
