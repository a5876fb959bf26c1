// The search language of one field (FBL_QueryParser) over real indexes:
// every form, left-to-right AND and OR, and the errors 380, 381 and 382.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/tables/query_parser.h"
#include "tests/indexes/index_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::IndexTest;
using Kind = FBL_QueryParser::TokenKind;

class QueryParserTest : public IndexTest {
 protected:
  void SetUp() override {
    IndexTest::SetUp();
    CreateDb();
    MakeTable({{kTypeLong, kFieldNullable}, {kTypeString, kFieldNullable, 20}, {kTypeText}});
    const char* numbers[] = {"5", "7", "9", nullptr, "3", "10", "5", "6"};
    const char* texts[] = {"ab", "abc", "abz", "a", "b", "AB", "abc", nullptr};
    for (int i = 0; i < 8; ++i) {
      Set(1, numbers[i]);
      Set(2, texts[i]);
      F(3).SetString(texts[i] != nullptr ? texts[i] : "");
      mTable->AddRecord();
    }
  }
  void Set(uint32_t field, const char* text) {
    if (text == nullptr) {
      F(field).SetNull(true);
    } else {
      F(field).SetString(text);
    }
  }
  std::vector<REC_ID> Search(uint32_t field, const std::string& text) {
    return Members(*FBL_QueryParser(F(field)).Search(text));
  }
};

TEST_F(QueryParserTest, EveryForm) {
  struct Case {
    uint32_t field;
    const char* text;
    std::vector<REC_ID> found;
  };
  const std::vector<Case> cases = {
      {1, "5", {1, 7}},
      {1, "= 5", {1, 7}},
      {1, ">= 5 AND <= 9", {1, 2, 3, 7, 8}},
      {1, "> 5 and < 9", {2, 8}},
      {1, ">5 AND<=9", {2, 3, 8}},
      {1, "> 8", {3, 6}},
      {1, "< 6", {1, 5, 7}},
      {1, "<= 3 OR >= 10", {5, 6}},
      {1, "NULL", {4}},
      {1, "= NULL", {4}},
      {1, "not null", {1, 2, 3, 5, 6, 7, 8}},
      {1, "NOT NULL", {1, 2, 3, 5, 6, 7, 8}},
      {1, "NOT 5", {2, 3, 4, 5, 6, 8}},
      {1, "5 OR 7 AND 7", {2}},  // (5 OR 7) AND 7, not 5 OR (7 AND 7)
      {1, "5 OR 7 AND NOT 7", {1, 7}},
      {1, "== 5", {}},
      {2, "ab", {1, 2, 3, 7}},  // a prefix: not "a", not "AB"
      {2, "= ab", {1}},
      {2, "= 'abc'", {2, 7}},
      {2, "== ^ab[cz]$", {2, 3, 7}},
      {2, "== ''", {1, 2, 3, 4, 5, 6, 7}},  // a null value never matches
      {2, "== '(?i)^ab$'", {1, 6}},
      {2, "== ^[[:upper:]]", {6}},
      {2, "> abc", {3, 5}},
      {2, "NULL", {8}},
      {2, "NOT abc", {1, 3, 4, 5, 6, 8}},
      {3, "ab", {1, 2, 3, 7}},
      {3, "= abc", {2, 7}},
      {3, "== z$", {3}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Search(c.field, c.text), c.found) << "field " << c.field << ": " << c.text;
  }
}

TEST_F(QueryParserTest, ErrorsSearchNothing) {
  struct Bad {
    const char* text;
    int code;
  };
  const std::vector<Bad> bad = {
      {"=", 380},          {">", 380},           {"NOT", 380},        {"==", 380},
      {"5 OR", 380},       {"", 380},            {"AND 5", 381},      {"OR < 5", 381},
      {"> 5 AND", 382},    {"> 5 AND = 7", 382}, {"> 5 AND <", 382},  {">= 1 and 4", 382},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(ErrorCode([&] { Search(1, b.text); }), b.code) << b.text;
  }
  // The errors are parser errors.
  try {
    Search(1, "= 5 AND >");
    ADD_FAILURE();
  } catch (const xFBL_ParserError& e) {
    EXPECT_EQ(e.Code, 380);
  }
}

TEST(QueryTokens, Tokenizer) {
  const auto tokens = FBL_QueryParser::Tokenize(" a<=b 'it\\'s x' == And or NOT null,(c)>=> ");
  std::vector<Kind> kinds;
  std::vector<std::string> values;
  for (const auto& t : tokens) {
    kinds.push_back(t.kind);
    if (t.kind == Kind::kValue) values.push_back(t.text);
  }
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::kValue, Kind::kLessEqual, Kind::kValue, Kind::kValue,
                                      Kind::kMatch, Kind::kAnd, Kind::kOr, Kind::kNot, Kind::kNull,
                                      Kind::kValue, Kind::kValue, Kind::kValue, Kind::kValue,
                                      Kind::kGreaterEqual, Kind::kGreater, Kind::kEnd}));
  EXPECT_EQ(values, (std::vector<std::string>{"a", "b", "it's x", ",", "(", "c", ")"}));
}

}  // namespace
