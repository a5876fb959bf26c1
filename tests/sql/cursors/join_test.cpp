// Joins of several tables: three tables through object pointers and through
// relational links, and outer joins, each compared with the same join
// computed by nested loops over random data.
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "sql/cursors/join_builder.h"
#include "sql/cursors/selection.h"
#include "sql/parser/select_parser.h"
#include "tests/sql/cursors/cursor_fixture.h"

namespace {

using ztest::Tuples;

class JoinTest : public ztest::CursorTest {
 protected:
  // The alive records of a table with their values of one field (as a
  // number; -1 for NULL or a null pointer).
  std::vector<std::pair<REC_ID, int>> Values(OBL_BaseObject& table, const std::string& field) {
    std::vector<std::pair<REC_ID, int>> out;
    for (REC_ID r : Alive(table)) {
      table.GetStore().GoToRecord(r);
      FBL_BaseField* f = table.GetField(field);
      out.emplace_back(r, f->IsNull() ? -1 : static_cast<int>(f->GetAsDouble()));
    }
    return out;
  }

  static Tuples Sorted(Tuples t) {
    std::sort(t.begin(), t.end());
    return t;
  }
};

// country <- city.country, city <- person.city; filters on each table.
TEST_F(JoinTest, ThreeTablesThroughObjectPointers) {
  OBL_BaseObject& country = mDb->MakeNewBaseObject("country");
  AddField(country, "code", kTypeLong);
  OBL_BaseObject& city = mDb->MakeNewBaseObject("city");
  AddField(city, "size", kTypeLong);
  AddPointer(city, "country", country, OBL_DeletionControl::kSetNull);
  OBL_BaseObject& person = mDb->MakeNewBaseObject("person");
  AddField(person, "age", kTypeLong);
  AddPointer(person, "city", city, OBL_DeletionControl::kSetNull);
  for (int i = 0; i < 8; ++i) Add(country, {std::to_string(Draw(0, 9))});
  for (int i = 0; i < 25; ++i) Add(city, {std::to_string(Draw(0, 9)), std::to_string(Draw(0, 9))});
  for (int i = 0; i < 120; ++i) Add(person, {std::to_string(Draw(0, 99)), std::to_string(Draw(0, 26))});

  for (int round = 0; round < 12; ++round) {
    const int age = Draw(0, 100), size = Draw(0, 10), code = Draw(-1, 9);
    const std::string sql = "SELECT person.age, city.size, country.code FROM person, city, country "
                            "WHERE person.city = city.RecID AND city.country = country.RecID AND "
                            "person.age < " + std::to_string(age) + " AND city.size <= " +
                            std::to_string(size) + " AND country.code > " + std::to_string(code);
    SCOPED_TRACE(sql);
    Tuples model;
    for (auto [p, pa] : Values(person, "age")) {
      if (pa >= age) continue;
      person.GetStore().GoToRecord(p);
      const REC_ID pc = static_cast<REC_ID>(person.GetField("city")->GetAsDouble());
      for (auto [c, cs] : Values(city, "size")) {
        if (c != pc || cs > size) continue;
        city.GetStore().GoToRecord(c);
        const REC_ID cc = static_cast<REC_ID>(city.GetField("country")->GetAsDouble());
        for (auto [k, kc] : Values(country, "code")) {
          if (k == cc && kc > code) model.push_back({p, c, k});
        }
      }
    }
    auto cursor = Open(sql);
    EXPECT_EQ(Sorted(ReadTuples(*cursor, 3)), Sorted(model));
    // Reading a row moves every table: the columns are the records' values.
    if (cursor->FirstRecord()) {
      person.GetStore().GoToRecord(cursor->GetRecID(1));
      EXPECT_EQ(Text(cursor->GetColumn(1)), person.GetField("age")->GetString());
    }
  }
}

// a.k = b.k and b.j = c.j: relational links, NULL keys join nothing.
TEST_F(JoinTest, ThreeTablesThroughRelationalLinks) {
  OBL_BaseObject& a = mDb->MakeNewBaseObject("a");
  AddField(a, "k", kTypeLong, 0, kFieldNullable);
  OBL_BaseObject& b = mDb->MakeNewBaseObject("b");
  AddField(b, "k", kTypeLong, 0, kFieldIndexed);
  AddField(b, "j", kTypeLong);
  OBL_BaseObject& c = mDb->MakeNewBaseObject("c");
  AddField(c, "j", kTypeLong);
  for (int i = 0; i < 30; ++i) {
    if (Draw(0, 9) == 0) {
      a.GetField("k")->SetNull(true);
      a.GetStore().AddRecord();
    } else {
      Add(a, {std::to_string(Draw(0, 12))});
    }
  }
  for (int i = 0; i < 30; ++i) Add(b, {std::to_string(Draw(0, 12)), std::to_string(Draw(0, 6))});
  for (int i = 0; i < 10; ++i) Add(c, {std::to_string(Draw(0, 6))});
  for (int round = 0; round < 8; ++round) {
    const int limit = Draw(0, 13);
    const std::string sql =
        "SELECT a.k, b.j FROM a, b, c WHERE a.k = b.k AND b.j = c.j AND a.k < " +
        std::to_string(limit);
    SCOPED_TRACE(sql);
    Tuples model;
    for (auto [ra, ka] : Values(a, "k")) {
      if (ka < 0 || ka >= limit) continue;
      for (auto [rb, kb] : Values(b, "k")) {
        if (kb != ka) continue;
        b.GetStore().GoToRecord(rb);
        const int jb = static_cast<int>(b.GetField("j")->GetAsDouble());
        for (auto [rc, jc] : Values(c, "j")) {
          if (jc == jb) model.push_back({ra, rb, rc});
        }
      }
    }
    auto cursor = Open(sql);
    EXPECT_EQ(Sorted(ReadTuples(*cursor, 3)), Sorted(model));
  }
}

// Left, right and full outer joins with missing partners on either side;
// the missing side reads NULL. Partners outside the other table's WHERE
// drop the row.
TEST_F(JoinTest, OuterJoins) {
  // Nullable: a missing partner's fields read NULL (others read blank).
  OBL_BaseObject& a = mDb->MakeNewBaseObject("a");
  AddField(a, "k", kTypeLong, 0, kFieldNullable);
  OBL_BaseObject& b = mDb->MakeNewBaseObject("b");
  AddField(b, "k", kTypeLong, 0, kFieldNullable);
  AddField(b, "v", kTypeLong);
  for (int i = 0; i < 25; ++i) Add(a, {std::to_string(Draw(0, 15))});
  for (int i = 0; i < 25; ++i) Add(b, {std::to_string(Draw(5, 20)), std::to_string(Draw(0, 9))});
  const auto av = Values(a, "k"), bk = Values(b, "k"), bv = Values(b, "v");

  struct Kind {
    const char* op;
    bool keepA, keepB;
  };
  for (const Kind& kind : {Kind{"*=", true, false}, Kind{"=*", false, true}, Kind{"*=*", true, true}}) {
    for (int round = 0; round < 4; ++round) {
      const int v = Draw(0, 10);
      const std::string sql = std::string("SELECT a.k, b.k FROM a, b WHERE a.k ") + kind.op +
                              " b.k AND b.v < " + std::to_string(v);
      SCOPED_TRACE(sql);
      Tuples model;
      for (auto [ra, ka] : av) {
        bool linked = false;
        for (size_t i = 0; i < bk.size(); ++i) {
          if (bk[i].second != ka) continue;
          linked = true;
          if (bv[i].second < v) model.push_back({ra, bk[i].first});
        }
        if (!linked && kind.keepA) model.push_back({ra, 0});
      }
      if (kind.keepB) {
        for (size_t i = 0; i < bk.size(); ++i) {
          if (bv[i].second >= v) continue;
          const bool linked = std::any_of(av.begin(), av.end(),
                                          [&](auto x) { return x.second == bk[i].second; });
          if (!linked) model.push_back({0, bk[i].first});
        }
      }
      if (!kind.keepA) {
        // Without a kept left side, only rows whose right record is selected.
        std::erase_if(model, [&](const std::vector<REC_ID>& t) { return t[1] == 0; });
      }
      auto cursor = Open(sql);
      EXPECT_EQ(Sorted(ReadTuples(*cursor, 2)), Sorted(model));
      for (bool more = cursor->FirstRecord(); more; more = cursor->NextRecord()) {
        if (cursor->GetRecID(1) == 0) {
          EXPECT_EQ(Text(cursor->GetColumn(1)), "NULL");
        }
        if (cursor->GetRecID(2) == 0) {
          EXPECT_EQ(Text(cursor->GetColumn(2)), "NULL");
        }
      }
    }
  }
}

TEST_F(JoinTest, EmptySelectionAndFromDistinct) {
  OBL_BaseObject& town = mDb->MakeNewBaseObject("town");
  AddField(town, "zip", kTypeLong);
  OBL_BaseObject& person = mDb->MakeNewBaseObject("person");
  AddField(person, "age", kTypeLong);
  AddPointer(person, "home", town, OBL_DeletionControl::kSetNull);
  const REC_ID t1 = Add(town, {"1"});
  Add(town, {"2"});
  for (int i = 0; i < 5; ++i) Add(person, {std::to_string(i), std::to_string(t1)});
  auto none = Open("SELECT person.age FROM person, town WHERE person.home = town.RecID AND zip > 5");
  EXPECT_EQ(none->GetRecordCount(), 0u);
  auto all = Open("SELECT town.zip FROM person, town WHERE person.home = town.RecID");
  EXPECT_EQ(all->GetRecordCount(), 5u);
  // The join walks the smaller selection only, and nothing when one is empty.
  for (const auto& [sql, walked] : std::vector<std::pair<std::string, uint64_t>>{
           {"SELECT person.age FROM person, town WHERE person.home = town.RecID AND zip > 5", 0},
           {"SELECT person.age FROM person, town WHERE person.home = town.RecID", 2}}) {
    OBL_Parser parser(*mDb);
    ASSERT_EQ(parser.Parse(sql), 0);
    const SQL_SelectStatement& stmt = parser.GetStatement();
    OBL_JoinSet_Builder builder(stmt, zsql::SelectionSets(stmt, {}));
    builder.Build();
    EXPECT_EQ(builder.GetWalkedCount(), walked) << sql;
  }
  // Joined without a condition: the pointer link is found by itself.
  auto automatic = Open("SELECT town.zip FROM town, person");
  EXPECT_EQ(automatic->GetRecordCount(), 5u);
}

}  // namespace
