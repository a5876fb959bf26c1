// Iterators over record sets. An iterator refers to its set without owning
// it; the set must outlive the iterator. A fresh iterator stands on no
// member; from there Next() acts as First() and Prev() as Last(). A move
// that finds no member returns false (or 0) and leaves the position, except
// GoTo, which then leaves the iterator on no member.
#pragma once

#include <cstdint>

#include "kernel/sets/rec_id.h"

class FBL_BitSet;
class FBL_ArraySet;

class FBL_SetIterator {
 public:
  FBL_SetIterator() = default;
  FBL_SetIterator(const FBL_SetIterator&) = delete;
  FBL_SetIterator& operator=(const FBL_SetIterator&) = delete;
  virtual ~FBL_SetIterator();

  // The RecID at the position, 0 when on no member.
  virtual REC_ID GetCurrent() const = 0;
  virtual bool First() = 0;
  virtual bool Last() = 0;
  virtual bool Next() = 0;
  virtual bool Prev() = 0;
  // The n-th member (1-based); false when there are fewer than n members.
  virtual bool GoTo(uint32_t n) = 0;

  // The same moves, returning the RecID reached or 0 when there is none.
  virtual REC_ID FirstItem() { return First() ? GetCurrent() : 0; }
  virtual REC_ID LastItem() { return Last() ? GetCurrent() : 0; }
  virtual REC_ID NextItem() { return Next() ? GetCurrent() : 0; }
  virtual REC_ID PrevItem() { return Prev() ? GetCurrent() : 0; }
};

// Walks members in ascending RecID order. The position is the current
// RecID, so the set may change between moves.
class FBL_BitSetIterator : public FBL_SetIterator {
 public:
  explicit FBL_BitSetIterator(const FBL_BitSet& set) : mSet(set) {}
  ~FBL_BitSetIterator() override;

  REC_ID GetCurrent() const override { return mCurrent; }
  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prev() override;
  bool GoTo(uint32_t n) override;

 private:
  bool MoveTo(REC_ID recID);

  const FBL_BitSet& mSet;
  REC_ID mCurrent = 0;
};

// Walks items in their array order (ascending once sorted). The position
// is a 1-based item number checked against the count at every use, so
// items removed behind the iterator's back cannot be read.
class FBL_ArraySetIterator : public FBL_SetIterator {
 public:
  explicit FBL_ArraySetIterator(const FBL_ArraySet& set) : mSet(set) {}
  ~FBL_ArraySetIterator() override;

  REC_ID GetCurrent() const override;
  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prev() override;
  bool GoTo(uint32_t n) override;

 private:
  bool MoveTo(uint32_t position);

  const FBL_ArraySet& mSet;
  uint32_t mPosition = 0;  // 0: on no item
};
