// Method expressions: scanning, precedence, NULL propagation, comparison
// classes, errors with their offsets, and hostile texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/expressions/comparisons.h"
#include "sql/expressions/expression_error.h"
#include "sql/expressions/field_items.h"
#include "sql/expressions/function_table.h"
#include "sql/expressions/scanner.h"
#include "tests/sql/sql_fixture.h"

namespace {

using ztest::SqlTest;

struct EvalCase {
  const char* text;
  const char* expected;  // "NULL" for a null result
};

class ExpressionTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    CreateDb();
    MakeNamedTable({{"a", kTypeLong},
                    {"b", kTypeDouble},
                    {"s", kTypeString, 0, 20},
                    {"n", kTypeLong, kFieldNullable},
                    {"t", kTypeText},
                    {"v", kTypeVarChar, 0, 40},
                    {"u", kTypeString, 0, 20}});
    N("a").SetString("7");
    N("b").SetString("2.5");
    N("s").SetString("Hello");
    N("n").SetNull(true);
    N("t").SetString("Some text");
    N("v").SetString("hello");
    N("u").SetString("World");
    mTable->AddRecord();
  }
  void Check(const std::vector<EvalCase>& cases) {
    for (const EvalCase& c : cases) EXPECT_EQ(Eval(c.text), c.expected) << c.text;
  }
};

TEST_F(ExpressionTest, PrecedenceAndNullPropagation) {
  Check({
      {"1 + 2 * 3", "7"},
      {"(1 + 2) * 3", "9"},
      {"a + b * 2", "12"},
      {"a - 2 - 1", "4"},
      {"a / 2", "3.5"},
      {"a % 4", "3"},
      {"-a + 1", "-6"},
      {"--a", "7"},
      {"1 << 4 + 1", "32"},  // additive binds tighter than shift
      {"256 >> 2", "64"},
      {"NOT 0 = 1", "1"},    // (NOT 0) = 1
      {"NOT a", "0"},
      {"a > 5 AND b < 3", "1"},
      {"a > 5 AND b > 3 OR 1", "1"},
      {"0 OR 0 AND 1", "0"},
      {"a = 7", "1"},
      {"a <> 7", "0"},
      {"a != 8", "1"},
      {"a >= 7", "1"},
      {"a <= 6.5", "0"},
      {"n", "NULL"},
      {"n + 1", "NULL"},
      {"-n", "NULL"},
      {"n = 1", "NULL"},
      {"n IS NULL", "1"},
      {"n is not null", "0"},
      {"a IS NULL", "0"},
      {"n = 1 AND 0", "0"},  // NULL AND false is false
      {"n = 1 AND 1", "NULL"},
      {"n = 1 OR 1", "1"},
      {"n = 1 OR 0", "NULL"},
      {"NOT n", "NULL"},
      {"a / 0", "NULL"},
      {"a % 0", "NULL"},
      {"nosuchfield", "NULL"},
      {"nosuchfunction(1, 2)", "NULL"},
      {"", "NULL"},
      {"a +", "NULL"},
      {"'it''s'", "it's"},
      {"\"dq\"", "dq"},
      {"1.5.7", "1.5"},
      {"[a] * 2", "14"},
      {"A + [B]", "9.5"},
      {"s = 'Hello'", "1"},
      {"s < u", "1"},
      {"s = v", "0"},  // bytes: "Hello" is not "hello"
      {"t = 'Some text'", "1"},
      {"s", "Hello"},
      {"t", "Some text"},
      {"concat(s, ' ', u)", "Hello World"},
      {"SQRT(16) + sqrt(9)", "7"},
  });
}

TEST_F(ExpressionTest, ComparisonClassFollowsOperandTypes) {
  struct Kind {
    const char* text;
    const char* kind;
  };
  const std::vector<Kind> kinds = {
      {"a = a", "Int"},       {"a = b", "Double"},  {"a = 1", "Double"}, {"s = u", "Str"},
      {"s = 'x'", "Str"},     {"s = t", "Text"},    {"t = 'x'", "Text"}, {"s = a", "Double"},
      {"LENGTH(s) = a", "Int"},
  };
  for (const Kind& k : kinds) {
    auto root = zsql::CompileExpression(*mTable, k.text);
    const char* kind = dynamic_cast<OBL_Item_Func_Cmp_Text*>(root.get())     ? "Text"
                       : dynamic_cast<OBL_Item_Func_Cmp_Str*>(root.get())    ? "Str"
                       : dynamic_cast<OBL_Item_Func_Cmp_Int*>(root.get())    ? "Int"
                       : dynamic_cast<OBL_Item_Func_Cmp_Double*>(root.get()) ? "Double"
                                                                             : "none";
    EXPECT_STREQ(kind, k.kind) << k.text;
  }
  auto eq = zsql::CompileExpression(*mTable, "a = a");
  EXPECT_NE(dynamic_cast<OBL_Item_Func_Equal_Int*>(eq.get()), nullptr);
  auto ge = zsql::CompileExpression(*mTable, "s >= u");
  EXPECT_NE(dynamic_cast<OBL_Item_Func_GreaterEqual_Str*>(ge.get()), nullptr);
}

