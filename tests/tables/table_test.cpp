// Record storage: RecIDs, reuse, truncation, walks, fields, byte order.
#include "kernel/tables/table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/record_locks.h"
#include "kernel/tables/record_map.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::TableTest;

const std::vector<ztest::Column> kLongTable = {{kTypeLong, kFieldNullable}};

REC_ID AddLong(FBL_Table& table, int32_t v) {
  static_cast<BF_LONG*>(table.GetField(1))->Set(v);
  return table.AddRecord();
}

int32_t LongAt(FBL_Table& table, REC_ID r) {
  EXPECT_TRUE(table.GoToRecord(r));
  return static_cast<BF_LONG*>(table.GetField(1))->Get();
}

}  // namespace

TEST_F(TableTest, NewTableIsEmptyAndFirstRecordIsOne) {
  CreateDb();
  MakeTable(kLongTable);
  EXPECT_EQ(mTable->GetRecordCount(), 0u);
  EXPECT_EQ(mTable->GetMaxRecID(), 0u);
  EXPECT_FALSE(mTable->FirstRecord());
  EXPECT_FALSE(mTable->LastRecord());
  EXPECT_FALSE(mTable->NextRecord());
  EXPECT_FALSE(mTable->PrevRecord());
  EXPECT_EQ(mTable->SelectAllRecords()->Count(), 0u);
  EXPECT_EQ(AddLong(*mTable, 5), 1u);
  EXPECT_EQ(mTable->GetCurrentRecID(), 1u);
}

TEST_F(TableTest, DeletedRecIDIsReusedLowestFirst) {
  CreateDb();
  MakeTable(kLongTable);
  for (int i = 1; i <= 3; ++i) AddLong(*mTable, i * 10);
  ASSERT_TRUE(mTable->GoToRecord(2));
  ASSERT_TRUE(mTable->DeleteRecord());
  EXPECT_EQ(mTable->GetCurrentRecID(), 3u);  // the next alive one
  EXPECT_EQ(mTable->GetRecordCount(), 2u);
  EXPECT_FALSE(mTable->GoToRecord(2));
  EXPECT_EQ(mTable->GetCurrentRecID(), 3u);  // a dead record leaves the current one
  EXPECT_EQ(AddLong(*mTable, 99), 2u);
  EXPECT_EQ(mTable->GetMaxRecID(), 3u);
  EXPECT_EQ(LongAt(*mTable, 2), 99);
  EXPECT_EQ(LongAt(*mTable, 3), 30);
}

TEST_F(TableTest, DeletingTheLastRecordShrinksEveryFile) {
  CreateDb();
  MakeTable(kLongTable);
  for (int i = 1; i <= 20; ++i) AddLong(*mTable, i);
  for (REC_ID r = 11; r <= 19; ++r) {
    ASSERT_TRUE(mTable->GoToRecord(r));
    ASSERT_TRUE(mTable->DeleteRecord());
  }
  ASSERT_TRUE(mTable->GoToRecord(20));
  ASSERT_TRUE(mTable->DeleteRecord());
  EXPECT_EQ(mTable->GetMaxRecID(), 10u);
  EXPECT_EQ(mTable->GetRecordCount(), 10u);
  EXPECT_EQ(mTable->GetCurrentRecID(), 10u);
  EXPECT_EQ(static_cast<BF_LONG&>(F(1)).Get(), 10);
  // Added again, the record reads the new value, not the old slot's.
  EXPECT_EQ(AddLong(*mTable, -1), 11u);
  EXPECT_EQ(LongAt(*mTable, 11), -1);
  mTable->Reopen();
  EXPECT_EQ(mTable->GetMaxRecID(), 11u);
  EXPECT_EQ(mTable->SelectAllRecords()->Count(), 11u);
}

TEST_F(TableTest, DeletingTheOnlyRecordEmptiesTheMap) {
  CreateDb();
  MakeTable(kLongTable);
  AddLong(*mTable, 1);
  ASSERT_TRUE(mTable->DeleteRecord());
  EXPECT_EQ(mTable->GetRecordCount(), 0u);
  EXPECT_EQ(mTable->GetMaxRecID(), 0u);
  EXPECT_EQ(mTable->GetCurrentRecID(), 0u);
  EXPECT_FALSE(mTable->DeleteRecord());
  EXPECT_EQ(AddLong(*mTable, 2), 1u);
  EXPECT_FALSE(F(1).IsNull());
}

TEST_F(TableTest, WalksVisitAliveRecordsBothWays) {
  CreateDb();
  MakeTable(kLongTable);
  for (int i = 1; i <= 40; ++i) AddLong(*mTable, i);
  for (REC_ID r : {1u, 8u, 9u, 17u, 33u}) {
    ASSERT_TRUE(mTable->GoToRecord(r));
    ASSERT_TRUE(mTable->DeleteRecord());
  }
  std::vector<REC_ID> up, down;
  for (bool ok = mTable->FirstRecord(); ok; ok = mTable->NextRecord()) {
    up.push_back(mTable->GetCurrentRecID());
    EXPECT_EQ(static_cast<BF_LONG&>(F(1)).Get(), static_cast<int32_t>(up.back()));
  }
  EXPECT_EQ(mTable->GetCurrentRecID(), 40u);  // the walk's end keeps the current record
  for (bool ok = mTable->LastRecord(); ok; ok = mTable->PrevRecord()) {
    down.push_back(mTable->GetCurrentRecID());
  }
  EXPECT_EQ(up.size(), 35u);
  EXPECT_EQ(up.front(), 2u);
  EXPECT_EQ(std::vector<REC_ID>(up.rbegin(), up.rend()), down);
  auto all = mTable->SelectAllRecords();
  EXPECT_EQ(all->GetSize(), 40u);
  EXPECT_EQ(all->Count(), 35u);
  EXPECT_FALSE(all->IsMember(17));
  EXPECT_EQ(mTable->MakeEmptySet()->Count(), 0u);
  EXPECT_FALSE(mTable->GoToRecord(0));
  EXPECT_EQ(mTable->GetCurrentRecID(), 0u);
  EXPECT_FALSE(mTable->GoToRecord(41));
}

