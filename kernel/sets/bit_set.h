// A record set with one bit per possible RecID, for large results.
//
// Buffer format: RecID r (1 <= r <= size) is bit (r - 1) mod 8 of byte
// (r - 1) div 8, least significant bit first, the layout of a table's record
// map. The buffer holds (floor(ceil(size / 8) / 4) + 1) 32-bit words: always
// at least one spare word beyond what the size needs. A set of size 0 has no
// buffer.
//
// Invariant: no bit past the size is ever set; every operation that could
// set one clears the tail again.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "kernel/sets/record_set.h"

class FBL_ArraySet;

class FBL_BitSet : public FBL_Set {
 public:
  // An empty set that can hold RecIDs 1..size.
  explicit FBL_BitSet(REC_ID size);
  // The items of arraySet that lie in 1..size; others are ignored.
  FBL_BitSet(REC_ID size, const FBL_ArraySet& arraySet);
  ~FBL_BitSet() override;

  bool IsEmpty() const override;
  uint32_t Count() const override;
  std::unique_ptr<FBL_SetIterator> MakeIterator() const override;

  REC_ID GetSize() const { return mSize; }
  // The buffer in the format above; null for size 0.
  const uint8_t* GetBuffer() const { return reinterpret_cast<const uint8_t*>(mWords.get()); }
  size_t GetBufferSize() const { return size_t{mWordCount32} * 4; }
  // Fills the buffer from the start with bytes in the format above (a record
  // map, say); bytes past the buffer and bits past the size are dropped, the
  // rest of the buffer is cleared.
  void LoadBytes(std::span<const uint8_t> bytes);

  // RecIDs outside 1..size are ignored and are never members.
  void Include(REC_ID recID) {
    if (recID == 0 || recID > mSize) return;
    mWords[(recID - 1) / 64] |= uint64_t{1} << ((recID - 1) % 64);
  }
  void Exclude(REC_ID recID);
  bool IsMember(REC_ID recID) const;
  // Includes from..to, both included; `to` is cut to the size.
  void IncludeRange(REC_ID from, REC_ID to);

  // The RecID of the n-th member (1-based), 0 when there are fewer members.
  REC_ID GetNth(uint32_t n) const;
  // The first member above `after` / the last member below `before`, 0 when
  // there is none.
  REC_ID NextMember(REC_ID after) const;
  REC_ID PrevMember(REC_ID before) const;
  // fn(recID) for every member, ascending, a word of bits at a time.
  template <class Fn>
  void ForEachMember(Fn fn) const {
    const uint64_t* words = mWords.get();
    for (uint32_t i = 0, n = StorageWords(); i < n; ++i) {
      for (uint64_t w = words[i]; w != 0; w &= w - 1)
        fn(static_cast<REC_ID>(uint64_t{i} * 64 + std::countr_zero(w) + 1));
    }
  }

  // fn(first, bits) for every word holding members: bit j of bits stands
  // for RecID first + j.
  template <class Fn>
  void ForEachWord(Fn fn) const {
    const uint64_t* words = mWords.get();
    for (uint32_t i = 0, n = StorageWords(); i < n; ++i) {
      if (words[i] != 0) fn(static_cast<REC_ID>(uint64_t{i} * 64 + 1), words[i]);
    }
  }
  // Adds the members of a word as ForEachWord gives it. REQUIRES: first
  // and bits come from a set of at most this size.
  void IncludeWord(REC_ID first, uint64_t bits) { mWords[(first - 1) / 64] |= bits; }

  // In place, over the 32-bit words both buffers have: the receiver's own
  // further words stay as they are, and members of `other` past the
  // receiver's size are dropped. An array set is first made a bit set of
  // the receiver's size.
  void Union(const FBL_Set& other);
  void Intersection(const FBL_Set& other);
  void Difference(const FBL_Set& other);
  // Complements membership of every RecID 1..size.
  void Invert();

  // A new set of size max(size a, size b) holding the members of either.
  static std::unique_ptr<FBL_BitSet> MakeUnion(const FBL_BitSet& a, const FBL_BitSet& b);
  // A new set of size min(size a, size b) holding the members of both.
  static std::unique_ptr<FBL_BitSet> MakeIntersection(const FBL_BitSet& a, const FBL_BitSet& b);
  // The same for sets of either kind; an array set operand is first made a
  // bit set of maxRecID.
  static std::unique_ptr<FBL_BitSet> MakeUnion(const FBL_Set& a, const FBL_Set& b, REC_ID maxRecID);
  static std::unique_ptr<FBL_BitSet> MakeIntersection(const FBL_Set& a, const FBL_Set& b,
                                                      REC_ID maxRecID);

 private:
  enum NoFill { kNoFill };
  // Leaves the buffer unset, for results that write every word.
  FBL_BitSet(REC_ID size, NoFill);

  // Storage is kept in 64-bit words for speed; when the buffer has an odd
  // number of 32-bit words, the upper half of the last one is hidden and
  // stays zero.
  template <class Op>
  void Combine(const FBL_BitSet& other, Op op);
  void ClearPastSize();
  uint32_t StorageWords() const { return (mWordCount32 + 1) / 2; }

  REC_ID mSize;
  uint32_t mWordCount32;
  std::unique_ptr<uint64_t[]> mWords;
};

// `set` as a bit set: the set itself when it is one, else a bit set of
// maxRecID built from it and kept in `holder`. REQUIRES: set is a bit set or
// an array set.
const FBL_BitSet& AsBitSet(const FBL_Set& set, REC_ID maxRecID,
                           std::unique_ptr<FBL_BitSet>& holder);
