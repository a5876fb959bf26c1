#include "kernel/indexes/field_sorter.h"

#include <algorithm>
#include <cstring>

#include "kernel/indexes/sort_run_file.h"
#include "kernel/storage/byte_order.h"
#include "kernel/tables/key_order.h"
#include "platform/errors.h"

namespace {

// A batch holds at least this many entries, whatever the budget.
constexpr size_t kMinBatchEntries = 2;
// The record count only guesses the first batch (it may come from a
// damaged file): the guess is capped, the budget is the ceiling.
constexpr uint64_t kMaxReservedEntries = 1 << 16;
// A run file's record of a variable key: u16 length, u32 RecID, the bytes.
constexpr size_t kStrHeader = 2 + 4;

}  // namespace

// ---- fixed keys ------------------------------------------------------------------------

class FBL_FieldSorter::BatchReader : public Source {
 public:
  explicit BatchReader(const FBL_FieldSorter& owner) : mOwner(owner) {}
  bool Next(Item& item) override {
    if (mAt == mOwner.mEntries.size()) return false;
    item = mOwner.ItemOf(mOwner.mEntries[mAt++]);
    return true;
  }

 private:
  const FBL_FieldSorter& mOwner;
  size_t mAt = 0;
};

class FBL_FieldSorter::RunReader : public Source {
 public:
  RunReader(const FBL_FieldSorter& owner, FBL_SortRunFile& run) : mOwner(owner), mRun(run) {}
  bool Next(Item& item) override {
    if (!mRun.Read(&mEntry, sizeof mEntry)) return false;
    item = mOwner.ItemOf(mEntry);
    return true;
  }

 private:
  const FBL_FieldSorter& mOwner;
  FBL_SortRunFile& mRun;
  Entry mEntry{};
};

FBL_FieldSorter::FBL_FieldSorter(const FBL_KeyOrder& order, FBL_SortSink& sink,
                                 uint32_t recordCount, FBL_SortDirection direction)
    : FBL_KeySorter(order, sink, recordCount, direction, order.HasKeyOrderBits()),
      mKeySize(order.GetMaxKeySize()),
      mHasOrder(order.HasKeyOrderBits()) {}

FBL_FieldSorter::~FBL_FieldSorter() = default;

void FBL_FieldSorter::Allocate() {
  // An entry and its place in the radix sort's second buffer; the place in
  // the batch is 32 bits.
  uint64_t fit = std::clamp<uint64_t>(mBudget / (2 * sizeof(Entry)), kMinBatchEntries, UINT32_MAX);
  mMaxEntries = static_cast<size_t>(fit);
  try {
    mEntries.reserve(std::min<uint64_t>({fit, std::max<uint32_t>(mRecordCount, 1),
                                         kMaxReservedEntries}));
  } catch (const std::bad_alloc&) {
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  }
}

void FBL_FieldSorter::Push(const uint8_t* key, uint32_t length, REC_ID recID) {
  if (length != mKeySize || length > sizeof(uint64_t)) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  if (mMaxEntries == 0) Allocate();
  if (mEntries.size() >= mMaxEntries) SpillBatch();
  Entry e{};
  std::memcpy(&e.key, key, length);
  e.recID = recID;
  e.seq = static_cast<uint32_t>(mEntries.size());
  if (mHasOrder) {
    e.order = mOrder.KeyOrderBits(key);
    if (Descending()) e.order = ~e.order;
  }
  mEntries.push_back(e);
}

FBL_KeySorter::Item FBL_FieldSorter::ItemOf(const Entry& e) const {
  return Item{e.order, reinterpret_cast<const uint8_t*>(&e.key), mKeySize, e.recID};
}

