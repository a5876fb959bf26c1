// DISTINCT, GROUP BY and aggregates against a straightforward evaluation
// of random statements over a random table, and ORDER BY: stability,
// descending order, several keys, and a sort larger than its memory budget.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/sql/cursors/cursor_fixture.h"

namespace {

using ztest::Rows;

struct Row {
  REC_ID rec;
  int a;           // 0..5
  std::string b;   // a few words, sometimes NULL
  double c;        // sometimes NULL
  bool bNull, cNull;
};

class GroupingTest : public ztest::CursorTest {
 protected:
  void MakeData(int count) {
    OBL_BaseObject& t = mDb->MakeNewBaseObject("t");
    AddField(t, "a", kTypeLong);
    AddField(t, "b", kTypeVarChar, 20, kFieldNullable);
    AddField(t, "c", kTypeDouble, 0, kFieldNullable);
    static const char* kWords[] = {"ant", "bee", "cat", "dog"};
    for (int i = 0; i < count; ++i) {
      Row r;
      r.a = Draw(0, 5);
      r.bNull = Draw(0, 7) == 0;
      r.cNull = Draw(0, 7) == 0;
      r.b = kWords[Draw(0, 3)];
      r.c = Draw(0, 8) * 0.5;
      t.GetField("a")->SetString(std::to_string(r.a));
      if (r.bNull) {
        t.GetField("b")->SetNull(true);
      } else {
        t.GetField("b")->SetString(r.b);
      }
      if (r.cNull) {
        t.GetField("c")->SetNull(true);
      } else {
        t.GetField("c")->SetFromDouble(r.c);
      }
      r.rec = t.GetStore().AddRecord();
      mRows.push_back(r);
    }
  }

  static std::string Number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
  }
  // A cursor's row with numbers in the model's form.
  static Rows Normalize(Rows rows, const std::vector<bool>& numeric) {
    for (auto& row : rows) {
      for (size_t i = 0; i < row.size(); ++i) {
        if (numeric[i] && row[i] != "NULL") row[i] = Number(std::stod(row[i]));
      }
    }
    return rows;
  }

  std::vector<Row> mRows;
};

TEST_F(GroupingTest, DistinctAgainstModel) {
  MakeData(150);
  for (int round = 0; round < 10; ++round) {
    const int limit = Draw(0, 6);
    const std::string sql = "SELECT DISTINCT b, a FROM t WHERE a < " + std::to_string(limit);
    SCOPED_TRACE(sql);
    std::set<std::pair<std::string, int>> model;
    for (const Row& r : mRows) {
      if (r.a < limit) model.emplace(r.bNull ? "NULL" : r.b, r.a);
    }
    auto cursor = Open(sql);
    Rows rows = ReadRows(*cursor);
    std::set<std::pair<std::string, int>> got;
    for (const auto& row : rows) got.emplace(row[0], std::stoi(row[1]));
    EXPECT_EQ(got, model);
    EXPECT_EQ(rows.size(), model.size());
    EXPECT_TRUE(cursor->IsReadOnly());
  }
}

