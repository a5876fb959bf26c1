// SQL_SelectStatement: what the SELECT parser makes of a statement, plain
// data for the cursor and a planner to read: the FROM list, the select
// list, the join list, the condition tree, GROUP BY and ORDER BY, the flags
// and the error code (0 when the statement parsed).
//
// Tables are named everywhere by their position in the FROM list (1-based;
// 0: none). Fields are the tables' own objects; the statement needs the
// database and its tables to outlive it. Relational links made for the
// joins belong to the statement.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/parser/from_entry.h"
#include "sql/parser/select_tokens.h"

class FBL_BaseField;
class OBL_Link;
class OBL_Parser;
class SQL_SelectStatement;

// A select-list column. kind: kField for a plain field, or the aggregate's
// token (kCount, kSum, kAvg, kMin, kMax); count(*) has no field.
struct SQL_SelectExpr {
  SQL_Token mKind = SQL_Token::kField;
  FBL_BaseField* mField = nullptr;
  uint32_t mTable = 0;
  bool mDistinct = false;
};

// The join kinds are the operators' tokens.
enum class SQL_JoinKind : uint8_t {
  kInner = 5,
  kLeftOuter = 16,
  kRightOuter = 17,
  kFullOuter = 18,
};

struct SQL_LInfo {
  OBL_Link* mLink = nullptr;
  // A relational link: the tables join by values, not by a stored link.
  bool mValueJoin = false;
  uint32_t mTableA = 0;
  uint32_t mTableB = 0;
  SQL_JoinKind mKind = SQL_JoinKind::kInner;
  // The join builder's mark.
  bool mDone = false;
};

// Operations of condition nodes. kOr on an inner node and kIn on a leaf
// share their number.
enum class SQL_CondOp : uint8_t {
  kTrue = 1,  // a join condition, moved to the join list
  kAnd = 2,
  kOr = 3,
  kIn = 3,
  kEqual = 5,
  kLess = 6,
  kGreater = 7,
  kLessEqual = 8,
  kGreaterEqual = 9,
  kNotEqual = 10,
  kLike = 11,
  kRegex = 12,
  kIsNull = 13,
  kIsNotNull = 14,
  kLeftEqual = 15,
  kInSelect = 19,
};

// One node of the condition tree: an AND or OR with two children, or a
// leaf on one field. The statement owns every node.
struct SQL_CondNode {
  SQL_CondNode();
  ~SQL_CondNode();

  bool IsLeaf() const { return mLeft == nullptr; }

  SQL_CondNode* mLeft = nullptr;
  SQL_CondNode* mRight = nullptr;
  SQL_CondNode* mParent = nullptr;
  bool mNegated = false;
  SQL_CondOp mOp = SQL_CondOp::kTrue;
  // The FROM position the node concerns: a leaf's table; an inner node's
  // when both children concern the same table, else 0.
  uint32_t mTable = 0;
  FBL_BaseField* mField = nullptr;
  std::string mValue;
  // The :N that stands for mValue, bound when the statement runs (0: the
  // value is mValue as written).
  uint32_t mParameter = 0;
  // LIKE and REGEX.
  bool mCaseSensitive = true;
  // LEFT(field, n) =: n.
  uint32_t mLength = 0;
  // IN (values).
  std::vector<std::string> mValues;
  // For each of mValues, its :N or 0.
  std::vector<uint32_t> mValueParameters;
  // IN (SELECT ...): the sub-select, parsed; one column.
  std::unique_ptr<SQL_SelectStatement> mSubSelect;
};

struct SQL_GroupItem {
  FBL_BaseField* mField = nullptr;
  uint32_t mTable = 0;
};

// An ORDER BY item: a select-list column (1-based), or column 0 and a field
// that is not in the select list.
struct OBL_SortItem {
  uint16_t mColumn = 0;
  bool mAscending = true;
  FBL_BaseField* mField = nullptr;
  uint32_t mTable = 0;
};
using OBL_SortOrder = std::vector<OBL_SortItem>;

class SQL_SelectStatement {
 public:
  SQL_SelectStatement();
  ~SQL_SelectStatement();
  SQL_SelectStatement(const SQL_SelectStatement&) = delete;
  SQL_SelectStatement& operator=(const SQL_SelectStatement&) = delete;

  // 0, or the first error (600 to 632).
  int32_t GetError() const { return mError; }

  uint32_t GetFromCount() const { return static_cast<uint32_t>(mFrom.size()); }
  // 1-based; null out of range.
  SQL_FromEntry* GetFromEntry(uint32_t position) const;
  const std::vector<SQL_SelectExpr>& GetSelectList() const { return mSelect; }
  bool HasAggregate() const { return mHasAggregate; }
  bool HasPlainField() const { return mHasPlainField; }
  // SELECT DISTINCT: repeated rows are dropped.
  bool IsDistinct() const { return mDistinct; }
  // FROM DISTINCT: repeated tuples of a multi-table result are dropped.
  bool IsFromDistinct() const { return mFromDistinct; }
  const std::vector<SQL_LInfo>& GetJoinList() const { return mJoins; }
  std::vector<SQL_LInfo>& GetJoinList() { return mJoins; }
  // Null when there is no WHERE, or it held only join conditions.
  const SQL_CondNode* GetCondition() const { return mCondition; }
  const std::vector<SQL_GroupItem>& GetGroupBy() const { return mGroupBy; }
  const OBL_SortOrder& GetOrderBy() const { return mOrderBy; }

 private:
  friend class OBL_Parser;

  SQL_CondNode* NewNode();

  int32_t mError = 0;
  std::vector<std::unique_ptr<SQL_FromEntry>> mFrom;
  std::vector<SQL_SelectExpr> mSelect;
  bool mHasAggregate = false;
  bool mHasPlainField = false;
  bool mDistinct = false;
  bool mFromDistinct = false;
  std::vector<SQL_LInfo> mJoins;
  std::vector<std::unique_ptr<OBL_Link>> mOwnLinks;
  // Every node made, kept in a flat list so that no tree walk is needed to
  // free a long chain of ORs.
  std::vector<std::unique_ptr<SQL_CondNode>> mNodes;
  SQL_CondNode* mCondition = nullptr;
  std::vector<SQL_GroupItem> mGroupBy;
  OBL_SortOrder mOrderBy;
};
