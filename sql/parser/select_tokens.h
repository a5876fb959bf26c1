// The tokens of a SELECT statement: one byte each, the numbers the parse
// result keeps (a select-list column's kind is its token, a condition's
// comparison and a join's kind are the operator's token).
#pragma once

#include <cstdint>
#include <string_view>

enum class SQL_Token : uint8_t {
  kOther = 0,  // a character that starts no token
  kAnd = 2,
  kOr = 3,
  kNot = 4,
  kEqual = 5,
  kLess = 6,
  kGreater = 7,
  kLessEqual = 8,
  kGreaterEqual = 9,
  kNotEqual = 10,
  kLike = 11,
  kRegex = 12,
  kNull = 13,
  kLeft = 15,
  kLeftJoin = 16,   // *=
  kRightJoin = 17,  // =*
  kFullJoin = 18,   // *=*
  kEnd = 19,
  kComma = 20,
  kIn = 21,
  kBetween = 22,
  kOpen = 30,
  kClose = 31,
  kSelect = 34,
  kFrom = 35,
  kWhere = 36,
  kOrderBy = 37,
  kGroupBy = 38,
  kIs = 40,
  kAsc = 41,
  kDesc = 42,
  kStar = 43,
  kStarStar = 44,
  kField = 45,
  kTableStar = 46,
  kTableStarStar = 47,
  kAs = 48,
  kOperand = 50,
  kParameter = 51,  // :N
  kNoCase = 55,
  kDistinct = 56,
  kAll = 57,
  kCount = 59,
  kSum = 60,
  kAvg = 61,
  kMin = 62,
  kMax = 63,
};

namespace zv::sql {

// The keyword token of a word (letter case ignored); kOperand for a word
// that is no keyword. "ORDER" and "GROUP" answer kOrderBy and kGroupBy: the
// caller checks that "BY" follows.
SQL_Token KeywordToken(std::string_view word);

bool IsAggregate(SQL_Token token);

}  // namespace zv::sql
