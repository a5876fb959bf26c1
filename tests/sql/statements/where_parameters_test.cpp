// :N parameters in a WHERE: each case runs as a SELECT through a cursor
// (its rows and its count(*)), as INSERT ... SELECT, as UPDATE and as
// DELETE, and every answer is checked against an in-test model of the rows.
// Parameter values hold quotes, backslashes, NUL bytes, SQL keywords and
// ":N" texts; they are matched verbatim and never change the statement.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sql/cursors/cursor.h"
#include "tests/sql/statements/statement_fixture.h"

namespace {

using namespace std::string_literals;

struct Row {
  int id;
  std::optional<int> n;
  std::optional<std::string> s;
  std::optional<std::string> k;
  int d;  // yyyymmdd; 0: NULL
};

const std::vector<Row> kRows = {
    {1, 1, "plain", "alpha", 20240105},         {2, 2, "it's", "beta", 20240210},
    {3, 3, "back\\slash\\", "gamma", 20231231}, {4, 4, "nul\0x"s, "delta", 0},
    {5, 5, "nulx", "OR 1=1", 20240105},         {6, std::nullopt, "' OR '1'='1", "alpha", 20250601},
    {7, -7, std::nullopt, "SELECT", 20240301},  {8, 8, "say \"hi\"; --", std::nullopt, 20240106},
};

SQL_Param P(std::string_view bytes) {
  return {bytes, false};
}
const SQL_Param kNull = {{}, true};

// The date settings' default form: month/day/year.
std::string DateText(int d) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", d / 100 % 100, d % 100, d / 10000);
  return text;
}

class WhereParameters : public ztest::StatementTest {
 protected:
  void SetUp() override {
    StatementTest::SetUp();
    Create();
    Exec("CREATE TABLE t (id Long, n Long, s Text, k String(20) INDEXED, d Date, m Long)");
    Exec("CREATE TABLE copy (id Long)");
    for (const Row& r : kRows) Insert(r);
  }

  void Insert(const Row& r) {
    const std::string id = std::to_string(r.id), n = r.n ? std::to_string(*r.n) : "";
    const std::string d = r.d != 0 ? DateText(r.d) : "";
    Exec("INSERT INTO t VALUES (:1, :2, :3, :4, :5, 0)",
         {P(id), r.n ? P(n) : kNull, r.s ? P(*r.s) : kNull, r.k ? P(*r.k) : kNull,
          r.d != 0 ? P(d) : kNull});
  }

