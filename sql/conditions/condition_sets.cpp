#include "sql/conditions/condition_sets.h"

#include <algorithm>
#include <utility>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"
#include "sql/conditions/leaf_search.h"
#include "sql/conditions/selection_kinds.h"

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
          std::vector<std::unique_ptr<FBL_Set>>& sets) {
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

// The operands of an AND chain, in their order: a negated AND ends the
// chain (its own negation applies to its result).
void Conjuncts(const SQL_Condition& node, std::vector<const SQL_Condition*>& out) {
  RequireChildren(node);
  for (const SQL_Condition* child : {node.mLeft.get(), node.mRight.get()}) {
    if (child->mOp == SQL_ConditionOp::kAnd && !child->mNegated) {
      Conjuncts(*child, out);
    } else {
      out.push_back(child);
    }
  }
}

std::unique_ptr<FBL_Set> EvaluateAnd(const SQL_Condition& node, FBL_Table& table) {
  std::vector<const SQL_Condition*> operands;
  Conjuncts(node, operands);
  // One range per field, searched where its first leaf stands.
  std::vector<zsql::SQL_KeyRange> ranges;
  std::vector<int> rangeOf(operands.size(), -1);
  for (size_t i = 0; i < operands.size(); ++i) {
    if (!zsql::IsRangeLeaf(*operands[i])) continue;
    auto same = std::find_if(ranges.begin(), ranges.end(), [&](const zsql::SQL_KeyRange& r) {
      return r.mField == operands[i]->mField;
    });
    if (same == ranges.end()) {
      rangeOf[i] = static_cast<int>(ranges.size());
      same = ranges.emplace(ranges.end());
    }
    zsql::NarrowRange(*same, *operands[i]);
  }
  std::unique_ptr<FBL_Set> found;
  for (size_t i = 0; i < operands.size(); ++i) {
    std::unique_ptr<FBL_Set> next;
    if (rangeOf[i] >= 0) {
      next = zsql::SearchRange(ranges[static_cast<size_t>(rangeOf[i])]);
    } else if (!zsql::IsRangeLeaf(*operands[i])) {
      next = zsql::EvaluateForTable(*operands[i], table);
    } else {
      continue;  // searched with its field's first range leaf
    }
    found = found ? zsql::Intersect(std::move(found), std::move(next)) : std::move(next);
  }
  return found;
}

}  // namespace

std::unique_ptr<FBL_Set> zsql::EvaluateForTable(const SQL_Condition& node, FBL_Table& table) {
  std::unique_ptr<FBL_Set> found;
  if (node.mOp == SQL_ConditionOp::kAnd) {
    found = EvaluateAnd(node, table);
  } else if (IsInner(node)) {
    RequireChildren(node);
    found = EvaluateForTable(*node.mLeft, table);
    found = Unite(std::move(found), EvaluateForTable(*node.mRight, table), table.GetMaxRecID());
  } else if (node.mOp == SQL_ConditionOp::kTrue) {
    found = table.SelectAllRecords();
  } else {
    found = SearchLeaf(node);
  }
  if (node.mNegated) found = Complement(*found, table);
  return found;
}

std::vector<std::unique_ptr<FBL_Set>> zsql::SelectByCondition(
    const SQL_Condition* root, std::span<FBL_Table* const> tables) {
  std::vector<std::unique_ptr<FBL_Set>> sets(tables.size());
  if (root != nullptr) Walk(*root, tables, sets);
  for (size_t i = 0; i < tables.size(); ++i) {
    if (!sets[i]) sets[i] = tables[i]->SelectAllRecords();
  }
  return sets;
}
