// Moving over a cursor's rows: the navigation rules of random-access and
// forward-only cursors, empty cursors, and texts that do not parse.
#include <string>
#include <vector>

#include "tests/sql/cursors/cursor_fixture.h"

namespace {

class NavigationTest : public ztest::CursorTest {
 protected:
  void SetUp() override {
    CursorTest::SetUp();
    OBL_BaseObject& t = mDb->MakeNewBaseObject("t");
    AddField(t, "n", kTypeLong, 0, kFieldNullable);
    for (int i = 1; i <= 3; ++i) Add(t, {std::to_string(i * 10)});
  }
};

enum class Op { kFirst, kLast, kNext, kPrev, kGoTo };

struct Step {
  Op op;
  uint32_t arg;
  bool answer;
  uint32_t position;
  const char* value;  // column 1 afterwards
};

struct Case {
  const char* name;
  const char* sql;
  uint8_t direction;
  std::vector<Step> steps;
  uint8_t lockMode = 1;
};

TEST_F(NavigationTest, RulesOfBothDirections) {
  const std::vector<Case> cases = {
      {"random access",
       "SELECT n FROM t",
       2,
       {{Op::kNext, 0, true, 2, "20"},
        {Op::kNext, 0, true, 3, "30"},
        {Op::kNext, 0, false, 3, "30"},
        {Op::kPrev, 0, true, 2, "20"},
        {Op::kFirst, 0, true, 1, "10"},
        {Op::kPrev, 0, false, 1, "10"},
        {Op::kLast, 0, true, 3, "30"},
        {Op::kGoTo, 2, true, 2, "20"},
        {Op::kGoTo, 0, false, 0, "NULL"},
        {Op::kGoTo, 3, true, 3, "30"},
        {Op::kGoTo, 4, false, 0, "NULL"},
        {Op::kNext, 0, true, 1, "10"}}},
      {"forward only",
       "SELECT n FROM t",
       1,
       {{Op::kFirst, 0, true, 1, "10"},
        {Op::kNext, 0, true, 2, "20"},
        {Op::kPrev, 0, false, 2, "20"},
        {Op::kFirst, 0, false, 2, "20"},
        {Op::kLast, 0, true, 3, "30"},
        {Op::kNext, 0, false, 3, "30"}}},
      {"read-only, descending",
       "SELECT n FROM t ORDER BY n DESC",
       2,
       {{Op::kNext, 0, true, 2, "20"},
        {Op::kLast, 0, true, 3, "10"},
        {Op::kGoTo, 4, false, 0, "NULL"},
        {Op::kFirst, 0, true, 1, "30"}},
       2},
      {"empty",
       "SELECT n FROM t WHERE n > 100",
       2,
       {{Op::kFirst, 0, false, 0, "NULL"},
        {Op::kLast, 0, false, 0, "NULL"},
        {Op::kNext, 0, false, 0, "NULL"},
        {Op::kGoTo, 1, false, 0, "NULL"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto cursor = Open(c.sql, c.lockMode, c.direction);
    EXPECT_EQ(cursor->GetCurrentPosition(), cursor->GetRecordCount() == 0 ? 0u : 1u);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE("step " + std::to_string(i));
      const Step& s = c.steps[i];
      bool answer = false;
      switch (s.op) {
        case Op::kFirst: answer = cursor->FirstRecord(); break;
        case Op::kLast: answer = cursor->LastRecord(); break;
        case Op::kNext: answer = cursor->NextRecord(); break;
        case Op::kPrev: answer = cursor->PrevRecord(); break;
        case Op::kGoTo: answer = cursor->GoToRecord(s.arg); break;
      }
      EXPECT_EQ(answer, s.answer);
      EXPECT_EQ(cursor->GetCurrentPosition(), s.position);
      EXPECT_EQ(Text(cursor->GetColumn(1)), s.value);
    }
  }
}

TEST_F(NavigationTest, StatementAndErrors) {
  OBL_Cursor cursor(*mDb, 0, 1, 2);
  cursor.SetSQL("SELECT nothing FROM t");
  EXPECT_EQ(cursor.GetError(), 603);
  EXPECT_FALSE(cursor.Execute());
  EXPECT_EQ(cursor.GetError(), 603);
  EXPECT_FALSE(cursor.FirstRecord());
  EXPECT_EQ(cursor.GetRecordCount(), 0u);
  EXPECT_EQ(cursor.GetColumn(1), nullptr);

  cursor.SetSQL("SELECT n, n FROM t WHERE n >= 20");
  EXPECT_EQ(cursor.GetSQL(), "SELECT n, n FROM t WHERE n >= 20");
  ASSERT_TRUE(cursor.Execute());
  EXPECT_EQ(cursor.GetError(), 0);
  EXPECT_EQ(cursor.GetColumnCount(), 2u);
  EXPECT_EQ(cursor.GetRecordCount(), 2u);
  EXPECT_EQ(cursor.GetDataBase(), mDb.get());
  EXPECT_EQ(cursor.GetColumn(3), nullptr);
  EXPECT_EQ(ReadRows(cursor), (ztest::Rows{{"20", "20"}, {"30", "30"}}));
  cursor.BlankRecord();
  EXPECT_EQ(Text(cursor.GetColumn(1)), "NULL");
  EXPECT_EQ(mDb->GetCursorCount(), 1u);
}

TEST_F(NavigationTest, SubSelectAndLeftCondition) {
  OBL_BaseObject& u = mDb->MakeNewBaseObject("u");
  AddField(u, "m", kTypeLong);
  AddField(u, "s", kTypeVarChar, 20);
  Add(u, {"20", "abc"});
  Add(u, {"30", "abd"});
  Add(u, {"40", "xyz"});
  auto cursor = Open("SELECT n FROM t WHERE n IN (SELECT m FROM u WHERE LEFT(s, 2) = 'ab')");
  EXPECT_EQ(ReadRows(*cursor), (ztest::Rows{{"20"}, {"30"}}));
  cursor = Open("SELECT n FROM t WHERE NOT n IN (SELECT m FROM u)");
  EXPECT_EQ(ReadRows(*cursor), (ztest::Rows{{"10"}}));
}

}  // namespace
