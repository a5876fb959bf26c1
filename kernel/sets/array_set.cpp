#include "kernel/sets/array_set.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kernel/sets/bit_set.h"
#include "kernel/sets/set_iterator.h"
#include "platform/errors.h"

FBL_ArraySet::FBL_ArraySet(uint32_t capacity) {
  Reserve(capacity);
}

FBL_ArraySet::FBL_ArraySet(const FBL_BitSet& bitSet) : FBL_ArraySet(bitSet.Count()) {
  for (REC_ID r = bitSet.NextMember(0); r != 0; r = bitSet.NextMember(r)) mItems.push_back(r);
  mSorted = true;
}

FBL_ArraySet::~FBL_ArraySet() = default;

std::unique_ptr<FBL_SetIterator> FBL_ArraySet::MakeIterator() const {
  return std::make_unique<FBL_ArraySetIterator>(*this);
}

void FBL_ArraySet::Reserve(size_t needed) {
  try {
    mItems.reserve(needed);
  } catch (const std::bad_alloc&) {
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  } catch (const std::length_error&) {
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  }
}

REC_ID FBL_ArraySet::GetItem(uint32_t position) const {
  return position >= 1 && position <= mItems.size() ? mItems[position - 1] : 0;
}

void FBL_ArraySet::Append(REC_ID recID) {
  Append(std::span<const REC_ID>(&recID, 1));
}

void FBL_ArraySet::RoomFor(size_t more) {
  size_t needed = mItems.size() + more;
  if (needed > mItems.capacity()) {
    size_t doubled = mItems.capacity() == 0 ? 100 : mItems.capacity() * 2;
    Reserve(std::max(needed, doubled));
  }
}

void FBL_ArraySet::Append(std::span<const REC_ID> items) {
  RoomFor(items.size());
  mItems.insert(mItems.end(), items.begin(), items.end());
  mSorted = false;
}

void FBL_ArraySet::AppendStored(const uint8_t* first, uint32_t count, std::ptrdiff_t stride) {
  RoomFor(count);
  const size_t at = mItems.size();
  mItems.resize(at + count);
  REC_ID* out = mItems.data() + at;
  for (uint32_t i = 0; i < count; ++i, first += stride) std::memcpy(out + i, first, sizeof *out);
  mSorted = false;
}

void FBL_ArraySet::Sort() {
  if (mSorted) return;
  std::sort(mItems.begin(), mItems.end());
  mSorted = true;
}

bool FBL_ArraySet::Contains(REC_ID recID) const {
  if (mSorted) return std::binary_search(mItems.begin(), mItems.end(), recID);
  return std::find(mItems.begin(), mItems.end(), recID) != mItems.end();
}

void FBL_ArraySet::SetCount(uint32_t n) {
  if (n < mItems.size()) mItems.resize(n);
}

void FBL_ArraySet::RemoveAt(uint32_t position, uint32_t n) {
  if (position == 0 || position > mItems.size()) return;
  auto first = mItems.begin() + (position - 1);
  auto last = first + std::min<size_t>(n, mItems.end() - first);
  mItems.erase(first, last);
}

namespace {

// Appends r unless it equals the item appended just before: merge results
// hold each RecID once even when an operand repeats one.
void PushOnce(std::vector<REC_ID>& out, REC_ID r) {
  if (out.empty() || out.back() != r) out.push_back(r);
}

}  // namespace

std::unique_ptr<FBL_ArraySet> FBL_ArraySet::MakeIntersection(FBL_Set* a, FBL_Set* b) {
  if (!a || !b) return nullptr;
  std::unique_ptr<FBL_ArraySet> holdA, holdB;
  FBL_ArraySet& x = zv::AsArraySet(*a, holdA);
  FBL_ArraySet& y = zv::AsArraySet(*b, holdB);
  x.Sort();
  y.Sort();
  auto result = std::make_unique<FBL_ArraySet>(std::min(x.Count(), y.Count()));
  std::vector<REC_ID>& out = result->mItems;
  auto i = x.mItems.begin(), j = y.mItems.begin();
  while (i != x.mItems.end() && j != y.mItems.end()) {
    if (*i < *j) {
      ++i;
    } else if (*j < *i) {
      ++j;
    } else {
      PushOnce(out, *i);
      ++i, ++j;
    }
  }
  result->mSorted = true;
  return result;
}

std::unique_ptr<FBL_ArraySet> FBL_ArraySet::MakeUnion(FBL_Set* a, FBL_Set* b) {
  if (!a || !b) return nullptr;
  std::unique_ptr<FBL_ArraySet> holdA, holdB;
  FBL_ArraySet& x = zv::AsArraySet(*a, holdA);
  FBL_ArraySet& y = zv::AsArraySet(*b, holdB);
  x.Sort();
  y.Sort();
  auto result = std::make_unique<FBL_ArraySet>(0);
  result->Reserve(size_t{x.Count()} + y.Count());
  std::vector<REC_ID>& out = result->mItems;
  auto i = x.mItems.begin(), j = y.mItems.begin();
  while (i != x.mItems.end() || j != y.mItems.end()) {
    bool takeX = j == y.mItems.end() || (i != x.mItems.end() && *i <= *j);
    REC_ID r = takeX ? *i++ : *j++;
    PushOnce(out, r);
  }
  result->mSorted = true;
  return result;
}

FBL_ArraySet& zv::AsArraySet(FBL_Set& set, std::unique_ptr<FBL_ArraySet>& holder) {
  if (auto* arraySet = dynamic_cast<FBL_ArraySet*>(&set)) return *arraySet;
  auto* bitSet = dynamic_cast<FBL_BitSet*>(&set);
  if (!bitSet) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  holder = std::make_unique<FBL_ArraySet>(*bitSet);
  return *holder;
}
