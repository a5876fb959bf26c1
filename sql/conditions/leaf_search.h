// The records of a table that satisfy one leaf of a condition, found by the
// field: from its index when it has one (not a by-words index), else by a
// scan of the column. NULL values satisfy no comparison (<> included).
//
// LIKE takes "%" for any run of characters and "_" for one, "\" before
// either for itself; the pattern must match the whole text. LIKE and REGEX
// search String, VarChar and Text fields (others raise 303). Texts compare
// under the field's language: by their first 255 characters (the index key)
// on an indexed field, whole on a scan.
//
// The RecID column is searched by the table's record map: its values are
// parsed as a ULong's and compare with the alive RecIDs.
//
// The sets come in either kind (selection_kinds.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/conditions/condition_node.h"

class FBL_BaseField;
class FBL_Set;

namespace zsql {

// The leaf's records, before negation. REQUIRES: leaf.mField belongs to an
// open table.
std::unique_ptr<FBL_Set> SearchLeaf(const SQL_Condition& leaf);

// The records whose value compares to value by op (kEqual ... kNotEqual).
std::unique_ptr<FBL_Set> SearchComparison(FBL_BaseField& field, SQL_ConditionOp op,
                                          const std::string& value);

// A range of a field's index keys (RecIDs for the RecID column, as 8-byte
// numbers); a side without a key is open.
struct SQL_KeyRange {
  FBL_BaseField* mField = nullptr;
  std::vector<uint8_t> mLeft, mRight;
  bool mLeftIncluded = false;
  bool mRightIncluded = false;
};

// Whether leaf is a <, <=, > or >= (not negated) that a key range answers:
// one on an index that is not by words, or on the RecID column.
bool IsRangeLeaf(const SQL_Condition& leaf);
// Narrows range (of the leaf's field) by a leaf that IsRangeLeaf: the
// tighter bound stays, an excluded one where both are the same.
void NarrowRange(SQL_KeyRange& range, const SQL_Condition& leaf);
// The records whose key lies in range.
std::unique_ptr<FBL_Set> SearchRange(const SQL_KeyRange& range);

// A LIKE pattern as a regular expression over the whole text.
std::string LikeToRegex(const std::string& like);

}  // namespace zsql
