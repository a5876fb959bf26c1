// The WHERE grammar:
//   condition := term { OR term }
//   term      := primary { AND primary }
//   primary   := NOT primary | "(" condition ")" | LEFT "(" field "," n ")" "=" value
//              | field op value | field [NOT] LIKE|REGEX pattern [NO_CASE]
//              | field IS [NOT] NULL | field [NOT] BETWEEN low AND high
//              | field [NOT] IN "(" values | SELECT ... ")" | field joinop field
// A value (pattern, bound, list item) is a literal or a :N parameter.
#include <cctype>
#include <utility>

#include "sql/parser/select_errors.h"
#include "sql/parser/select_parser.h"

using namespace zv::sql;

namespace {

bool IsTrue(const SQL_CondNode* node) {
  return node->IsLeaf() && node->mOp == SQL_CondOp::kTrue;
}

// Tokens after which no primary can follow.
bool EndsPrimary(SQL_Token token) {
  switch (token) {
    case SQL_Token::kEnd:
    case SQL_Token::kClose:
    case SQL_Token::kAnd:
    case SQL_Token::kOr:
    case SQL_Token::kGroupBy:
    case SQL_Token::kOrderBy:
      return true;
    default:
      return false;
  }
}

bool IsComparison(SQL_Token token) {
  return token >= SQL_Token::kEqual && token <= SQL_Token::kNotEqual;
}

bool IsJoinOperator(SQL_Token token) {
  return token >= SQL_Token::kLeftJoin && token <= SQL_Token::kFullJoin;
}

}  // namespace

bool OBL_Parser::TakeValue(std::string& value, uint32_t& parameter) const {
  if (Token() == SQL_Token::kParameter) {
    value.clear();
    parameter = mTok->GetParameter();
    return true;
  }
  if (Token() != SQL_Token::kOperand) return false;
  value = mTok->GetOperand();
  parameter = 0;
  return true;
}

SQL_CondNode* OBL_Parser::MakeLeaf(SQL_CondOp op, FBL_BaseField* field, uint32_t table) {
  SQL_CondNode* node = mStmt->NewNode();
  node->mOp = op;
  node->mField = field;
  node->mTable = table;
  return node;
}

SQL_CondNode* OBL_Parser::MakeInner(SQL_CondOp op, SQL_CondNode* left, SQL_CondNode* right) {
  SQL_CondNode* node = mStmt->NewNode();
  node->mOp = op;
  node->mLeft = left;
  node->mRight = right;
  left->mParent = node;
  right->mParent = node;
  if (left->mTable == right->mTable) node->mTable = left->mTable;
  return node;
}

SQL_CondNode* OBL_Parser::ParseCondition(uint32_t depth) {
  SQL_CondNode* left = ParseTerm(depth);
  while (left != nullptr && Token() == SQL_Token::kOr) {
    Next();
    SQL_CondNode* right = ParseTerm(depth);
    if (right == nullptr) return nullptr;
    left = MakeInner(SQL_CondOp::kOr, left, right);
  }
  return left;
}

SQL_CondNode* OBL_Parser::ParseTerm(uint32_t depth) {
  SQL_CondNode* left = ParsePrimary(depth);
  while (left != nullptr && Token() == SQL_Token::kAnd) {
    Next();
    SQL_CondNode* right = ParsePrimary(depth);
    if (right == nullptr) return nullptr;
    // A join condition already went to the join list.
    if (IsTrue(left)) {
      left = right;
    } else if (!IsTrue(right)) {
      left = MakeInner(SQL_CondOp::kAnd, left, right);
    }
  }
  return left;
}

SQL_CondNode* OBL_Parser::ParsePrimary(uint32_t depth) {
  if (Failed()) return nullptr;
  if (mDepth + depth > kMaxDepth) return Fail(kErrSyntax);
  switch (Token()) {
    case SQL_Token::kNot: {
      if (EndsPrimary(Next())) return Fail(kErrExpectedExpression);
      SQL_CondNode* node = ParsePrimary(depth + 1);
      if (node != nullptr) node->mNegated = !node->mNegated;
      return node;
    }
    case SQL_Token::kOpen: {
      Next();
      SQL_CondNode* node = ParseCondition(depth + 1);
      if (node == nullptr) return nullptr;
      if (Token() != SQL_Token::kClose) return Fail(kErrExpectedClose);
      Next();
      return node;
    }
    case SQL_Token::kLeft:
      return ParseLeftLeaf();
    case SQL_Token::kField:
      return ParseFieldCondition(depth);
    default:
      return Fail(kErrWrongExpression);
  }
}

