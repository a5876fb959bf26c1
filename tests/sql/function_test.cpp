// The 64 functions, family by family: {call, expected text} over one
// record, typical and edge arguments; "NULL" for a null result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/storage/database.h"
#include "sql/expressions/function_table.h"
#include "tests/sql/sql_fixture.h"

namespace {

using ztest::SqlTest;

struct Call {
  const char* text;
  const char* expected;
};

class FunctionTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    CreateDb();
    MakeNamedTable({{"a", kTypeLong},
                    {"b", kTypeDouble},
                    {"s", kTypeString, 0, 20},
                    {"n", kTypeLong, kFieldNullable},
                    {"d", kTypeDate},
                    {"dt", kTypeDateTime},
                    {"tm", kTypeTime}});
    N("a").SetString("7");
    N("b").SetString("2.5");
    N("s").SetString("Hello");
    N("n").SetNull(true);
    N("d").SetString("03/15/2021");
    N("dt").SetString("12/31/2020 23:59:58");
    N("tm").SetString("10:20:30");
    mTable->AddRecord();
  }
  void Check(const std::vector<Call>& calls) {
    for (const Call& c : calls) EXPECT_EQ(Eval(c.text), c.expected) << c.text;
  }
};

TEST_F(FunctionTest, Numbers) {
  Check({
      {"ABS(-3)", "3"},           {"ABS(-a)", "7"},
      {"ABS(n)", "NULL"},         {"ACOS(1)", "0"},
      {"ACOS(2)", "NULL"},        {"ASIN(1)", "1.5707963267949"},
      {"ATAN(1)", "0.785398163397448"},
      {"CEILING(1.2)", "2"},      {"CEILING(-1.2)", "-1"},
      {"COS(0)", "1"},            {"COSH(0)", "1"},
      {"EXP(0)", "1"},            {"EXP(1000)", "NULL"},
      {"FLOOR(-1.5)", "-2"},      {"FLOOR(b)", "2"},
      {"LOG(1)", "0"},            {"LOG(0)", "NULL"},
      {"LOG(-1)", "NULL"},        {"LOG10(1000)", "3"},
      {"POW(2, 10)", "1024"},     {"POW(-8, 0.5)", "NULL"},
      {"ROUND(2.5)", "3"},        {"ROUND(-2.5)", "-3"},
      {"ROUND(1.2345, 2)", "1.23"},
      {"ROUND(1250, -2)", "1300"},
      {"ROUND(1.5, 400)", "1.5"}, {"ROUND(n)", "NULL"},
      {"ROUND(1, n)", "NULL"},    {"TRUNCATE(1.999, 2)", "1.99"},
      {"TRUNCATE(-1.999)", "-1"}, {"TRUNCATE(1299, -2)", "1200"},
      {"SIGN(-2)", "-1"},         {"SIGN(0)", "0"},
      {"SIGN(b)", "1"},           {"SIN(0)", "0"},
      {"SINH(0)", "0"},           {"SQRT(2)", "1.4142135623731"},
      {"SQRT(-1)", "NULL"},       {"SQUARE(3)", "9"},
      {"TAN(0)", "0"},            {"TANH(0)", "0"},
  });
}

TEST_F(FunctionTest, Texts) {
  Check({
      {"CONCAT(s, a)", "Hello7"},
      {"CONCAT('a', n)", "NULL"},
      {"LENGTH(s)", "5"},
      {"LENGTH('')", "0"},
      {"LEFT(s, 2)", "He"},
      {"LEFT(s, 0)", ""},
      {"LEFT(s, 99)", "Hello"},
      {"RIGHT(s, 3)", "llo"},
      {"RIGHT(s, -1)", ""},
      {"SUBSTR(s, 2)", "ello"},
      {"SUBSTR(s, 2, 3)", "ell"},
      {"SUBSTR(s, -3)", "llo"},
      {"SUBSTR(s, 0)", ""},
      {"SUBSTR(s, 9)", ""},
      {"SUBSTR(s, 1, 0)", ""},
      {"LOCATE('l', s)", "3"},
      {"LOCATE('l', s, 4)", "4"},
      {"LOCATE('z', s)", "0"},
      {"LOCATE('l', s, -1)", "0"},
      {"LOCATE('', s)", "1"},
      {"LOCATE('o', s, 6)", "0"},
      {"LOCATE('l', n)", "NULL"},
      {"INSERT('Quadratic', 3, 4, 'What')", "QuWhattic"},
      {"INSERT('Quadratic', -1, 4, 'What')", "Quadratic"},
      {"INSERT('Quadratic', 3, 100, 'What')", "QuWhat"},
      {"LOWER(s)", "hello"},
      {"UPPER(s)", "HELLO"},
      {"LPAD('hi', 5, 'ab')", "abahi"},
      {"LPAD('hello', 2, 'x')", "he"},
      {"LPAD('hi', 5, '')", "NULL"},
      {"RPAD('hi', 5, 'ab')", "hiaba"},
      {"RPAD('hi', -1, 'x')", "NULL"},
      {"LTRIM('  x  ')", "x  "},
      {"RTRIM('  x  ')", "  x"},
      {"TRIM('  x  ')", "x"},
      {"TRIM('   ')", ""},
      {"REPEAT('ab', 3)", "ababab"},
      {"REPEAT('ab', 0)", ""},
      {"REPEAT('ab', 100000000)", "NULL"},
      {"REPLACE('aXbXc', 'X', '--')", "a--b--c"},
      {"REPLACE('abc', '', 'x')", "abc"},
      {"REVERSE(s)", "olleH"},
      {"SPACE(3)", "   "},
      {"SPACE(-3)", ""},
      {"STRCSPN('abc1', '0123456789')", "3"},
      {"STRSPN('aab', 'a')", "2"},
      {"HEAD('user@host', '@')", "user"},
      {"TAIL('user@host', '@')", "host"},
      {"HEAD('x', '@')", "x"},
      {"TAIL('x', '@')", ""},
      {"DECODE(ENCODE('secret', 'key'), 'key')", "secret"},
      {"ENCODE('secret', 'key') = 'secret'", "0"},
      {"LENGTH(ENCODE('secret', 'key'))", "6"},
      {"IF(a > 5, 'big', 'small')", "big"},
      {"IF(n, 1, 2)", "2"},
      {"IF(0, 2, 3.5)", "3.5"},
      {"IFNULL(n, 'x')", "x"},
      {"IFNULL(a, 0)", "7"},
  });
}

