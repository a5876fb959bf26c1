#include "kernel/indexes/key_sorter.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "kernel/indexes/field_sorter.h"
#include "kernel/indexes/sort_run_file.h"
#include "kernel/tables/key_order.h"
#include "platform/env.h"
#include "platform/memory.h"

namespace {

std::atomic<uint64_t> gBudget{0};

// Smallest buffer of a run, whatever the budget: a merge must still read
// whole records.
constexpr size_t kMinRunBuffer = 4096;

}  // namespace

uint64_t FBL_SorterBudget() {
  uint64_t set = gBudget.load();
  if (set != 0) return set;
  return static_cast<uint64_t>(std::llround(platform::PhysicalMemorySize() * 0.1));
}

void FBL_SetSorterBudget(uint64_t bytes) {
  gBudget.store(bytes);
}

std::unique_ptr<FBL_KeySorter> zv::MakeSorter(const FBL_KeyOrder& order, FBL_SortSink& sink,
                                              uint32_t recordCount, FBL_SortDirection direction) {
  if (order.HasFixedKey() && order.GetMaxKeySize() <= sizeof(uint64_t))
    return std::make_unique<FBL_FieldSorter>(order, sink, recordCount, direction);
  return std::make_unique<FBL_FieldSorterStr>(order, sink, recordCount, direction);
}

FBL_KeySorter::FBL_KeySorter(const FBL_KeyOrder& order, FBL_SortSink& sink, uint32_t recordCount,
                             FBL_SortDirection direction, bool prefixDecides)
    : mOrder(order),
      mSink(sink),
      mRecordCount(recordCount),
      mBudget(FBL_SorterBudget()),
      mBytes(!order.HasFixedKey() && order.KeysCompareAsBytes()),
      mDescending(direction == FBL_SortDirection::kDescending),
      mPrefixDecides(prefixDecides) {}

FBL_KeySorter::~FBL_KeySorter() = default;

int FBL_KeySorter::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  return mOrder.CompareKeysAs(mBytes, a, b);
}

FBL_SortRunFile& FBL_KeySorter::AddRun() {
  size_t buffer = static_cast<size_t>(std::clamp<uint64_t>(mBudget / 16, kMinRunBuffer, 1 << 20));
  mRuns.push_back(std::make_unique<FBL_SortRunFile>(*platform::Env::Default(), buffer));
  return *mRuns.back();
}

size_t FBL_KeySorter::MergeBufferBytes(uint64_t reserved) const {
  uint64_t left = mBudget > reserved ? mBudget - reserved : 0;
  uint64_t each = left / std::max<size_t>(mRuns.size(), 1);
  return static_cast<size_t>(std::clamp<uint64_t>(each, kMinRunBuffer, 4 << 20));
}

void FBL_KeySorter::SpillBatch() {
  SortBatch();
  WriteBatch(AddRun());
  ClearBatch();
}

void FBL_KeySorter::Flush() {
  if (mRuns.empty()) {
    SortBatch();
    EmitBatch();
  } else {
    MergeRuns();
  }
  ClearBatch();
  mRuns.clear();
}

void FBL_KeySorter::MergeRuns() {
  SortBatch();
  const size_t buffer = MergeBufferBytes(BatchBytes());
  std::vector<std::unique_ptr<Source>> sources;
  for (const auto& run : mRuns) {
    run->StartReading(buffer);
    sources.push_back(RunSource(*run));
  }
  sources.push_back(BatchSource());
  // Sources in push order: a tie goes to the lower index, which keeps
  // equal keys in the order they came.
  std::vector<Item> current(sources.size());
  auto after = [&](size_t a, size_t b) {
    if (Less(current[b], current[a])) return true;
    return !Less(current[a], current[b]) && a > b;
  };
  std::vector<size_t> heap;
  for (size_t i = 0; i < sources.size(); ++i) {
    if (sources[i]->Next(current[i])) heap.push_back(i);
  }
  std::make_heap(heap.begin(), heap.end(), after);
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), after);
    const size_t s = heap.back();
    const Item& item = current[s];
    mSink.Take(item.key, item.length, item.recID);
    if (sources[s]->Next(current[s])) {
      std::push_heap(heap.begin(), heap.end(), after);
    } else {
      heap.pop_back();
    }
  }
}
