// SQL_Condition: a node of a WHERE condition as the SELECT parser builds
// it, one per AND, OR or leaf. The operation numbers are the parser's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FBL_BaseField;
class FBL_Table;

enum class SQL_ConditionOp : uint8_t {
  kTrue = 1,  // a join condition moved to the join list
  kAnd = 2,
  kOrIn = 3,  // OR on an inner node, IN on a leaf with a field
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
  kLeftEqual = 15,  // LEFT(field, n) = value
  kInSelect = 19,
};

// The values of an IN (SELECT ...): the sub-cursor's single column, read
// when the condition is evaluated.
class SQL_ValueSource {
 public:
  virtual ~SQL_ValueSource() = default;
  virtual std::vector<std::string> ReadValues() = 0;
};

struct SQL_Condition {
  std::unique_ptr<SQL_Condition> mLeft;
  std::unique_ptr<SQL_Condition> mRight;
  SQL_Condition* mParent = nullptr;
  bool mNegated = false;
  SQL_ConditionOp mOp = SQL_ConditionOp::kTrue;
  // The table the node concerns: set on a leaf, and on AND and OR when both
  // children concern the same table; null otherwise. Not owned.
  FBL_Table* mTable = nullptr;
  // The leaf's field (the table's own; not owned).
  FBL_BaseField* mField = nullptr;
  std::string mValue;
  // LIKE and REGEX.
  bool mCaseSensitive = true;
  // LEFT(field, n) = value: n.
  uint32_t mLeftCount = 0;
  // IN with a list.
  std::vector<std::string> mValues;
  // IN with a sub-select (not owned).
  SQL_ValueSource* mSubSelect = nullptr;
};
