// The two kinds of FBL_KeySorter (key_sorter.h), made by MakeSorter.
//
// FBL_FieldSorter (fixed keys of at most 8 bytes): each entry holds the key,
// the RecID and, when the order has them, the key's order bits, sorted by
// a radix sort; other fixed keys are sorted with the order's CompareKeys.
// FBL_FieldSorterStr (variable keys, such as the length-prefixed text of a
// string field): keys in a byte arena, entries that point at them with the
// key's first 8 bytes as a number when the keys compare as bytes.
//
// Both keep equal keys in push order: an entry's place in its batch breaks
// ties, the merge prefers the earlier run.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/indexes/key_sorter.h"

class FBL_FieldSorter : public FBL_KeySorter {
 public:
  FBL_FieldSorter(const FBL_KeyOrder& order, FBL_SortSink& sink, uint32_t recordCount,
                  FBL_SortDirection direction);
  ~FBL_FieldSorter() override;

  void Allocate() override;
  void Push(const uint8_t* key, uint32_t length, REC_ID recID) override;

 protected:
  void SortBatch() override;
  void WriteBatch(FBL_SortRunFile& run) override;
  void EmitBatch() override;
  void ClearBatch() override;
  uint64_t BatchBytes() const override;
  std::unique_ptr<Source> BatchSource() override;
  std::unique_ptr<Source> RunSource(FBL_SortRunFile& run) override;

 private:
  // Also the record of a run file.
  struct Entry {
    uint64_t order;  // order bits, inverted for a descending sort
    uint64_t key;
    REC_ID recID;
    uint32_t seq;  // place in the batch
  };
  class BatchReader;
  class RunReader;

  void RadixSort();
  Item ItemOf(const Entry& e) const;

  std::vector<Entry> mEntries;
  size_t mMaxEntries = 0;
  uint32_t mKeySize;
  bool mHasOrder;
};

class FBL_FieldSorterStr : public FBL_KeySorter {
 public:
  FBL_FieldSorterStr(const FBL_KeyOrder& order, FBL_SortSink& sink, uint32_t recordCount,
                     FBL_SortDirection direction);
  ~FBL_FieldSorterStr() override;

  void Allocate() override;
  void Push(const uint8_t* key, uint32_t length, REC_ID recID) override;

 protected:
  void SortBatch() override;
  void WriteBatch(FBL_SortRunFile& run) override;
  void EmitBatch() override;
  void ClearBatch() override;
  uint64_t BatchBytes() const override;
  std::unique_ptr<Source> BatchSource() override;
  std::unique_ptr<Source> RunSource(FBL_SortRunFile& run) override;

 private:
  // An entry of the batch: the key's prefix, where the key starts in the
  // arena (after its 2-byte length; later keys start later) and its RecID.
  struct Entry {
    uint64_t prefix;
    uint32_t offset;
    REC_ID recID;
  };
  class BatchReader;
  class RunReader;

  // The first 8 bytes after the key's length byte as a big-endian number
  // (zero-padded), inverted for a descending sort; 0 unless keys compare
  // as bytes.
  uint64_t PrefixOf(const uint8_t* key, uint32_t length) const;
  const uint8_t* KeyAt(const Entry& e) const { return mArena.data() + e.offset; }
  uint32_t LengthAt(const Entry& e) const;

  std::vector<uint8_t> mArena;
  std::vector<Entry> mEntries;
  size_t mArenaLimit = 0;
  size_t mMaxEntries = 0;
};
