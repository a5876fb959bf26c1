#include "sql/parser/select_tokens.h"

#include <cctype>

namespace {

struct Keyword {
  std::string_view word;  // upper case
  SQL_Token token;
};

constexpr Keyword kKeywords[] = {
    {"AND", SQL_Token::kAnd},         {"OR", SQL_Token::kOr},
    {"NOT", SQL_Token::kNot},         {"LIKE", SQL_Token::kLike},
    {"REGEX", SQL_Token::kRegex},     {"NULL", SQL_Token::kNull},
    {"LEFT", SQL_Token::kLeft},       {"IN", SQL_Token::kIn},
    {"BETWEEN", SQL_Token::kBetween}, {"SELECT", SQL_Token::kSelect},
    {"FROM", SQL_Token::kFrom},       {"WHERE", SQL_Token::kWhere},
    {"ORDER", SQL_Token::kOrderBy},   {"GROUP", SQL_Token::kGroupBy},
    {"IS", SQL_Token::kIs},           {"ASC", SQL_Token::kAsc},
    {"DESC", SQL_Token::kDesc},       {"AS", SQL_Token::kAs},
    {"NO_CASE", SQL_Token::kNoCase},  {"DISTINCT", SQL_Token::kDistinct},
    {"ALL", SQL_Token::kAll},         {"COUNT", SQL_Token::kCount},
    {"SUM", SQL_Token::kSum},         {"AVG", SQL_Token::kAvg},
    {"MIN", SQL_Token::kMin},         {"MAX", SQL_Token::kMax},
};

constexpr size_t kLongestKeyword = 8;

}  // namespace

SQL_Token zv::sql::KeywordToken(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestKeyword) return SQL_Token::kOperand;
  char upper[kLongestKeyword];
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    // Keywords are ASCII letters and '_': anything else never matches.
    upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  const std::string_view key(upper, word.size());
  for (const Keyword& k : kKeywords) {
    if (k.word.size() == key.size() && k.word[0] == key[0] && k.word == key) return k.token;
  }
  return SQL_Token::kOperand;
}

bool zv::sql::IsAggregate(SQL_Token token) {
  return token >= SQL_Token::kCount && token <= SQL_Token::kMax;
}
