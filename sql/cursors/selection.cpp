#include "sql/cursors/selection.h"

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/conditions/condition_sets.h"
#include "sql/cursors/cursor_table_indirect.h"
#include "sql/parser/select_errors.h"
#include "sql/parser/select_statement.h"

// The converter copies operation numbers across.
static_assert(int(SQL_CondOp::kAnd) == int(SQL_ConditionOp::kAnd));
static_assert(int(SQL_CondOp::kOr) == int(SQL_ConditionOp::kOrIn));
static_assert(int(SQL_CondOp::kEqual) == int(SQL_ConditionOp::kEqual));
static_assert(int(SQL_CondOp::kNotEqual) == int(SQL_ConditionOp::kNotEqual));
static_assert(int(SQL_CondOp::kLike) == int(SQL_ConditionOp::kLike));
static_assert(int(SQL_CondOp::kIsNotNull) == int(SQL_ConditionOp::kIsNotNull));
static_assert(int(SQL_CondOp::kLeftEqual) == int(SQL_ConditionOp::kLeftEqual));
static_assert(int(SQL_CondOp::kInSelect) == int(SQL_ConditionOp::kInSelect));

namespace {

// The single column of a parsed sub-select, read each time the condition
// is evaluated.
class SubSelectValues : public SQL_ValueSource {
 public:
  SubSelectValues(const SQL_SelectStatement& stmt, SQL_ParamValues params)
      : mStmt(stmt), mParams(params) {}
  std::vector<std::string> ReadValues() override {
    OBL_CursorTable_Indirect rows(mStmt, mParams, OBL_LockMode::kNoLocks, true);
    rows.Build();
    std::vector<std::string> values;
    FBL_BaseField* column = rows.GetColumn(1);
    if (column == nullptr) return values;
    for (bool more = rows.FirstRecord(); more; more = rows.NextRecord()) {
      if (!column->IsNull()) values.push_back(column->GetString());
    }
    return values;
  }

 private:
  const SQL_SelectStatement& mStmt;
  SQL_ParamValues mParams;
};

FBL_Table* TableAt(const SQL_SelectStatement& stmt, uint32_t position) {
  SQL_FromEntry* entry = stmt.GetFromEntry(position);
  return entry == nullptr ? nullptr : &entry->GetTable().GetStore();
}

// The value passed for :n.
const SQL_Value& ParamValue(SQL_ParamValues params, uint32_t n) {
  if (n == 0 || n > params.size()) throw xFBL_Exception(zv::sql::kErrNotEnoughParameters);
  return params[n - 1];
}

// The leaf's values with its parameters bound.
void BindValues(const SQL_CondNode& node, SQL_ParamValues params, SQL_Condition& out) {
  if (node.mParameter != 0) {
    const SQL_Value& value = ParamValue(params, node.mParameter);
    if (value.mNull) {
      // An IN with no values: no record.
      out.mOp = SQL_ConditionOp::kOrIn;
      out.mValues.clear();
      return;
    }
    out.mValue = value.mBytes;
  }
  for (size_t i = 0; i < node.mValueParameters.size(); ++i) {
    const uint32_t n = node.mValueParameters[i];
    if (n == 0) {
      out.mValues.push_back(node.mValues[i]);
      continue;
    }
    const SQL_Value& value = ParamValue(params, n);
    if (!value.mNull) out.mValues.push_back(value.mBytes);
  }
}

void Walk(const SQL_CondNode& node, const SQL_SelectStatement& stmt, SQL_ParamValues params,
          std::vector<std::unique_ptr<FBL_Set>>& sets,
          std::vector<std::unique_ptr<SQL_ValueSource>>& sources) {
  if (node.mTable != 0) {
    FBL_Table* table = TableAt(stmt, node.mTable);
    if (table == nullptr) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Condition on no FROM table");
    std::unique_ptr<SQL_Condition> converted = zsql::ConvertCondition(node, stmt, params, sources);
    sets[node.mTable - 1] = zsql::EvaluateForTable(*converted, *table);
    return;
  }
  if (node.IsLeaf()) {
    if (node.mOp == SQL_CondOp::kTrue) return;  // a join condition
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Condition leaf without its table");
  }
  if (node.mRight == nullptr) {
    throw xFBL_Exception(ERR_ASSERTION_NULL, "Condition node without its two children");
  }
  Walk(*node.mLeft, stmt, params, sets, sources);
  Walk(*node.mRight, stmt, params, sets, sources);
}

}  // namespace

std::unique_ptr<SQL_Condition> zsql::ConvertCondition(
    const SQL_CondNode& node, const SQL_SelectStatement& stmt, SQL_ParamValues params,
    std::vector<std::unique_ptr<SQL_ValueSource>>& sources) {
  auto out = std::make_unique<SQL_Condition>();
  out->mNegated = node.mNegated;
  // Both trees number their operations alike.
  out->mOp = static_cast<SQL_ConditionOp>(node.mOp);
  out->mTable = node.mTable == 0 ? nullptr : TableAt(stmt, node.mTable);
  out->mField = node.mField;
  out->mValue = node.mValue;
  out->mCaseSensitive = node.mCaseSensitive;
  out->mLeftCount = node.mLength;
  BindValues(node, params, *out);
  if (node.mSubSelect) {
    sources.push_back(std::make_unique<SubSelectValues>(*node.mSubSelect, params));
    out->mSubSelect = sources.back().get();
  }
  if (node.mLeft != nullptr) {
    out->mLeft = ConvertCondition(*node.mLeft, stmt, params, sources);
    out->mLeft->mParent = out.get();
  }
  if (node.mRight != nullptr) {
    out->mRight = ConvertCondition(*node.mRight, stmt, params, sources);
    out->mRight->mParent = out.get();
  }
  return out;
}

std::vector<std::unique_ptr<FBL_Set>> zsql::SelectionSets(const SQL_SelectStatement& stmt,
                                                             SQL_ParamValues params) {
  const uint32_t count = stmt.GetFromCount();
  std::vector<std::unique_ptr<FBL_Set>> sets(count);
  std::vector<std::unique_ptr<SQL_ValueSource>> sources;
  if (stmt.GetCondition() != nullptr) Walk(*stmt.GetCondition(), stmt, params, sets, sources);
  for (uint32_t i = 0; i < count; ++i) {
    if (!sets[i]) sets[i] = TableAt(stmt, i + 1)->SelectAllRecords();
  }
  return sets;
}
