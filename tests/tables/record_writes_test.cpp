// Writes and reads by RecID at their edges: the keys that go are the
// stored ones, the current record and unsaved buffers stay, locks and dead
// RecIDs refuse, fields of another table are refused.
#include <gtest/gtest.h>

#include <algorithm>

#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/record_locks.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::ErrorCode;
using ztest::TableTest;

class RecordWritesTest : public TableTest {
 protected:
  BF_LONG& L(uint32_t position) { return static_cast<BF_LONG&>(F(position)); }
  void Add(int32_t a, int32_t b) {
    L(1).Set(a);
    L(2).Set(b);
    mTable->AddRecord();
  }
  bool Logged(const std::string& line) const {
    const auto& log = mFactory.mLog;
    return std::find(log.begin(), log.end(), line) != log.end();
  }
};

}  // namespace

TEST_F(RecordWritesTest, RecIDFormsKeepTheCurrentRecordAndRefuseWhatTheyMayNotDo) {
  CreateDb();
  MakeTable({{kTypeLong, kFieldUnique}, {kTypeLong, 0}, {kTypeLong, 0}});
  Add(10, 100);
  Add(20, 200);
  Add(30, 300);
  Add(40, 400);
  ASSERT_TRUE(mTable->GoToRecord(1));
  L(1).Set(99);  // an unsaved change of the current record

  // The stored key of record 2 goes, not the buffer's.
  mFactory.mLog.clear();
  EXPECT_TRUE(mTable->DeleteRecordByID(2));
  EXPECT_TRUE(Logged("remove f1 20 2"));
  EXPECT_EQ(mFactory.mLog.size(), 1u);
  EXPECT_EQ(mTable->GetCurrentRecID(), 1u);
  EXPECT_EQ(L(1).Get(), 99);
  EXPECT_TRUE(L(1).IsDirty());
  for (REC_ID dead : {0u, 2u, 9u}) EXPECT_FALSE(mTable->DeleteRecordByID(dead)) << dead;

  // A copy of a column writes record 3 alone; the index follows.
  auto copy = zv::MakeField(kTypeLong, "f1", 0);
  copy->InitFromField(F(1));
  FBL_BaseField* fields[] = {copy.get()};
  int32_t v = 33;
  copy->SetValue(&v);
  mFactory.mLog.clear();
  EXPECT_TRUE(mTable->UpdateFieldsByID(3, fields));
  EXPECT_EQ(mFactory.mLog, (std::vector<std::string>{"remove f1 30 3", "insert f1 33 3"}));
  // A value another record holds changes nothing.
  v = 40;
  copy->SetValue(&v);
  mFactory.mLog.clear();
  EXPECT_EQ(ErrorCode([&] { mTable->UpdateFieldsByID(3, fields); }), 344);
  EXPECT_TRUE(mFactory.mLog.empty());
  EXPECT_FALSE(copy->HasOldValue());
  EXPECT_FALSE(mTable->UpdateFieldsByID(2, fields));

  // Reads load the given fields only.
  FBL_BaseField* second[] = {&F(2)};
  EXPECT_TRUE(mTable->ReadFieldsByID(3, second));
  EXPECT_EQ(L(2).Get(), 300);
  EXPECT_EQ(L(1).Get(), 99);
  EXPECT_FALSE(mTable->ReadFieldsByID(2, second));
  ASSERT_TRUE(mTable->ReadFieldsByID(3, fields));
  EXPECT_EQ(static_cast<BF_LONG&>(*copy).Get(), 33);

  // A read lock stops both writes unless forced or unchecked.
  ASSERT_TRUE(mTable->LockRecord(4, FBL_LockKind::kRead, 5));
  L(3).Set(7);
  FBL_BaseField* third[] = {&F(3)};
  EXPECT_FALSE(mTable->UpdateFieldsByID(4, third));
  EXPECT_FALSE(mTable->DeleteRecordByID(4));
  EXPECT_TRUE(mTable->UpdateFieldsByID(4, third, false));
  EXPECT_TRUE(mTable->DeleteRecordByID(4, true));
  EXPECT_EQ(mTable->GetMaxRecID(), 3u);  // the files shrank behind the last record

  // Fields of another table, and none at all.
  FBL_IndexedTable other(*mDb, 2);
  other.AddField(zv::MakeField(kTypeLong, "g", 0));
  other.Open();
  FBL_BaseField* foreign[] = {other.GetField(1)};
  EXPECT_EQ(ErrorCode([&] { mTable->UpdateFieldsByID(1, foreign); }), 310);
  EXPECT_EQ(ErrorCode([&] { mTable->ReadFieldsByID(1, foreign); }), 310);
  FBL_BaseField* none[] = {nullptr};
  EXPECT_EQ(ErrorCode([&] { mTable->UpdateFieldsByID(1, none); }), 308);

  // The current record deleted by its RecID leaves none current.
  EXPECT_TRUE(mTable->DeleteRecordByID(1));
  EXPECT_EQ(mTable->GetCurrentRecID(), 0u);
  EXPECT_EQ(mTable->GetRecordCount(), 1u);
  copy.reset();
}