TEST_F(ExpressionTest, ItemKindsTypesAndStates) {
  auto number = zsql::CompileExpression(*mTable, "2");
  EXPECT_EQ(number->GetKind(), OBL_ItemKind::kNumber);
  EXPECT_EQ(number->GetResultType(), OBL_ResultType::kDouble);
  EXPECT_EQ(number->GetState(), OBL_ItemState::kConstant);
  auto text = zsql::CompileExpression(*mTable, "'abc'");
  EXPECT_EQ(text->GetKind(), OBL_ItemKind::kString);
  EXPECT_EQ(text->GetLength(1), 3u);
  EXPECT_EQ(text->GetStringObject(1, 2), "ab");
  auto constant = zsql::CompileExpression(*mTable, "UPPER('x') + 1");
  EXPECT_EQ(constant->GetKind(), OBL_ItemKind::kFunction);
  EXPECT_EQ(constant->GetState(), OBL_ItemState::kConstant);
  auto sum = zsql::CompileExpression(*mTable, "a + 1");
  EXPECT_EQ(sum->GetState(), OBL_ItemState::kDependsOnRecord);
  EXPECT_TRUE(sum->DependsOn(N("a")));
  EXPECT_FALSE(sum->DependsOn(N("b")));
  EXPECT_EQ(zsql::CompileExpression(*mTable, "a + a")->GetResultType(), OBL_ResultType::kInteger);
  EXPECT_EQ(zsql::CompileExpression(*mTable, "a * 2")->GetResultType(), OBL_ResultType::kDouble);
  EXPECT_EQ(zsql::CompileExpression(*mTable, "")->GetKind(), OBL_ItemKind::kEmpty);
}

TEST_F(ExpressionTest, ScannerKeywordChecksums) {
  EXPECT_EQ(zsql::WordChecksum("OR"), 40973u);
  EXPECT_EQ(zsql::WordChecksum("AND"), 53591u);
  EXPECT_EQ(zsql::WordChecksum("NOT"), 61208u);
  EXPECT_EQ(zsql::WordChecksum("NULL"), 79860u);
  EXPECT_EQ(zsql::WordChecksum("IS"), 39697u);
  // Every function is found by its own name in any case, and no two share
  // a checksum.
  std::set<uint32_t> sums;
  for (const OBL_FunctionInfo& f : zsql::AllFunctions()) {
    EXPECT_EQ(zsql::FindFunction(f.mName), &f);
    sums.insert(zsql::WordChecksum(f.mName));
  }
  EXPECT_EQ(sums.size(), 64u);
  EXPECT_NE(zsql::FindFunction("sqrt"), nullptr);
  for (const char* notOne : {"NEG", "BIN", "RADIANS", "DEGREES", "ASINH", "ACOSH", "ATANH",
                             "CONVERT"}) {
    EXPECT_EQ(zsql::FindFunction(notOne), nullptr) << notOne;
  }
}

TEST_F(ExpressionTest, CompileErrorsAndOffsets) {
  struct ErrorCase {
    const char* text;
    int code;
    size_t offset;
  };
  const std::vector<ErrorCase> cases = {
      {"ROUND(1, 2, 3)", 608, 10},
      {"LOCATE('a')", 619, 10},
      {"SQRT()", 619, 5},
      {"POW(2; 3)", 618, 5},
      {"POW(2, 3", 608, 8},
      {"(1 + 2", 608, 6},
      {"a IS 5", 606, 5},
      {"a IS NOT", 606, 8},
      {"= 1", 604, 0},
      {"a =", 604, 3},
      {"a b", 604, 2},
      {"'open", 604, 0},
      {"1 = 2 = 3", 604, 6},
  };
  for (const ErrorCase& c : cases) {
    try {
      zsql::CompileExpression(*mTable, c.text);
      ADD_FAILURE() << c.text << " compiled";
    } catch (const xOBL_ExpressionError& e) {
      EXPECT_EQ(e.Code, c.code) << c.text;
      EXPECT_EQ(e.GetOffset(), c.offset) << c.text;
    }
  }
  EXPECT_EQ(CompileError("ROUND(1)"), 0);
  EXPECT_EQ(CompileError("round(1, 2)"), 0);
  EXPECT_EQ(CompileError("CONCAT(1, 2, 3, 4, 5, 6, 7)"), 0);
}

TEST_F(ExpressionTest, HostileTextsAreRefused) {
  const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_EQ(CompileError(deep), 604);
  EXPECT_EQ(CompileError(std::string(100000, '-') + "1"), 604);
  EXPECT_EQ(CompileError("SQRT(" + std::string(100000, '(')), 604);
  const std::string literal = "'" + std::string(10u << 20, 'x') + "'";
  EXPECT_EQ(CompileError(literal), 604);
  EXPECT_EQ(CompileError(std::string(10u << 20, '7')), 604);
  // Nesting within the limit is fine.
  EXPECT_EQ(Eval(std::string(100, '(') + "1" + std::string(100, ')')), "1");
}

}  // namespace
