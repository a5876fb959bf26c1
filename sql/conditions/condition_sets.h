// The evaluation of a WHERE condition into record sets, table by table.
//
// A node that concerns one table is evaluated as a whole against it: AND
// intersects and OR unites its children's sets; a leaf asks the field
// (leaf_search.h); a negated leaf takes the table's other alive records.
// The <, <=, > and >= leaves of one AND chain (ANDs met through ANDs that
// are not negated) on the same indexed field, or on RecID, make one range
// search together.
// A node that concerns several tables is split and each child walked the
// same way; a later subtree for a table replaces an earlier one. A table
// no subtree concerns selects all its records. AND and OR nodes without
// both children raise 308.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "sql/conditions/condition_node.h"

class FBL_Set;
class FBL_Table;

namespace zsql {

// One set per table of tables, in their order, of either kind
// (selection_kinds.h); root may be null (no WHERE).
std::vector<std::unique_ptr<FBL_Set>> SelectByCondition(const SQL_Condition* root,
                                                        std::span<FBL_Table* const> tables);

// The records of table that satisfy node (which concerns table alone).
std::unique_ptr<FBL_Set> EvaluateForTable(const SQL_Condition& node, FBL_Table& table);

}  // namespace zsql