SQL_CondNode* OBL_Parser::ParseFieldCondition(uint32_t depth) {
  FBL_BaseField* field = mTok->GetField();
  const uint32_t table = mTok->GetTable();
  bool negated = false;
  if (Next() == SQL_Token::kNot) {
    const SQL_Token after = Next();
    if (after != SQL_Token::kLike && after != SQL_Token::kRegex && after != SQL_Token::kBetween &&
        after != SQL_Token::kIn)
      return Fail(kErrWrongExpression);
    negated = true;
  }
  SQL_CondNode* node = nullptr;
  const SQL_Token op = Token();
  if (IsComparison(op) || IsJoinOperator(op)) {
    node = ParseComparison(field, table);
  } else if (op == SQL_Token::kLike || op == SQL_Token::kRegex) {
    Next();
    node = MakeLeaf(op == SQL_Token::kLike ? SQL_CondOp::kLike : SQL_CondOp::kRegex, field, table);
    if (!TakeValue(node->mValue, node->mParameter)) return Fail(kErrWrongExpression);
    if (Next() == SQL_Token::kNoCase) {
      node->mCaseSensitive = false;
      Next();
    }
  } else if (op == SQL_Token::kIs) {
    bool notNull = false;
    if (Next() == SQL_Token::kNot) {
      notNull = true;
      Next();
    }
    if (Token() != SQL_Token::kNull) return Fail(kErrExpectedNull);
    Next();
    node = MakeLeaf(notNull ? SQL_CondOp::kIsNotNull : SQL_CondOp::kIsNull, field, table);
  } else if (op == SQL_Token::kBetween) {
    node = ParseBetween(field, table);
  } else if (op == SQL_Token::kIn) {
    node = ParseIn(field, table, depth);
  } else {
    return Fail(kErrWrongExpression);
  }
  if (node != nullptr && negated) node->mNegated = true;
  return node;
}

SQL_CondNode* OBL_Parser::ParseComparison(FBL_BaseField* field, uint32_t table) {
  const SQL_Token op = Token();
  if (Next() == SQL_Token::kField) {
    if (op != SQL_Token::kEqual && !IsJoinOperator(op)) return Fail(kErrWrongLink);
    return JoinCondition(field, table, op, mTok->GetField(), mTok->GetTable());
  }
  if (IsJoinOperator(op)) return Fail(kErrWrongLink);
  // The comparisons' operations are their tokens.
  SQL_CondNode* node = MakeLeaf(static_cast<SQL_CondOp>(op), field, table);
  if (!TakeValue(node->mValue, node->mParameter)) return Fail(kErrWrongExpression);
  Next();
  return node;
}

SQL_CondNode* OBL_Parser::ParseBetween(FBL_BaseField* field, uint32_t table) {
  Next();
  SQL_CondNode* low = MakeLeaf(SQL_CondOp::kGreaterEqual, field, table);
  if (!TakeValue(low->mValue, low->mParameter)) return Fail(kErrExpectedValue);
  if (Next() != SQL_Token::kAnd) return Fail(kErrExpectedAnd);
  Next();
  SQL_CondNode* high = MakeLeaf(SQL_CondOp::kLessEqual, field, table);
  if (!TakeValue(high->mValue, high->mParameter)) return Fail(kErrExpectedValue);
  Next();
  return MakeInner(SQL_CondOp::kAnd, low, high);
}

SQL_CondNode* OBL_Parser::ParseIn(FBL_BaseField* field, uint32_t table, uint32_t depth) {
  if (Next() != SQL_Token::kOpen) return Fail(kErrExpectedOpen);
  if (Next() == SQL_Token::kSelect)
    return ParseSubSelect(MakeLeaf(SQL_CondOp::kInSelect, field, table), depth);
  SQL_CondNode* node = MakeLeaf(SQL_CondOp::kIn, field, table);
  for (;;) {
    std::string value;
    uint32_t parameter = 0;
    if (!TakeValue(value, parameter)) return Fail(kErrExpectedValue);
    node->mValues.push_back(std::move(value));
    node->mValueParameters.push_back(parameter);
    const SQL_Token after = Next();
    if (after == SQL_Token::kClose) break;
    if (after == SQL_Token::kEnd) return Fail(kErrExpectedClose);
    if (after != SQL_Token::kComma) return Fail(kErrExpectedComma);
    Next();
  }
  Next();
  return node;
}

SQL_CondNode* OBL_Parser::ParseSubSelect(SQL_CondNode* leaf, uint32_t depth) {
  const size_t start = mTok->GetTokenStart();
  const size_t close = FindClosingParenthesis(mText, start);
  if (close == std::string::npos) return Fail(kErrExpectedClose);
  if (mDepth + depth + 1 > kMaxDepth) return Fail(kErrSyntax);
  OBL_Parser sub(mDb, mDepth + depth + 1);
  if (const int32_t error = sub.Parse(std::string_view(mText).substr(start, close - start)))
    return Fail(error);
  if (sub.GetStatement().GetSelectList().size() != 1) return Fail(kErrSubSelectColumns);
  leaf->mSubSelect = sub.TakeStatement();
  mTok->SetPosition(close + 1);
  Next();
  return leaf;
}

SQL_CondNode* OBL_Parser::ParseLeftLeaf() {
  if (Next() != SQL_Token::kOpen) return Fail(kErrExpectedOpen);
  if (Next() != SQL_Token::kField) return Fail(kErrFieldNotFound);
  SQL_CondNode* node = MakeLeaf(SQL_CondOp::kLeftEqual, mTok->GetField(), mTok->GetTable());
  if (Next() != SQL_Token::kComma) return Fail(kErrExpectedComma);
  if (Next() != SQL_Token::kOperand || mTok->IsQuoted()) return Fail(kErrExpectedValue);
  uint32_t length = 0;
  for (char c : mTok->GetOperand()) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0 || length > 100000000)
      return Fail(kErrExpectedValue);
    length = length * 10 + static_cast<uint32_t>(c - '0');
  }
  node->mLength = length;
  if (Next() != SQL_Token::kClose) return Fail(kErrExpectedClose);
  if (Next() != SQL_Token::kEqual) return Fail(kErrWrongExpression);
  Next();
  if (!TakeValue(node->mValue, node->mParameter)) return Fail(kErrExpectedValue);
  Next();
  return node;
}