  // The ids of table's records (those with m = 1 when marked), sorted.
  std::vector<int> Ids(const std::string& table, bool marked = false) {
    std::vector<int> ids;
    for (const auto& row : Contents(table)) {
      if (!marked || row.back() == "1") ids.push_back(std::stoi(row[0]));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  // The ids a SELECT through a cursor answers, or its error code as -code.
  std::vector<int> Select(const std::string& where, const std::vector<SQL_Param>& params) {
    OBL_Cursor cursor(*mDb, 2, 2, 1);
    cursor.SetSQL("SELECT id FROM t WHERE " + where);
    cursor.SetParams(params);
    if (!cursor.Execute()) return {-cursor.GetError()};
    std::vector<int> ids;
    for (bool on = cursor.GetCurrentPosition() == 1; on; on = cursor.NextRecord())
      ids.push_back(std::stoi(cursor.GetColumn(1)->GetString()));
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  uint32_t Count(const std::string& where, const std::vector<SQL_Param>& params) {
    OBL_Cursor cursor(*mDb, 2, 2, 1);
    cursor.SetSQL("SELECT count(*) FROM t WHERE " + where);
    cursor.SetParams(params);
    if (!cursor.Execute()) return UINT32_MAX;
    return static_cast<uint32_t>(cursor.GetColumn(1)->GetAsBits());
  }
};

struct Case {
  std::string where;
  std::vector<SQL_Param> params;
  std::function<bool(const Row&)> keep;
};

TEST_F(WhereParameters, EveryStatementSelectsWhatTheModelKeeps) {
  const std::vector<SQL_Param> ten = {P("0"), P("0"), P("0"), P("0"), P("0"),
                                      P("0"), P("0"), P("0"), P("0"), P("8")};
  const std::string nul = "nul\0x"s;
  const Case cases[] = {
      // Numbers, ranges, IN lists; NULL compares with nothing.
      {"n = :1", {P("3")}, [](const Row& r) { return r.n == 3; }},
      {"n <> :1", {P("3")}, [](const Row& r) { return r.n && *r.n != 3; }},
      {"n > :1 AND n <= :2", {P("1"), P("5")}, [](const Row& r) { return r.n > 1 && r.n <= 5; }},
      {"n BETWEEN :2 AND :1",
       {P("2"), P("-10")},
       [](const Row& r) { return r.n && *r.n >= -10 && *r.n <= 2; }},
      {"NOT n BETWEEN :1 AND :2",
       {P("2"), P("5")},
       [](const Row& r) { return !(r.n && *r.n >= 2 && *r.n <= 5); }},
      {"n IN (:1, 5, :2)", {P("1"), kNull}, [](const Row& r) { return r.n == 1 || r.n == 5; }},
      {"n = :1", {kNull}, [](const Row&) { return false; }},
      {"NOT n = :1", {kNull}, [](const Row&) { return true; }},
      {"n BETWEEN :1 AND :2", {P("1"), kNull}, [](const Row&) { return false; }},
      {"n = :1 OR n = :1", {P("2")}, [](const Row& r) { return r.n == 2; }},
      {"n = :10", ten, [](const Row& r) { return r.n == 8; }},
      // Texts: matched verbatim, never read as statement text.
      {"s = :1", {P("it's")}, [](const Row& r) { return r.id == 2; }},
      {"s = :1", {P("back\\slash\\")}, [](const Row& r) { return r.id == 3; }},
      {"s = :1", {P(nul)}, [](const Row& r) { return r.id == 4; }},
      {"s = :1", {P("' OR '1'='1")}, [](const Row& r) { return r.id == 6; }},
      {"s = :1", {P("x' OR 1=1 --")}, [](const Row&) { return false; }},
      {"s = :1", {P("say \"hi\"; --")}, [](const Row& r) { return r.id == 8; }},
      {"s = :1", {P(":2"), P("plain")}, [](const Row&) { return false; }},
      {"s = :1 OR k = :2",
       {P("plain"), P("OR 1=1")},
       [](const Row& r) { return r.id == 1 || r.id == 5; }},
      {"k = :1", {P("SELECT")}, [](const Row& r) { return r.id == 7; }},
      {"k IN (:2, :1, 'gamma')",
       {P("beta"), P("alpha")},
       [](const Row& r) { return r.k == "alpha" || r.k == "beta" || r.k == "gamma"; }},
      {"k >= :1 AND k < :2", {P("b"), P("e")}, [](const Row& r) { return r.id == 2 || r.id == 4; }},
      {"LEFT(k, 2) = :1", {P("al")}, [](const Row& r) { return r.k == "alpha"; }},
      {"s LIKE :1", {P("nul%")}, [](const Row& r) { return r.id == 4 || r.id == 5; }},
      {"s LIKE :1 NO_CASE", {P("PLAIN")}, [](const Row& r) { return r.id == 1; }},
      {"s REGEX :1", {P("^ba.*\\\\$")}, [](const Row& r) { return r.id == 3; }},
      {"s LIKE :1", {kNull}, [](const Row&) { return false; }},
      // Dates, parsed as the field parses a literal.
      {"d = :1", {P("01/05/2024")}, [](const Row& r) { return r.d == 20240105; }},
      {"d >= :1 AND d < :2",
       {P("01/01/2024"), P("03/01/2024")},
       [](const Row& r) { return r.d >= 20240101 && r.d < 20240301; }},
      {"d IS NULL OR n = :1", {P("1")}, [](const Row& r) { return r.d == 0 || r.n == 1; }},
      // A sub-select reads the statement's parameters.
      {"n IN (SELECT n FROM t WHERE k = :1) OR n = :2",
       {P("alpha"), P("-7")},
       [](const Row& r) { return r.n == 1 || r.n == -7; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where + " with " + std::to_string(c.params.size()) + " values");
    std::vector<int> expected, left;
    for (const Row& r : kRows) (c.keep(r) ? expected : left).push_back(r.id);
    const uint32_t count = static_cast<uint32_t>(expected.size());
    EXPECT_EQ(Select(c.where, c.params), expected);
    EXPECT_EQ(Count(c.where, c.params), count);

    Exec("INSERT INTO copy SELECT id FROM t WHERE " + c.where, c.params);
    EXPECT_EQ(Ids("copy"), expected);
    Exec("DELETE FROM copy");

    std::vector<SQL_Param> marked = c.params;
    marked.push_back(P("1"));
    const std::string mark = ":" + std::to_string(marked.size());
    EXPECT_EQ(Exec("UPDATE t SET m = " + mark + " WHERE " + c.where, marked), count);
    EXPECT_EQ(Ids("t", true), expected);
    Exec("UPDATE t SET m = 0");

    EXPECT_EQ(Exec("DELETE FROM t WHERE " + c.where, c.params), count);
    EXPECT_EQ(Ids("t"), left);
    for (int id : expected) Insert(kRows[id - 1]);
    ASSERT_EQ(Ids("t").size(), kRows.size());
  }
}

TEST_F(WhereParameters, AValueBindsAsTheSameTextWrittenAsALiteralWould) {
  for (const std::string& text : {"abc"s, "7x"s, ""s, "99999999999"s, "8\0junk"s}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Select("n = :1", {P(text)}), Select("n = '" + text + "'", {}));
  }
  for (const std::string& text : {"13/45/2024"s, "garbage"s, "1/5/2024"s}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Select("d = :1", {P(text)}), Select("d = '" + text + "'", {}));
  }
  // Parameters stay with the cursor until set again; too few is 619.
  OBL_Cursor cursor(*mDb, 2, 2, 2);
  cursor.SetSQL("SELECT id FROM t WHERE n = :1 OR k IN (:2)");
  EXPECT_FALSE(cursor.Execute());
  EXPECT_EQ(cursor.GetError(), 619);
  cursor.SetParams(std::vector<SQL_Param>{P("2"), P("gamma")});
  ASSERT_TRUE(cursor.Execute());
  EXPECT_EQ(cursor.GetRecordCount(), 2u);
  EXPECT_EQ(cursor.GetRecords(1)->Count(), 2u);
  cursor.SetSQL("SELECT id FROM t WHERE k = :2");
  ASSERT_TRUE(cursor.Execute()) << cursor.GetError();
  EXPECT_EQ(cursor.GetRecordCount(), 1u);
  cursor.SetSQL("SELECT id FROM t WHERE n = :0");
  EXPECT_FALSE(cursor.Execute());
  EXPECT_EQ(cursor.GetError(), 619);
}

}  // namespace