TEST_F(FunctionTest, EncodeAndDecodeInvertEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  for (const char* key : {"", "k", "a longer key \xff"}) {
    auto make = [&](const char* name, std::unique_ptr<OBL_Item> text) {
      OBL_ItemList args;
      args.push_back(std::move(text));
      args.push_back(std::make_unique<OBL_Item_Str>(key));
      return zsql::FindFunction(name)->mMake(mDb->GetDateSettings(), std::move(args));
    };
    auto encoded = make("ENCODE", std::make_unique<OBL_Item_Str>(all));
    std::string once;
    encoded->GetString(0, once);
    EXPECT_EQ(once.size(), 256u);
    auto round = make("DECODE", std::move(encoded));
    std::string back;
    round->GetString(0, back);
    EXPECT_EQ(back, all) << key;
  }
}

TEST_F(FunctionTest, DatesAndTimes) {
  Check({
      {"YEAR(d)", "2021"},
      {"MONTH(d)", "3"},
      {"DAYOFMONTH(d)", "15"},
      {"DAYOFYEAR(d)", "74"},
      {"QUARTER(d)", "1"},
      {"WEEKDAY(d)", "0"},  // a Monday
      {"DAYOFWEEK(d)", "2"},
      {"DAYOFWEEK('03/14/2021')", "1"},  // a Sunday
      {"TO_DAYS('10/07/2007')", "733321"},
      {"TO_DAYS('01/01/1970')", "719528"},
      {"YEAR('1/2/05')", "2005"},  // widened by the century bound 20
      {"YEAR('1/2/50')", "1950"},
      {"YEAR('1/2/2050')", "2050"},
      {"YEAR('-1/2/300')", "-300"},
      {"YEAR('2/30/2020')", "NULL"},
      {"YEAR('2/29/2020')", "2020"},
      {"YEAR('nonsense')", "NULL"},
      {"YEAR(a)", "NULL"},
      {"YEAR(n)", "NULL"},
      {"YEAR(dt)", "2020"},
      {"MONTH(dt)", "12"},
      {"HOUR(dt)", "23"},
      {"MINUTE(dt)", "59"},
      {"SECOND(dt)", "58"},
      {"HOUR(tm)", "10"},
      {"TIME_TO_SEC(tm)", "37230"},
      {"YEAR(tm)", "NULL"},
      {"HOUR(d)", "0"},
      {"HOUR('12/31/2020 07:08:09')", "7"},
      {"TIME_TO_SEC('01:00:01')", "3601"},
      {"MINUTE('10:61:00')", "NULL"},
      {"WEEK('02/20/2008')", "7"},
      {"WEEK('02/20/2008', 0)", "7"},
      {"WEEK('02/20/2008', 1)", "8"},
      {"WEEK('12/31/2008', 1)", "53"},
      {"WEEK('01/01/2000', 0)", "0"},
      {"WEEK('01/01/2000', 2)", "52"},
      {"WEEK('12/31/2001', 3)", "1"},
      {"WEEK(d, n)", "NULL"},
      {"FROM_DAYS(733321)", "10/07/2007"},
      {"FROM_DAYS(10)", "NULL"},
      {"TO_DAYS(FROM_DAYS(730000))", "730000"},
      {"SEC_TO_TIME(3661)", "01:01:01"},
      {"SEC_TO_TIME(-90061)", "-25:01:01"},
      {"PERIOD_ADD(200801, 2)", "200803"},
      {"PERIOD_ADD(9912, 1)", "200001"},
      {"PERIOD_ADD(-1, 1)", "NULL"},
      {"PERIOD_DIFF(200802, 200703)", "11"},
  });
  // The database's own order and separators, as they are now.
  FBL_DateSettings settings = mDb->GetDateSettings();
  settings.mDateOrder = 2;
  settings.mDateSeparator = '-';
  settings.mTimeSeparator = '.';
  mDb->SetDateSettings(settings);
  Check({{"MONTH('2021-03-15')", "3"},
         {"FROM_DAYS(733321)", "2007-10-07"},
         {"SEC_TO_TIME(61)", "00.01.01"}});
  settings.mDateOrder = 1;
  settings.mCenturyBound = 0;
  mDb->SetDateSettings(settings);
  Check({{"MONTH('15/03/2021')", "3"}, {"YEAR('1/2/05')", "5"}});
}

}  // namespace
