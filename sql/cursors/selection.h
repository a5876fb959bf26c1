// The selection sets of a SELECT: for each FROM table the records its
// WHERE condition keeps. The parser's condition tree is converted into the
// evaluator's (sql/conditions) one subtree per table and evaluated there;
// a subtree spanning several tables is split at its AND and OR nodes.
//
// A :N in a leaf takes the N-th of the values passed (619 beyond them) as
// if its bytes had been written there as a literal: the field parses it
// as it parses a literal. A NULL value compares with nothing, as a NULL in
// the column does: the leaf selects no record, NOT over it every record;
// an IN list drops it.
#pragma once

#include <memory>
#include <vector>

#include "sql/conditions/condition_node.h"
#include "sql/parser/parameters.h"

class FBL_Set;
class SQL_SelectStatement;
struct SQL_CondNode;

namespace zsql {

// The evaluator's node for a subtree of the parser's tree. Sub-selects
// become value sources kept in `sources` (which, and params, must outlive
// the result).
std::unique_ptr<SQL_Condition> ConvertCondition(
    const SQL_CondNode& node, const SQL_SelectStatement& stmt, SQL_ParamValues params,
    std::vector<std::unique_ptr<SQL_ValueSource>>& sources);

// One set per FROM position (index 0 for position 1), of either kind
// (sql/conditions/selection_kinds.h); a table the condition leaves alone
// selects all.
// REQUIRES: params outlive the call.
std::vector<std::unique_ptr<FBL_Set>> SelectionSets(const SQL_SelectStatement& stmt,
                                                    SQL_ParamValues params);

}  // namespace zsql
