// The sorters of an index build. They collect the (key, RecID) entries of
// a field's records, sort them and append them to the index in ascending
// (key, RecID) order, the order in which the index takes bulk entries.
//
// Memory: a budget (FBL_SorterBudget, 10 % of the physical memory unless
// set) bounds the entries held at once. When more entries come than fit,
// each full batch is sorted and written to a temporary run file; Flush
// merges the runs with the last batch, so the index receives one ascending
// stream whatever the number of batches: the index single inserts make.
//
// FBL_FieldSorter (fixed keys of at most 8 bytes): each entry holds the key,
// the RecID and, when the field's type has them, the key's order bits (a
// 64-bit number that sorts as the field compares keys), sorted by radix;
// other fixed keys are sorted with the field's CompareKeys.
// FBL_FieldSorterStr (variable keys, such as the length-prefixed text of a
// string field): keys in a byte arena, sorted with CompareKeys; a by-words
// field pushes one entry per distinct word.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_BaseField;
class FBL_FieldIndex;
class FBL_SortRunFile;

// Bytes a sorter may hold at once: the budget set for this process, else
// 10 % of the physical memory (rounded to the nearest byte).
uint64_t FBL_SorterBudget();
// 0 returns to the default. Lets tests force several batches.
void FBL_SetSorterBudget(uint64_t bytes);

class FBL_FieldSorter {
 public:
  // Field and index outlive the sorter; recordCount sizes the first batch.
  FBL_FieldSorter(FBL_BaseField& field, FBL_FieldIndex& index, uint32_t recordCount);
  virtual ~FBL_FieldSorter();
  FBL_FieldSorter(const FBL_FieldSorter&) = delete;
  FBL_FieldSorter& operator=(const FBL_FieldSorter&) = delete;

  // Reserves the batch buffers within the budget.
  virtual void Allocate();
  // Adds the key of the field's current value under recID.
  virtual void Push(REC_ID recID);
  // Sorts everything pushed since the last Flush and appends it to the
  // index. REQUIRES: those entries sort after what the index holds.
  virtual void Flush();

  // Run files written since the last Flush.
  uint32_t GetRunCount() const { return static_cast<uint32_t>(mRuns.size()); }

 protected:
  FBL_BaseField& mField;
  FBL_FieldIndex& mIndex;
  uint32_t mRecordCount;
  uint64_t mBudget;
  std::vector<std::unique_ptr<FBL_SortRunFile>> mRuns;

  // A new empty run file with a write buffer from the budget.
  FBL_SortRunFile& AddRun();
  // The read buffer each run gets for the merge when `reserved` bytes of the
  // budget stay in use.
  size_t MergeBufferBytes(uint64_t reserved) const;

 private:
  struct Entry {
    uint64_t order;
    uint64_t key;
    REC_ID recID;
    uint32_t unused;
  };

  void SortBatch();
  void RadixSort();
  void SpillBatch();
  void MergeRuns();
  bool Less(const Entry& a, const Entry& b) const;

  std::vector<Entry> mEntries;
  std::vector<Entry> mScratch;
  size_t mMaxEntries = 0;
  bool mHasOrder = false;
  // RecIDs arrived in ascending order within the batch (the build's walk):
  // a stable sort by key alone then keeps them ascending among equal keys.
  bool mAscending = true;
  REC_ID mLastPushed = 0;
};

class FBL_FieldSorterStr : public FBL_FieldSorter {
 public:
  FBL_FieldSorterStr(FBL_BaseField& field, FBL_FieldIndex& index, uint32_t recordCount);
  ~FBL_FieldSorterStr() override;

  void Allocate() override;
  void Push(REC_ID recID) override;
  void Flush() override;

 private:
  // An entry of the batch: the first 8 bytes after the key's length byte
  // as a big-endian number (zero-padded; keys compared as bytes only),
  // where the key starts in the arena (after its 2-byte length) and its
  // RecID.
  struct Entry {
    uint64_t prefix;
    uint32_t offset;
    REC_ID recID;
  };

  void Add(const uint8_t* key, uint32_t length, REC_ID recID);
  // CompareKeys, or the byte order without a call when the field has it.
  int Compare(const uint8_t* a, const uint8_t* b) const;
  bool Less(const Entry& a, const Entry& b) const;
  void SortBatch();
  void SpillBatch();
  void MergeRuns();
  const uint8_t* KeyAt(const Entry& e) const { return mArena.data() + e.offset; }

  std::vector<uint8_t> mArena;
  std::vector<Entry> mEntries;
  size_t mArenaLimit = 0;
  size_t mMaxEntries = 0;
  bool mBytes = false;
};
