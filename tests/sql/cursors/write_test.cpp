// Changes through cursors: reads and writes reach the base records, the
// read-only refusals (605), unique clashes (344), record locks between two
// cursors (363), and cursors that outlive their tables or their database.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sql/cursors/cursor_fixture.h"

namespace {

using ztest::Rows;

class WriteTest : public ztest::CursorTest {
 protected:
  void SetUp() override {
    CursorTest::SetUp();
    OBL_BaseObject& t = mDb->MakeNewBaseObject("t");
    AddField(t, "n", kTypeLong);
    AddField(t, "u", kTypeLong, 0, kFieldUnique);
    for (int i = 1; i <= 4; ++i) Add(t, {std::to_string(i), std::to_string(i * 100)});
  }
  OBL_BaseObject& T() { return Table("t"); }
};

TEST_F(WriteTest, ChangesReachTheBaseRecords) {
  auto cursor = Open("SELECT n, u FROM t WHERE n >= 2 ORDER BY n DESC");
  ASSERT_EQ(cursor->GetRecordCount(), 3u);
  EXPECT_FALSE(cursor->IsReadOnly());
  // Row 1 is n = 4.
  cursor->GetColumn(1)->SetString("40");
  ASSERT_TRUE(cursor->UpdateRecord());
  EXPECT_EQ(Value(T(), 4, "n"), "40");

  ASSERT_TRUE(cursor->GoToRecord(2));
  ASSERT_TRUE(cursor->DeleteRecord());
  EXPECT_EQ(Alive(T()), (std::vector<REC_ID>{1, 2, 4}));
  EXPECT_EQ(cursor->GetCurrentPosition(), 2u);
  EXPECT_EQ(Text(cursor->GetColumn(1)), "2");

  cursor->GetColumn(1)->SetString("9");
  cursor->GetColumn(2)->SetString("900");
  ASSERT_TRUE(cursor->AddRecord());
  EXPECT_EQ(cursor->GetRecordCount(), 3u);
  EXPECT_EQ(cursor->GetCurrentPosition(), 3u);
  EXPECT_EQ(Value(T(), cursor->GetRecID(1), "u"), "900");

  // Every row takes the current row's changed value; a unique field cannot.
  cursor->GetColumn(2)->SetString("7");
  EXPECT_FALSE(cursor->UpdateAllRecords());
  EXPECT_EQ(cursor->GetError(), 344);
  ASSERT_TRUE(cursor->FirstRecord());
  cursor->GetColumn(1)->SetString("5");
  ASSERT_TRUE(cursor->UpdateAllRecords());
  for (REC_ID r : Alive(T())) {
    if (r != 1) {
      EXPECT_EQ(Value(T(), r, "n"), "5");
    }
  }
  ASSERT_TRUE(cursor->DeleteAllRecords());
  EXPECT_EQ(Alive(T()), (std::vector<REC_ID>{1}));
  EXPECT_EQ(cursor->GetRecordCount(), 0u);
}

TEST_F(WriteTest, ReadOnlyCursorsRefuse) {
  const std::vector<std::pair<std::string, uint8_t>> cases = {
      {"SELECT DISTINCT n FROM t", 1}, {"SELECT count(*) FROM t", 1}, {"SELECT n FROM t", 2}};
  for (const auto& [sql, lockMode] : cases) {
    SCOPED_TRACE(sql);
    auto cursor = Open(sql, lockMode);
    EXPECT_TRUE(cursor->IsReadOnly());
    ASSERT_NE(cursor->GetColumn(1), nullptr);
    using Op = bool (*)(OBL_Cursor&);
    for (Op op : {+[](OBL_Cursor& c) { return c.UpdateRecord(); },
                  +[](OBL_Cursor& c) { return c.AddRecord(); },
                  +[](OBL_Cursor& c) { return c.DeleteRecord(); },
                  +[](OBL_Cursor& c) { return c.DeleteAllRecords(); },
                  +[](OBL_Cursor& c) { return c.UpdateAllRecords(); }}) {
      EXPECT_FALSE(op(*cursor));
      EXPECT_EQ(cursor->GetError(), 605);
    }
    cursor->SetReadOnly(0);
    EXPECT_TRUE(cursor->IsReadOnly());
  }
  EXPECT_EQ(Alive(T()).size(), 4u);
  auto writable = Open("SELECT n FROM t");
  writable->SetReadOnly(1);
  EXPECT_FALSE(writable->UpdateRecord());
  EXPECT_EQ(writable->GetError(), 605);
}

TEST_F(WriteTest, LockConflictsBetweenTwoCursors) {
  auto a = Open("SELECT n FROM t", 3);
  auto b = Open("SELECT n FROM t", 3);
  // a holds record 1 since its Execute; b stands on it too but got no lock.
  EXPECT_TRUE(T().GetStore().IsRecordLocked(1));
  b->GetColumn(1)->SetString("11");
  EXPECT_FALSE(b->UpdateRecord());
  EXPECT_EQ(b->GetError(), 363);
  EXPECT_EQ(Value(T(), 1, "n"), "1");
  ASSERT_TRUE(b->NextRecord());
  EXPECT_FALSE(b->DeleteAllRecords());
  EXPECT_EQ(b->GetError(), 363);
  EXPECT_EQ(Alive(T()).size(), 4u);

  // a moves on: record 1 is free, record 2 (b's) is refused to a.
  ASSERT_TRUE(a->NextRecord());
  EXPECT_FALSE(T().GetStore().IsRecordLocked(1));
  EXPECT_FALSE(a->UpdateRecord());
  EXPECT_EQ(a->GetError(), 363);
  ASSERT_TRUE(b->FirstRecord());
  b->GetColumn(1)->SetString("11");
  EXPECT_TRUE(b->UpdateRecord());
  EXPECT_EQ(Value(T(), 1, "n"), "11");
  b->ReleaseLock();
  EXPECT_FALSE(T().GetStore().IsRecordLocked(1));
  // A cursor without locks is refused what another one holds.
  ASSERT_TRUE(a->GoToRecord(2));
  auto plain = Open("SELECT n FROM t WHERE n = 2", 1);
  EXPECT_FALSE(plain->UpdateRecord());
  EXPECT_EQ(plain->GetError(), 363);
  a.reset();
  EXPECT_TRUE(plain->UpdateRecord());
}

TEST_F(WriteTest, DelimitedTextThroughCursors) {
  const std::string path = mDir.File("rows.txt");
  const auto read = [&] {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  auto some = Open("SELECT u, n FROM t WHERE n > 2");
  EXPECT_EQ(some->ExportText(path, '\t', '\n'), 2u);
  EXPECT_EQ(read(), "300\t3\n400\t4\n");
  auto counted = Open("SELECT count(*) FROM t");
  EXPECT_EQ(counted->ExportText(path, ',', '\n'), 1u);
  EXPECT_EQ(read(), "\"4\"\n");
  EXPECT_EQ(counted->ImportText(path, ',', '\n'), 0u);
  EXPECT_EQ(counted->GetError(), 605);

  std::ofstream(path, std::ios::binary) << "700\t7\n800\t8\n";
  EXPECT_EQ(some->ImportText(path, '\t', '\n'), 2u);
  EXPECT_EQ(some->GetRecordCount(), 4u);
  EXPECT_EQ(Alive(T()).size(), 6u);
  EXPECT_EQ(Value(T(), 6, "u"), "800");
  ASSERT_TRUE(some->LastRecord());
  EXPECT_EQ(Text(some->GetColumn(2)), "8");
}

TEST_F(WriteTest, CursorOutlivesTablesAndDatabase) {
  OBL_BaseObject& other = mDb->MakeNewBaseObject("other");
  AddField(other, "x", kTypeLong);
  Add(other, {"1"});
  OBL_BaseObject& third = mDb->MakeNewBaseObject("third");
  AddField(third, "y", kTypeLong);
  Add(third, {"2"});
  auto dropped = Open("SELECT x FROM other");
  auto aggregate = Open("SELECT count(*) FROM t");
  auto joined = Open("SELECT t.n, third.y FROM t, third WHERE t.n = third.y", 3);
  EXPECT_EQ(joined->GetRecordCount(), 1u);
  auto kept = Open("SELECT n FROM t", 3);
  EXPECT_EQ(mDb->GetCursorCount(), 4u);
  mDb->RemoveBaseObject(other);
  EXPECT_FALSE(dropped->FirstRecord());
  EXPECT_EQ(dropped->GetError(), 323);
  EXPECT_EQ(dropped->GetColumn(1), nullptr);
  EXPECT_EQ(kept->GetRecordCount(), 4u);

  mDb->Close();
  for (OBL_Cursor* cursor : {kept.get(), aggregate.get(), dropped.get(), joined.get()}) {
    EXPECT_FALSE(cursor->NextRecord());
    EXPECT_EQ(cursor->GetError(), 327);
    EXPECT_EQ(cursor->GetRecordCount(), 0u);
    EXPECT_FALSE(cursor->UpdateRecord());
    EXPECT_FALSE(cursor->Execute());
    EXPECT_EQ(cursor->GetDataBase(), nullptr);
  }
  mDb.reset();
  kept->SetSQL("SELECT n FROM t");
  EXPECT_EQ(kept->GetError(), 327);
}

}  // namespace
