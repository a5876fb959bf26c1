// Calculated fields through the kernel's formula seam: every result type
// into every stored type, indexes of calculated fields kept in step, and
// method texts compiled again when the table opens.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "tests/sql/sql_fixture.h"

namespace {

using ztest::SqlTest;

struct Source {
  uint8_t type;
  const char* text;
  int64_t asLong;    // read by a Long calculated field "src"
  double asDouble;   // by a Double one
  const char* asText;  // by a VarChar one
};

const uint64_t kDateTimeWord = (uint64_t{(2020u << 9) | (12u << 5) | 31u} << 32) |
                               ((23u << 12) | (59u << 6) | 58u);

const std::vector<Source> kSources = {
    {kTypeBoolean, "1", 1, 1, "1"},
    {kTypeByte, "200", 200, 200, "200"},
    {kTypeShort, "-5", -5, -5, "-5"},
    {kTypeUShort, "65535", 65535, 65535, "65535"},
    {kTypeMedium, "-100", -100, -100, "-100"},
    {kTypeUMedium, "16777215", 16777215, 16777215, "16777215"},
    {kTypeLong, "-7", -7, -7, "-7"},
    {kTypeULong, "4294967295", -1, 4294967295.0, "4294967295"},  // cut to 32 bits
    {kTypeLLong, "-9000000000", -410065408, -9000000000.0, "-9000000000"},
    {kTypeFloat, "1.5", 1, 1.5, "1.5"},
    {kTypeDouble, "-2.75", -2, -2.75, "-2.75"},
    {kTypeString, "42", 42, 42, "42"},
    {kTypeVarChar, "12", 12, 12, "12"},
    {kTypeText, "99", 99, 99, "99"},
    {kTypeDate, "03/15/2021", (2021 << 9) | (3 << 5) | 15, (2021 << 9) | (3 << 5) | 15,
     "03/15/2021"},
    {kTypeTime, "10:20:30", (10 << 12) | (20 << 6) | 30, (10 << 12) | (20 << 6) | 30, "10:20:30"},
    {kTypeDateTime, "12/31/2020 23:59:58", (23 << 12) | (59 << 6) | 58,
     static_cast<double>(kDateTimeWord), "12/31/2020 23:59:58"},
};

TEST_F(SqlTest, EveryResultTypeIntoEveryFieldType) {
  CreateDb();
  std::vector<ztest::NamedColumn> columns;
  std::vector<std::string> names;  // kept alive for the column names
  names.reserve(kSources.size() * 4 + 16);
  for (size_t i = 0; i < kSources.size(); ++i) {
    const std::string n = std::to_string(i);
    names.push_back("src" + n);
    names.push_back("l" + n);
    names.push_back("d" + n);
    names.push_back("t" + n);
  }
  for (size_t i = 0; i < kSources.size(); ++i) {
    const char* src = names[4 * i].c_str();
    columns.push_back({src, kSources[i].type, 0, 40});
    columns.push_back({names[4 * i + 1].c_str(), kTypeLong, 0, 0, src});
    columns.push_back({names[4 * i + 2].c_str(), kTypeDouble, 0, 0, src});
    columns.push_back({names[4 * i + 3].c_str(), kTypeVarChar, 0, 40, src});
  }
  // Expressions of each result type into types that convert them.
  const struct {
    uint8_t type;
    const char* method;
    const char* expected;
  } kExpressions[] = {
      {kTypeLong, "CONCAT('4', '2')", "42"},
      {kTypeDate, "FROM_DAYS(733321)", "10/07/2007"},
      {kTypeDouble, "7 / 2", "3.5"},
      {kTypeShort, "70000 + 1", "4465"},  // cut to 16 bits
      {kTypeByte, "LENGTH('abc')", "3"},
      {kTypeBoolean, "2 > 1", "1"},
      {kTypeString, "ROUND(2.5) * 2", "6"},
      {kTypeVarChar, "REPEAT('ab', 2)", "abab"},
      {kTypeText, "'no chains'", ""},  // BLOB-stored types are never calculated
      {kTypeLLong, "SQRT(-1)", ""},  // NULL reads as an empty text
  };
  for (size_t i = 0; i < std::size(kExpressions); ++i) {
    names.push_back("x" + std::to_string(i));
  }
  for (size_t i = 0; i < std::size(kExpressions); ++i) {
    columns.push_back(
        {names[4 * kSources.size() + i].c_str(), kExpressions[i].type, 0, 40, kExpressions[i].method});
  }
  MakeNamedTable(columns);
  for (size_t i = 0; i < kSources.size(); ++i) N(names[4 * i]).SetString(kSources[i].text);
  const REC_ID id = mTable->AddRecord();
  ASSERT_TRUE(mTable->GoToRecord(id));
  for (size_t i = 0; i < kSources.size(); ++i) {
    const Source& s = kSources[i];
    EXPECT_EQ(static_cast<int64_t>(N(names[4 * i + 1]).GetAsBits()), s.asLong) << int(s.type);
    EXPECT_DOUBLE_EQ(N(names[4 * i + 2]).GetAsDouble(), s.asDouble) << int(s.type);
    EXPECT_EQ(N(names[4 * i + 3]).GetString(), s.asText) << int(s.type);
  }
  for (size_t i = 0; i < std::size(kExpressions); ++i) {
    FBL_BaseField& field = N(names[4 * kSources.size() + i]);
    EXPECT_EQ(field.GetString(), kExpressions[i].expected) << kExpressions[i].method;
  }
  EXPECT_TRUE(N(names.back()).IsNull());
}

TEST_F(SqlTest, CalculatedFieldFollowsEveryChange) {
  CreateDb();
  MakeNamedTable({{"c", kTypeLong, 0, 0, "a * 2 + b"},  // before the fields it reads
                  {"a", kTypeLong},
                  {"b", kTypeLong, kFieldNullable}});
  for (int i = 1; i <= 3; ++i) {
    N("a").SetString(std::to_string(i).c_str());
    N("b").SetString("10");
    mTable->AddRecord();
  }
  ASSERT_TRUE(mTable->GoToRecord(2));
  EXPECT_EQ(N("c").GetString(), "14");
  N("a").SetString("5");
  mTable->UpdateRecord();
  EXPECT_EQ(N("c").GetString(), "20");
  N("b").SetNull(true);
  mTable->UpdateRecord();
  EXPECT_TRUE(N("c").IsNull());
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(N("c").GetString(), "16");
  // A text that does not compile reads as NULL.
  N("c").SetMethodText("a +* (", false);
  EXPECT_TRUE(N("c").IsNull());
}

TEST_F(SqlTest, IndexedCalculatedFieldStaysInStep) {
  CreateDb();
  MakeNamedTable({{"a", kTypeLong},
                  {"b", kTypeLong},
                  {"c", kTypeLong, kFieldIndexed, 0, "a * 2 + b"}});
  for (int i = 1; i <= 20; ++i) {
    N("a").SetString(std::to_string(i).c_str());
    N("b").SetString("1");
    mTable->AddRecord();
  }
  auto find = [&](int32_t value) { return Members(*N("c").FindValue(&value)); };
  EXPECT_EQ(find(11), (std::vector<REC_ID>{5}));
  ASSERT_TRUE(mTable->GoToRecord(5));
  N("a").SetString("100");
  mTable->UpdateRecord();
  EXPECT_TRUE(find(11).empty());
  EXPECT_EQ(find(201), (std::vector<REC_ID>{5}));
  // A field the formula does not read leaves the index alone; b does.
  ASSERT_TRUE(mTable->GoToRecord(6));
  N("b").SetString("0");
  mTable->UpdateRecord();
  EXPECT_EQ(find(12), (std::vector<REC_ID>{6}));
  EXPECT_TRUE(find(13).empty());
  mTable->DeleteRecordByID(6);
  EXPECT_TRUE(find(12).empty());
  EXPECT_EQ(N("c").GetIndex()->GetEntryCount(), 19u);
  // A unique calculated field refuses a record that would repeat a value.
  N("c").AddFlags(kFieldUnique, false);
  N("a").SetString("1");
  N("b").SetString("1");
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->AddRecord(); }), 344);
}

TEST_F(SqlTest, MethodTextCompilesAgainAtOpen) {
  CreateDb();
  MakeNamedTable({{"total", kTypeDouble, kFieldIndexed, 0, "price * qty"},
                  {"price", kTypeDouble},
                  {"qty", kTypeLong},
                  {"label", kTypeVarChar, 0, 30, "CONCAT(UPPER(name), ':', qty)"},
                  {"name", kTypeString, 0, 10}});
  N("price").SetString("2.5");
  N("qty").SetString("4");
  N("name").SetString("pen");
  mTable->AddRecord();
  Reopen();
  ASSERT_NE(N("total").GetFormula(), nullptr);
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(N("total").GetAsDouble(), 10.0);
  EXPECT_EQ(N("label").GetString(), "PEN:4");
  double ten = 10;
  EXPECT_EQ(Members(*N("total").FindValue(&ten)), (std::vector<REC_ID>{1}));
}

}  // namespace
