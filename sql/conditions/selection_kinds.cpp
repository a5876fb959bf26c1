#include "sql/conditions/selection_kinds.h"

#include <algorithm>
#include <utility>

#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

// An array item takes 32 bits against one bit per RecID: below a 32nd of
// the RecIDs the array is the smaller. Walking and testing members costs
// about the same per member; the bit set pays for every RecID instead.
constexpr uint64_t kRecIDsPerItem = 32;
// Tables this small take an array set up to this count whatever their size.
constexpr uint64_t kAlwaysArray = 64;

FBL_ArraySet* ArrayOf(FBL_Set& set) {
  return dynamic_cast<FBL_ArraySet*>(&set);
}

FBL_BitSet& BitsOf(FBL_Set& set) {
  auto* bits = dynamic_cast<FBL_BitSet*>(&set);
  if (bits == nullptr) throw xFBL_Exception(ERR_ASSERTION_FAIL, "A selection of no known kind");
  return *bits;
}

// A sorted array set holding each item of `sorted` once.
std::unique_ptr<FBL_ArraySet> Unique(std::unique_ptr<FBL_ArraySet> sorted) {
  const auto items = sorted->GetItems();
  if (std::adjacent_find(items.begin(), items.end()) == items.end()) return sorted;
  auto once = std::make_unique<FBL_ArraySet>(sorted->Count());
  for (size_t i = 0; i < items.size(); ++i) {
    if (i == 0 || items[i] != items[i - 1]) once->Append(items[i]);
  }
  once->Sort();
  return once;
}

// The items of `small` (sorted) that are members of other.
std::unique_ptr<FBL_Set> Filter(const FBL_ArraySet& small, const FBL_Set& other) {
  auto out = std::make_unique<FBL_ArraySet>(small.Count());
  for (REC_ID r : small.GetItems()) {
    if (zsql::Contains(other, r)) out->Append(r);
  }
  out->Sort();
  return out;
}

}  // namespace

bool zsql::KeepsAsArray(uint64_t count, REC_ID maxRecID) {
  return count <= ArrayLimit(maxRecID);
}

uint32_t zsql::ArrayLimit(REC_ID maxRecID) {
  return static_cast<uint32_t>(std::max(maxRecID / kRecIDsPerItem, kAlwaysArray));
}

std::unique_ptr<FBL_Set> zsql::Settle(std::unique_ptr<FBL_Set> set, REC_ID maxRecID) {
  if (FBL_ArraySet* array = ArrayOf(*set)) {
    if (!KeepsAsArray(array->Count(), maxRecID)) {
      return std::make_unique<FBL_BitSet>(maxRecID, *array);
    }
    array->Sort();
    set.release();
    return Unique(std::unique_ptr<FBL_ArraySet>(array));
  }
  const FBL_BitSet& bits = BitsOf(*set);
  if (KeepsAsArray(bits.Count(), maxRecID)) return std::make_unique<FBL_ArraySet>(bits);
  return set;
}

bool zsql::Contains(const FBL_Set& set, REC_ID recID) {
  if (const auto* array = dynamic_cast<const FBL_ArraySet*>(&set)) return array->Contains(recID);
  return static_cast<const FBL_BitSet&>(set).IsMember(recID);
}

std::unique_ptr<FBL_Set> zsql::Intersect(std::unique_ptr<FBL_Set> a, std::unique_ptr<FBL_Set> b) {
  FBL_ArraySet* arrayA = ArrayOf(*a);
  FBL_ArraySet* arrayB = ArrayOf(*b);
  if (arrayA != nullptr && (arrayB == nullptr || arrayA->Count() <= arrayB->Count())) {
    return Filter(*arrayA, *b);
  }
  if (arrayB != nullptr) return Filter(*arrayB, *a);
  BitsOf(*a).Intersection(BitsOf(*b));
  return a;
}

std::unique_ptr<FBL_Set> zsql::Unite(std::unique_ptr<FBL_Set> a, std::unique_ptr<FBL_Set> b,
                                     REC_ID maxRecID) {
  FBL_ArraySet* arrayA = ArrayOf(*a);
  FBL_ArraySet* arrayB = ArrayOf(*b);
  if (arrayA != nullptr && arrayB != nullptr) {
    return Settle(FBL_ArraySet::MakeUnion(arrayA, arrayB), maxRecID);
  }
  if (arrayA != nullptr) std::swap(a, b), std::swap(arrayA, arrayB);
  FBL_BitSet& bits = BitsOf(*a);
  if (arrayB != nullptr) {
    for (REC_ID r : arrayB->GetItems()) bits.Include(r);
  } else {
    bits.Union(BitsOf(*b));
  }
  return a;
}

std::unique_ptr<FBL_Set> zsql::Complement(const FBL_Set& set, FBL_Table& table) {
  std::unique_ptr<FBL_BitSet> all = table.SelectAllRecords();
  if (const auto* array = dynamic_cast<const FBL_ArraySet*>(&set)) {
    for (REC_ID r : array->GetItems()) all->Exclude(r);
  } else {
    all->Difference(set);
  }
  return all;
}
