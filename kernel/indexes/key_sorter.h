// Sorting keys with their RecIDs for any consumer: an index build, an
// ORDER BY, a GROUP BY run detector, a DISTINCT. The caller pushes each
// key (its bytes as the column's FBL_KeyOrder reads them, its length and a
// RecID); Flush hands everything pushed since the last Flush to a sink in
// key order, ascending or descending, equal keys in the order they were
// pushed (a stable sort).
//
// Memory: a budget (FBL_SorterBudget, 10 % of the physical memory unless
// set) bounds the entries held at once. When more entries come than fit,
// each full batch is sorted and written to a temporary run file; Flush
// merges the runs with the last batch, so the sink receives one ordered
// stream whatever the number of batches.
//
// Lifecycle: made by MakeSorter for a key order and a sink that outlive it;
// Push any number of times, Flush, and again. Not for several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_KeyOrder;
class FBL_SortRunFile;

// Bytes a sorter may hold at once: the budget set for this process, else
// 10 % of the physical memory (rounded to the nearest byte).
uint64_t FBL_SorterBudget();
// 0 returns to the default. Lets tests force several batches.
void FBL_SetSorterBudget(uint64_t bytes);

enum class FBL_SortDirection : uint8_t { kAscending, kDescending };

// Where a sorter's output goes.
class FBL_SortSink {
 public:
  virtual ~FBL_SortSink() = default;
  // The next entry in order. key holds length bytes; valid for the call.
  virtual void Take(const uint8_t* key, uint32_t length, REC_ID recID) = 0;
};

class FBL_KeySorter {
 public:
  virtual ~FBL_KeySorter();
  FBL_KeySorter(const FBL_KeySorter&) = delete;
  FBL_KeySorter& operator=(const FBL_KeySorter&) = delete;

  // Reserves the batch buffers within the budget (Push does it when
  // needed); raises 311 when they cannot be had.
  virtual void Allocate() = 0;
  // Adds a key of length bytes (at most FBL_KeyOrder::kMaxKeySize; a fixed
  // key has exactly the order's key size, else 307) under recID.
  virtual void Push(const uint8_t* key, uint32_t length, REC_ID recID) = 0;
  // Hands everything pushed since the last Flush to the sink, in order.
  void Flush();

  // Run files written since the last Flush.
  uint32_t GetRunCount() const { return static_cast<uint32_t>(mRuns.size()); }

 protected:
  // What the merge orders: the key's prefix (order bits, or its first
  // bytes), compared first, then the key itself unless the prefix decides.
  struct Item {
    uint64_t prefix = 0;
    const uint8_t* key = nullptr;
    uint32_t length = 0;
    REC_ID recID = 0;
  };
  // A sorted stream of items: a run file or the last batch.
  class Source {
   public:
    virtual ~Source() = default;
    // The next item; its key stays valid until the next call. False at the end.
    virtual bool Next(Item& item) = 0;
  };

  // prefixDecides: equal prefixes mean equal keys. Prefixes are made
  // descending already (inverted) for a descending sort.
  FBL_KeySorter(const FBL_KeyOrder& order, FBL_SortSink& sink, uint32_t recordCount,
                FBL_SortDirection direction, bool prefixDecides);

  bool Descending() const { return mDescending; }
  // The key order of two items, the direction applied; equal keys false.
  bool Less(const Item& a, const Item& b) const {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (mPrefixDecides) return false;
    int c = CompareKeys(a.key, b.key);
    return mDescending ? c > 0 : c < 0;
  }
  int CompareKeys(const uint8_t* a, const uint8_t* b) const;
  // Sorts the batch (stable), writes it to a new run and empties it.
  void SpillBatch();

  // The batch, by kind of key.
  virtual void SortBatch() = 0;
  virtual void WriteBatch(FBL_SortRunFile& run) = 0;
  virtual void EmitBatch() = 0;
  virtual void ClearBatch() = 0;
  virtual uint64_t BatchBytes() const = 0;
  virtual std::unique_ptr<Source> BatchSource() = 0;
  virtual std::unique_ptr<Source> RunSource(FBL_SortRunFile& run) = 0;

  const FBL_KeyOrder& mOrder;
  FBL_SortSink& mSink;
  uint32_t mRecordCount;
  uint64_t mBudget;
  // The order's keys compare as bytes (variable keys, asked at the start).
  bool mBytes = false;

 private:
  // A new empty run file with a write buffer from the budget.
  FBL_SortRunFile& AddRun();
  // The runs and the sorted last batch, merged into the sink: a heap of
  // sources, equal keys taken from the earlier source first.
  void MergeRuns();
  // The read buffer each run gets for the merge when `reserved` bytes of the
  // budget stay in use.
  size_t MergeBufferBytes(uint64_t reserved) const;

  bool mDescending;
  bool mPrefixDecides;
  std::vector<std::unique_ptr<FBL_SortRunFile>> mRuns;
};

namespace zv {

// A sorter for the keys of order into sink: fixed keys of at most 8 bytes
// by FBL_FieldSorter, others by FBL_FieldSorterStr. recordCount sizes the
// first batch. REQUIRES: order and sink outlive the sorter.
std::unique_ptr<FBL_KeySorter> MakeSorter(
    const FBL_KeyOrder& order, FBL_SortSink& sink, uint32_t recordCount,
    FBL_SortDirection direction = FBL_SortDirection::kAscending);

}  // namespace zv