TEST_F(TableTest, DeleteAllRecordsLeavesAnOpenEmptyTable) {
  CreateDb();
  MakeTable(kLongTable);
  for (int i = 1; i <= 5; ++i) AddLong(*mTable, i);
  mTable->DeleteAllRecords();
  EXPECT_TRUE(mTable->IsOpened());
  EXPECT_EQ(mTable->GetRecordCount(), 0u);
  EXPECT_EQ(mTable->GetMaxRecID(), 0u);
  EXPECT_EQ(AddLong(*mTable, 7), 1u);
  EXPECT_EQ(LongAt(*mTable, 1), 7);
}

TEST_F(TableTest, FieldsGoInByNumberAndNullIsRefused) {
  CreateDb();
  mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->AddField(nullptr); }), 308);
  auto numbered = [](uint32_t n, const char* name) {
    auto f = zv::MakeField(kTypeLong, name, 0);
    f->ChangeNumber(n);
    return f;
  };
  mTable->AddField(numbered(5, "e"));
  mTable->AddField(numbered(2, "b"));
  mTable->AddField(numbered(9, "i"));
  mTable->AddField(numbered(3, "c"));
  FBL_BaseField& appended = Add(kTypeShort, "z");
  std::string order;
  for (uint32_t i = 1; i <= mTable->FieldCount(); ++i) order += F(i).GetName();
  EXPECT_EQ(order, "bceiz");
  // An appended field never takes the number, and so the files, of another.
  EXPECT_EQ(appended.GetFieldNumber(), 10u);
  EXPECT_EQ(mTable->GetField(0), nullptr);
  EXPECT_EQ(mTable->GetField(6), nullptr);
  auto removed = mTable->RemoveField(F(2));
  EXPECT_EQ(removed->GetName(), "c");
  EXPECT_EQ(mTable->FieldCount(), 4u);
}

TEST_F(TableTest, FieldAddedToAFilledTableReadsZeros) {
  CreateDb();
  MakeTable(kLongTable);
  for (int i = 1; i <= 3; ++i) AddLong(*mTable, i);
  auto& added = static_cast<BF_SHORT&>(Add(kTypeShort, "late"));
  ASSERT_TRUE(mTable->GoToRecord(2));
  EXPECT_EQ(added.Get(), 0);
  added.Set(12);
  mTable->UpdateRecord();
  EXPECT_EQ(LongAt(*mTable, 2), 2);
  EXPECT_EQ(added.Get(), 12);
}

TEST_F(TableTest, HeaderWordsFollowTheDatabaseByteOrder) {
  for (FBL_ByteOrder order : {FBL_ByteOrder::kDefault, FBL_ByteOrder::kBigEndian}) {
    CreateDb(order);
    MakeTable(kLongTable);
    for (int i = 1; i <= 3; ++i) AddLong(*mTable, i);
    ASSERT_TRUE(mTable->GoToRecord(2));
    mTable->DeleteRecord();
    mTable->Flush();
    FBL_BitSetFile raw(*mDb->GetRecordVolume(), 1, kKindRecordMap, 0, 8);
    raw.Open();
    uint8_t bytes[9];
    raw.SetPosition(0);
    raw.Read(bytes, 9);
    raw.Close();
    const uint8_t little[9] = {2, 0, 0, 0, 3, 0, 0, 0, 0x05};
    const uint8_t big[9] = {0, 0, 0, 2, 0, 0, 0, 3, 0x05};
    EXPECT_EQ(0, std::memcmp(bytes, order == FBL_ByteOrder::kDefault ? little : big, 9))
        << int(order);
    Reopen();
    EXPECT_EQ(mTable->GetRecordCount(), 2u);
    EXPECT_EQ(mTable->GetMaxRecID(), 3u);
    EXPECT_EQ(LongAt(*mTable, 3), 3);
    mTable.reset();
    mDb.reset();
    for (const char* ext : {".vdb", ".dat", ".ind"}) std::remove((Path() + ext).c_str());
  }
}

TEST_F(TableTest, ReadOnlyRecordsCannotBeModified) {
  CreateDb();
  MakeTable(kLongTable);
  AddLong(*mTable, 1);
  EXPECT_TRUE(mTable->CanModifyRecord(1));
  ASSERT_TRUE(mTable->LockRecord(1, FBL_LockKind::kRead, 7));
  EXPECT_FALSE(mTable->CanModifyRecord(1));
  static_cast<BF_LONG&>(F(1)).Set(50);
  mTable->UpdateRecord();
  EXPECT_FALSE(mTable->DeleteRecord());
  EXPECT_EQ(LongAt(*mTable, 1), 1);
  EXPECT_TRUE(mTable->UnlockRecord(1, 7));
  EXPECT_TRUE(mTable->CanModifyRecord(1));
  EXPECT_TRUE(mTable->DeleteRecord());
}
