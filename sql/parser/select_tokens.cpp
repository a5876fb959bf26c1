#include "sql/parser/select_tokens.h"

#include <array>
#include <cstdint>

namespace {

struct Keyword {
  std::string_view word;  // upper case
  SQL_Token token;
};

// By first letter: a word is compared with those of its own letter only.
constexpr Keyword kKeywords[] = {
    {"ALL", SQL_Token::kAll},         {"AND", SQL_Token::kAnd},
    {"AS", SQL_Token::kAs},           {"ASC", SQL_Token::kAsc},
    {"AVG", SQL_Token::kAvg},         {"BETWEEN", SQL_Token::kBetween},
    {"COUNT", SQL_Token::kCount},     {"DESC", SQL_Token::kDesc},
    {"DISTINCT", SQL_Token::kDistinct}, {"FROM", SQL_Token::kFrom},
    {"GROUP", SQL_Token::kGroupBy},   {"IN", SQL_Token::kIn},
    {"IS", SQL_Token::kIs},           {"LEFT", SQL_Token::kLeft},
    {"LIKE", SQL_Token::kLike},       {"MAX", SQL_Token::kMax},
    {"MIN", SQL_Token::kMin},         {"NO_CASE", SQL_Token::kNoCase},
    {"NOT", SQL_Token::kNot},         {"NULL", SQL_Token::kNull},
    {"OR", SQL_Token::kOr},           {"ORDER", SQL_Token::kOrderBy},
    {"REGEX", SQL_Token::kRegex},     {"SELECT", SQL_Token::kSelect},
    {"SUM", SQL_Token::kSum},         {"WHERE", SQL_Token::kWhere},
};
constexpr size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];

// kFirstOf[l] .. kFirstOf[l + 1]: the keywords starting with letter l.
constexpr auto kFirstOf = [] {
  std::array<uint8_t, 27> first{};
  size_t k = 0;
  for (size_t l = 0; l < 26; ++l) {
    first[l] = static_cast<uint8_t>(k);
    while (k < kKeywordCount && static_cast<size_t>(kKeywords[k].word[0] - 'A') == l) ++k;
  }
  first[26] = static_cast<uint8_t>(k);
  return first;
}();
static_assert(kFirstOf[26] == kKeywordCount, "keywords in order of their first letter");

constexpr size_t kLongestKeyword = 8;

}  // namespace

SQL_Token zv::sql::KeywordToken(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestKeyword) return SQL_Token::kOperand;
  const char first = word[0] >= 'a' && word[0] <= 'z' ? static_cast<char>(word[0] - 'a' + 'A')
                                                        : word[0];
  if (first < 'A' || first > 'Z') return SQL_Token::kOperand;
  const size_t letter = static_cast<size_t>(first - 'A');
  for (size_t n = kFirstOf[letter]; n < kFirstOf[letter + 1]; ++n) {
    const Keyword& k = kKeywords[n];
    if (k.word.size() != word.size()) continue;
    size_t i = 1;
    for (; i < word.size(); ++i) {
      const char c = word[i];
      // Keywords are ASCII letters and '_': anything else never matches.
      if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != k.word[i]) break;
    }
    if (i == word.size()) return k.token;
  }
  return SQL_Token::kOperand;
}

bool zv::sql::IsAggregate(SQL_Token token) {
  return token >= SQL_Token::kCount && token <= SQL_Token::kMax;
}
