#include "kernel/sets/set_iterator.h"

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"

FBL_SetIterator::~FBL_SetIterator() = default;

// --- bit sets ----------------------------------------------------------------

FBL_BitSetIterator::~FBL_BitSetIterator() = default;

bool FBL_BitSetIterator::MoveTo(REC_ID recID) {
  if (recID == 0) return false;
  mCurrent = recID;
  return true;
}

bool FBL_BitSetIterator::First() {
  return MoveTo(mSet.NextMember(0));
}

bool FBL_BitSetIterator::Last() {
  REC_ID size = mSet.GetSize();
  return MoveTo(mSet.IsMember(size) ? size : mSet.PrevMember(size));
}

bool FBL_BitSetIterator::Next() {
  return mCurrent == 0 ? First() : MoveTo(mSet.NextMember(mCurrent));
}

bool FBL_BitSetIterator::Prev() {
  return mCurrent == 0 ? Last() : MoveTo(mSet.PrevMember(mCurrent));
}

bool FBL_BitSetIterator::GoTo(uint32_t n) {
  mCurrent = mSet.GetNth(n);
  return mCurrent != 0;
}

// --- array sets --------------------------------------------------------------

FBL_ArraySetIterator::~FBL_ArraySetIterator() = default;

REC_ID FBL_ArraySetIterator::GetCurrent() const {
  return mSet.GetItem(mPosition);
}

bool FBL_ArraySetIterator::MoveTo(uint32_t position) {
  if (position == 0 || position > mSet.Count()) return false;
  mPosition = position;
  return true;
}

bool FBL_ArraySetIterator::First() {
  return MoveTo(1);
}

bool FBL_ArraySetIterator::Last() {
  return MoveTo(mSet.Count());
}

bool FBL_ArraySetIterator::Next() {
  return mPosition == 0 ? First() : MoveTo(mPosition + 1);
}

bool FBL_ArraySetIterator::Prev() {
  return mPosition == 0 ? Last() : MoveTo(mPosition - 1);
}

bool FBL_ArraySetIterator::GoTo(uint32_t n) {
  mPosition = n <= mSet.Count() ? n : 0;
  return mPosition != 0;
}