// LSD radix sort by order bits, a byte per pass, stable; passes in which
// every entry has the same byte are skipped.
void FBL_FieldSorter::RadixSort() {
  const size_t n = mEntries.size();
  constexpr int kBytes = 8;
  std::vector<uint32_t> counts(kBytes * 256, 0);
  auto byteOf = [](const Entry& e, int b) -> uint32_t { return (e.order >> (8 * b)) & 0xFF; };
  for (const Entry& e : mEntries) {
    for (int b = 0; b < kBytes; ++b) ++counts[b * 256 + byteOf(e, b)];
  }
  std::vector<Entry> scratch(n);
  Entry* from = mEntries.data();
  Entry* to = scratch.data();
  for (int b = 0; b < kBytes; ++b) {
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
  if (from != mEntries.data()) mEntries.swap(scratch);
}

void FBL_FieldSorter::SortBatch() {
  if (mEntries.size() < 2) return;
  if (mHasOrder) {
    RadixSort();
    return;
  }
  std::sort(mEntries.begin(), mEntries.end(), [this](const Entry& a, const Entry& b) {
    const Item x = ItemOf(a), y = ItemOf(b);
    if (Less(x, y)) return true;
    return !Less(y, x) && a.seq < b.seq;
  });
}

void FBL_FieldSorter::WriteBatch(FBL_SortRunFile& run) {
  run.Write(mEntries.data(), mEntries.size() * sizeof(Entry));
}

void FBL_FieldSorter::EmitBatch() {
  for (const Entry& e : mEntries) {
    mSink.Take(reinterpret_cast<const uint8_t*>(&e.key), mKeySize, e.recID);
  }
}

void FBL_FieldSorter::ClearBatch() {
  mEntries.clear();
}

uint64_t FBL_FieldSorter::BatchBytes() const {
  return mEntries.size() * sizeof(Entry);
}

std::unique_ptr<FBL_KeySorter::Source> FBL_FieldSorter::BatchSource() {
  return std::make_unique<BatchReader>(*this);
}

std::unique_ptr<FBL_KeySorter::Source> FBL_FieldSorter::RunSource(FBL_SortRunFile& run) {
  return std::make_unique<RunReader>(*this, run);
}

// ---- variable keys ----------------------------------------------------------------------

class FBL_FieldSorterStr::BatchReader : public Source {
 public:
  explicit BatchReader(const FBL_FieldSorterStr& owner) : mOwner(owner) {}
  bool Next(Item& item) override {
    if (mAt == mOwner.mEntries.size()) return false;
    const Entry& e = mOwner.mEntries[mAt++];
    item = Item{e.prefix, mOwner.KeyAt(e), mOwner.LengthAt(e), e.recID};
    return true;
  }

 private:
  const FBL_FieldSorterStr& mOwner;
  size_t mAt = 0;
};

class FBL_FieldSorterStr::RunReader : public Source {
 public:
  RunReader(const FBL_FieldSorterStr& owner, FBL_SortRunFile& run) : mOwner(owner), mRun(run) {}
  bool Next(Item& item) override {
    uint8_t head[kStrHeader];
    if (!mRun.Read(head, sizeof head)) return false;
    const uint16_t n = zorder::LoadNative<uint16_t>(head);
    if (n > sizeof mBytes || !mRun.Read(mBytes, n))
      throw xFBL_IndexError("A sort run holds a damaged record");
    item = Item{mOwner.PrefixOf(mBytes, n), mBytes, n, zorder::LoadNative<REC_ID>(head + 2)};
    return true;
  }

 private:
  const FBL_FieldSorterStr& mOwner;
  FBL_SortRunFile& mRun;
  uint8_t mBytes[FBL_KeyOrder::kMaxKeySize];
};

FBL_FieldSorterStr::FBL_FieldSorterStr(const FBL_KeyOrder& order, FBL_SortSink& sink,
                                       uint32_t recordCount, FBL_SortDirection direction)
    : FBL_KeySorter(order, sink, recordCount, direction, false) {}

FBL_FieldSorterStr::~FBL_FieldSorterStr() = default;

// Two thirds of the budget hold the keys, the rest the entries that point
// at them.
void FBL_FieldSorterStr::Allocate() {
  uint64_t arena =
      std::clamp<uint64_t>(mBudget / 3 * 2, 2 * (FBL_KeyOrder::kMaxKeySize + 2), UINT32_MAX);
  mArenaLimit = static_cast<size_t>(arena);
  mMaxEntries =
      static_cast<size_t>(std::max<uint64_t>(mBudget / 3 / sizeof(Entry), kMinBatchEntries));
  // A first guess from the record count: most keys are short.
  uint64_t expected = std::clamp<uint64_t>(mRecordCount, 1, kMaxReservedEntries);
  try {
    mEntries.reserve(static_cast<size_t>(std::min<uint64_t>(expected, mMaxEntries)));
    mArena.reserve(static_cast<size_t>(std::min<uint64_t>(expected * 16, mArenaLimit)));
  } catch (const std::bad_alloc&) {
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  }
}

uint64_t FBL_FieldSorterStr::PrefixOf(const uint8_t* key, uint32_t length) const {
  uint64_t prefix = 0;
  if (mBytes && length > 0)
    prefix = FBL_KeyOrder::BytesPrefix(key + 1, std::min<uint32_t>(key[0], length - 1));
  return Descending() ? ~prefix : prefix;
}

uint32_t FBL_FieldSorterStr::LengthAt(const Entry& e) const {
  return zorder::LoadNative<uint16_t>(mArena.data() + e.offset - 2);
}

void FBL_FieldSorterStr::Push(const uint8_t* key, uint32_t length, REC_ID recID) {
  if (length > FBL_KeyOrder::kMaxKeySize) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  if (mArenaLimit == 0) Allocate();
  if (mEntries.size() >= mMaxEntries || mArena.size() + 2 + length > mArenaLimit) SpillBatch();
  size_t at = mArena.size();
  mArena.resize(at + 2 + length);
  zorder::StoreNative<uint16_t>(mArena.data() + at, static_cast<uint16_t>(length));
  std::memcpy(mArena.data() + at + 2, key, length);
  mEntries.push_back(Entry{PrefixOf(key, length), static_cast<uint32_t>(at + 2), recID});
}

void FBL_FieldSorterStr::SortBatch() {
  std::sort(mEntries.begin(), mEntries.end(), [this](const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    int c = CompareKeys(KeyAt(a), KeyAt(b));
    if (Descending()) c = -c;
    return c != 0 ? c < 0 : a.offset < b.offset;
  });
}

void FBL_FieldSorterStr::WriteBatch(FBL_SortRunFile& run) {
  for (const Entry& e : mEntries) {
    uint8_t head[kStrHeader];
    std::memcpy(head, mArena.data() + e.offset - 2, 2);
    zorder::StoreNative<REC_ID>(head + 2, e.recID);
    run.Write(head, sizeof head);
    run.Write(KeyAt(e), LengthAt(e));
  }
}

void FBL_FieldSorterStr::EmitBatch() {
  // Sorted entries point all over the arena: fetch keys a few ahead.
  constexpr size_t kAhead = 8;
  for (size_t i = 0; i < mEntries.size(); ++i) {
    if (i + kAhead < mEntries.size()) __builtin_prefetch(KeyAt(mEntries[i + kAhead]));
    mSink.Take(KeyAt(mEntries[i]), LengthAt(mEntries[i]), mEntries[i].recID);
  }
}

void FBL_FieldSorterStr::ClearBatch() {
  mEntries.clear();
  mArena.clear();
}

uint64_t FBL_FieldSorterStr::BatchBytes() const {
  return mArena.size() + mEntries.size() * sizeof(Entry);
}

std::unique_ptr<FBL_KeySorter::Source> FBL_FieldSorterStr::BatchSource() {
  return std::make_unique<BatchReader>(*this);
}

std::unique_ptr<FBL_KeySorter::Source> FBL_FieldSorterStr::RunSource(FBL_SortRunFile& run) {
  return std::make_unique<RunReader>(*this, run);
}
