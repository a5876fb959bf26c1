// The records of a table that satisfy one leaf of a condition, found by the
// field: from its index when it has one (not a by-words index), else by a
// scan of the column. NULL values satisfy no comparison (<> included).
//
// LIKE takes "%" for any run of characters and "_" for one, "\" before
// either for itself; the pattern must match the whole text. LIKE and REGEX
// search String, VarChar and Text fields (others raise 303). Texts compare
// under the field's language: by their first 255 characters (the index key)
// on an indexed field, whole on a scan.
#pragma once

#include <memory>
#include <string>

#include "sql/conditions/condition_node.h"

class FBL_BaseField;
class FBL_BitSet;

namespace zsql {

// The leaf's records, before negation. REQUIRES: leaf.mField belongs to an
// open table.
std::unique_ptr<FBL_BitSet> SearchLeaf(const SQL_Condition& leaf);

// The records whose value compares to value by op (kEqual ... kNotEqual).
std::unique_ptr<FBL_BitSet> SearchComparison(FBL_BaseField& field, SQL_ConditionOp op,
                                             const std::string& value);

// A LIKE pattern as a regular expression over the whole text.
std::string LikeToRegex(const std::string& like);

}  // namespace zsql
