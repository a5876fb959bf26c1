// Selection sets of either kind: a sorted array set for a result of few
// records, a bit set of the table's MaxRecID for a large one. A search
// costs what it finds that way: a point lookup in a table of millions
// neither allocates nor walks a million bits.
//
// Every set these functions return is a bit set or a sorted array set
// holding each RecID once; AND, OR and NOT take either kind.
#pragma once

#include <cstdint>
#include <memory>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/sets/rec_id.h"

class FBL_Table;

namespace zsql {

// Whether count records of a table whose RecIDs go up to maxRecID are
// kept as an array set.
bool KeepsAsArray(uint64_t count, REC_ID maxRecID);
// The largest such count.
uint32_t ArrayLimit(REC_ID maxRecID);

// set in the kind its count calls for; an array set comes back sorted and
// once each.
std::unique_ptr<FBL_Set> Settle(std::unique_ptr<FBL_Set> set, REC_ID maxRecID);

std::unique_ptr<FBL_Set> Intersect(std::unique_ptr<FBL_Set> a, std::unique_ptr<FBL_Set> b);
std::unique_ptr<FBL_Set> Unite(std::unique_ptr<FBL_Set> a, std::unique_ptr<FBL_Set> b,
                               REC_ID maxRecID);
// The table's alive records outside set.
std::unique_ptr<FBL_Set> Complement(const FBL_Set& set, FBL_Table& table);

// Membership in a set of either kind (an array set must be sorted).
bool Contains(const FBL_Set& set, REC_ID recID);

// Calls f(recID) for each member in ascending order.
// REQUIRES: set is a bit set or a sorted array set.
template <class F>
void ForEachMember(const FBL_Set& set, F f) {
  if (const auto* bits = dynamic_cast<const FBL_BitSet*>(&set)) {
    for (REC_ID r = bits->NextMember(0); r != 0; r = bits->NextMember(r)) f(r);
  } else {
    for (REC_ID r : static_cast<const FBL_ArraySet&>(set).GetItems()) f(r);
  }
}

}  // namespace zsql