TEST_F(GroupingTest, GroupByAgainstModel) {
  MakeData(200);
  const std::vector<std::string> wheres = {"", " WHERE a > 1", " WHERE b = 'cat'", " WHERE a > 99"};
  // Grouped by a, and over all rows at once (one row of no table).
  for (const bool grouped : {true, false}) {
    for (const std::string& where : wheres) {
      const std::string sql = std::string("SELECT ") + (grouped ? "a, " : "") +
                              "count(*), count(b), count(DISTINCT b), sum(c), avg(c), min(b), "
                              "max(c), sum(DISTINCT c) FROM t" + where +
                              (grouped ? " GROUP BY a" : "");
      SCOPED_TRACE(sql);
      struct Acc {
        int rows = 0, values = 0, cValues = 0;
        std::set<std::string> bs;
        std::set<double> cs;
        double sum = 0;
        std::string minB;
        double maxC = -1;
      };
      std::map<int, Acc> groups;
      for (const Row& r : mRows) {
        if (where == " WHERE a > 1" && r.a <= 1) continue;
        if (where == " WHERE b = 'cat'" && (r.bNull || r.b != "cat")) continue;
        if (where == " WHERE a > 99") continue;
        Acc& g = groups[grouped ? r.a : 0];
        ++g.rows;
        if (!r.bNull) {
          ++g.values;
          g.bs.insert(r.b);
          if (g.minB.empty() || r.b < g.minB) g.minB = r.b;
        }
        if (!r.cNull) {
          ++g.cValues;
          g.sum += r.c;
          g.cs.insert(r.c);
          g.maxC = std::max(g.maxC, r.c);
        }
      }
      Rows model;
      for (const auto& [a, g] : groups) {
        double distinctSum = 0;
        for (double c : g.cs) distinctSum += c;
        model.push_back({Number(g.rows), Number(g.values), Number(double(g.bs.size())),
                         g.cValues ? Number(g.sum) : "NULL",
                         g.cValues ? Number(g.sum / g.cValues) : "NULL",
                         g.minB.empty() ? "NULL" : g.minB, g.cValues ? Number(g.maxC) : "NULL",
                         g.cValues ? Number(distinctSum) : "NULL"});
        if (grouped) model.back().insert(model.back().begin(), Number(a));
      }
      if (groups.empty()) {
        // One row over no input: counts 0, the rest NULL.
        model.push_back(
            {Number(0), Number(0), Number(0), "NULL", "NULL", "NULL", "NULL", "NULL"});
        if (grouped) model.back().insert(model.back().begin(), "NULL");
      }
      std::vector<bool> numeric = {true, true, true, true, true, false, true, true};
      if (grouped) numeric.insert(numeric.begin(), true);
      auto cursor = Open(sql);
      EXPECT_EQ(Normalize(ReadRows(*cursor), numeric), model);
      // Off the rows and back: the values come again.
      EXPECT_EQ(Normalize(ReadRows(*cursor), numeric), model);
      EXPECT_TRUE(cursor->IsReadOnly());
      EXPECT_FALSE(cursor->UpdateRecord());
      EXPECT_EQ(cursor->GetError(), 605);
    }
  }
  // Ordered by a count, descending; equal counts stay in GROUP BY order.
  std::map<int, int> counts;
  for (const Row& r : mRows) ++counts[r.a];
  std::vector<std::pair<int, int>> byCount(counts.begin(), counts.end());
  std::stable_sort(byCount.begin(), byCount.end(),
                   [](auto x, auto y) { return x.second > y.second; });
  Rows ordered;
  for (auto [a, n] : byCount) ordered.push_back({std::to_string(a), std::to_string(n)});
  EXPECT_EQ(ReadRows(*Open("SELECT a, count(*) FROM t GROUP BY a ORDER BY 2 DESC")), ordered);
  // Without GROUP BY: one row over all rows.
  auto total = Open("SELECT count(*), min(a), max(a) FROM t");
  EXPECT_EQ(ReadRows(*total),
            (Rows{{std::to_string(mRows.size()), "0", "5"}}));
}

TEST_F(GroupingTest, OrderByStableDescendingAndSpilled) {
  MakeData(300);
  // A budget of a few kilobytes: every sort below spills to runs.
  for (uint64_t budget : {uint64_t{0}, uint64_t{4096}}) {
    FBL_SetSorterBudget(budget);
    SCOPED_TRACE("budget " + std::to_string(budget));
    struct Case {
      const char* sql;
      std::function<bool(const Row&, const Row&)> less;
    };
    const std::vector<Case> cases = {
        {"SELECT RecID, a FROM t ORDER BY a", [](const Row& x, const Row& y) { return x.a < y.a; }},
        {"SELECT RecID, a FROM t ORDER BY a DESC",
         [](const Row& x, const Row& y) { return x.a > y.a; }},
        {"SELECT RecID, a FROM t ORDER BY a DESC, b",
         [](const Row& x, const Row& y) {
           if (x.a != y.a) return x.a > y.a;
           // NULL sorts first.
           if (x.bNull != y.bNull) return x.bNull;
           return !x.bNull && x.b < y.b;
         }},
        {"SELECT RecID FROM t ORDER BY c DESC",
         [](const Row& x, const Row& y) {
           if (x.cNull != y.cNull) return y.cNull;
           return !x.cNull && x.c > y.c;
         }},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.sql);
      std::vector<Row> model = mRows;
      std::stable_sort(model.begin(), model.end(), c.less);
      auto cursor = Open(c.sql);
      Rows rows = ReadRows(*cursor);
      ASSERT_EQ(rows.size(), model.size());
      for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], std::to_string(model[i].rec)) << "row " << i;
      }
    }
  }
}

}  // namespace
