#include "sql/conditions/condition_sets.h"

#include <utility>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"
#include "sql/conditions/leaf_search.h"

namespace {

bool IsInner(const SQL_Condition& node) {
  return node.mOp == SQL_ConditionOp::kAnd ||
         (node.mOp == SQL_ConditionOp::kOrIn && node.mField == nullptr);
}

void RequireChildren(const SQL_Condition& node) {
  if (!node.mLeft || !node.mRight) {
    throw xFBL_Exception(ERR_ASSERTION_NULL, "Condition node without its two children");
  }
}

// Depth-first over nodes that concern several tables.
void Walk(const SQL_Condition& node, std::span<FBL_Table* const> tables,
          std::vector<std::unique_ptr<FBL_BitSet>>& sets) {
  if (node.mTable != nullptr) {
    for (size_t i = 0; i < tables.size(); ++i) {
      if (tables[i] == node.mTable) sets[i] = zsql::EvaluateForTable(node, *node.mTable);
    }
    return;
  }
  if (!IsInner(node)) {
    if (node.mOp == SQL_ConditionOp::kTrue) return;  // a join condition
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Condition leaf without its table");
  }
  RequireChildren(node);
  Walk(*node.mLeft, tables, sets);
  Walk(*node.mRight, tables, sets);
}

}  // namespace

std::unique_ptr<FBL_BitSet> zsql::EvaluateForTable(const SQL_Condition& node, FBL_Table& table) {
  std::unique_ptr<FBL_BitSet> found;
  if (IsInner(node)) {
    RequireChildren(node);
    found = EvaluateForTable(*node.mLeft, table);
    std::unique_ptr<FBL_BitSet> right = EvaluateForTable(*node.mRight, table);
    if (node.mOp == SQL_ConditionOp::kAnd) {
      found->Intersection(*right);
    } else {
      found->Union(*right);
    }
  } else if (node.mOp == SQL_ConditionOp::kTrue) {
    found = table.SelectAllRecords();
  } else {
    found = SearchLeaf(node);
  }
  if (node.mNegated) {
    std::unique_ptr<FBL_BitSet> all = table.SelectAllRecords();
    all->Difference(*found);
    found = std::move(all);
  }
  return found;
}

std::vector<std::unique_ptr<FBL_BitSet>> zsql::SelectByCondition(
    const SQL_Condition* root, std::span<FBL_Table* const> tables) {
  std::vector<std::unique_ptr<FBL_BitSet>> sets(tables.size());
  if (root != nullptr) Walk(*root, tables, sets);
  for (size_t i = 0; i < tables.size(); ++i) {
    if (!sets[i]) sets[i] = tables[i]->SelectAllRecords();
  }
  return sets;
}
