// Index upkeep of FBL_IndexedTable through the fields' index interface,
// with an index double, and the record-lock words.
#include "kernel/tables/indexed_table.h"

#include <gtest/gtest.h>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/record_locks.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::FakeIndex;
using ztest::TableTest;

const std::vector<ztest::Column> kUniqueAndPlain = {
    {kTypeLong, kFieldUnique | kFieldNullable}, {kTypeLong, kFieldIndexed}, {kTypeLong, 0}};

FakeIndex& IndexOf(FBL_BaseField& field) {
  return *static_cast<FakeIndex*>(field.GetIndex());
}

}  // namespace

TEST_F(TableTest, IndexesOpenWithTheTableAndTakeEveryAdd) {
  CreateDb();
  MakeTable(kUniqueAndPlain);
  ASSERT_NE(F(1).GetIndex(), nullptr);
  ASSERT_NE(F(2).GetIndex(), nullptr);
  EXPECT_EQ(F(3).GetIndex(), nullptr);
  EXPECT_TRUE(F(1).HasFlag(kFieldIndexed));  // unique implies indexed
  for (int i = 1; i <= 3; ++i) {
    F(1).SetString(std::to_string(i));
    F(2).SetString("7");
    mTable->AddRecord();
  }
  EXPECT_EQ(IndexOf(F(1)).Keys().size(), 3u);
  EXPECT_EQ(IndexOf(F(2)).Keys().count(7), 3u);
}

TEST_F(TableTest, UniqueViolationOnAddChangesNothing) {
  CreateDb();
  MakeTable(kUniqueAndPlain);
  F(1).SetString("5");
  mTable->AddRecord();
  F(2).SetString("8");
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->AddRecord(); }), 344);
  EXPECT_EQ(mTable->GetRecordCount(), 1u);
  EXPECT_EQ(IndexOf(F(2)).Keys().size(), 1u);
  // Without the check the index still refuses, and the record goes again.
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->AddRecord(false); }), 344);
  EXPECT_EQ(mTable->GetRecordCount(), 1u);
  EXPECT_EQ(mTable->GetMaxRecID(), 1u);
  EXPECT_EQ(IndexOf(F(2)).Keys().size(), 1u);
  // A null value of a nullable unique field is never a duplicate.
  F(1).SetNull(true);
  EXPECT_FALSE(F(1).ValueExists());
}

TEST_F(TableTest, UpdateMovesChangedKeysOnly) {
  CreateDb();
  MakeTable(kUniqueAndPlain);
  for (int i = 1; i <= 2; ++i) {
    F(1).SetString(std::to_string(i * 10));
    F(2).SetString("1");
    mTable->AddRecord();
  }
  ASSERT_TRUE(mTable->GoToRecord(1));
  F(1).SetString("10");  // its own value: no duplicate
  mFactory.mLog.clear();
  mTable->UpdateRecord();
  EXPECT_TRUE(mFactory.mLog.empty());
  F(1).SetString("20");
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->UpdateRecord(); }), 344);
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(F(1).GetString(), "10");
  F(2).SetString("4");
  F(3).SetString("9");
  mTable->UpdateRecord();
  EXPECT_EQ(mFactory.mLog, (std::vector<std::string>{"remove f2 1 1", "insert f2 4 1"}));
  EXPECT_FALSE(F(2).HasOldValue());
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(F(3).GetString(), "9");
  EXPECT_EQ(IndexOf(F(2)).Keys().count(4), 1u);
}

TEST_F(TableTest, DeleteRemovesTheStoredKey) {
  CreateDb();
  MakeTable(kUniqueAndPlain);
  F(1).SetString("3");
  mTable->AddRecord();
  F(1).SetString("99");  // not written: the stored 3 is the key
  mFactory.mLog.clear();
  ASSERT_TRUE(mTable->DeleteRecord());
  EXPECT_EQ(mFactory.mLog[0], "remove f1 3 1");
  EXPECT_TRUE(IndexOf(F(1)).Keys().empty());
}

TEST_F(TableTest, DropIndexesAndKeepOnlyUnique) {
  CreateDb();
  MakeTable(kUniqueAndPlain);
  EXPECT_TRUE(mTable->DropNonUniqueIndexes());
  EXPECT_NE(F(1).GetIndex(), nullptr);
  EXPECT_EQ(F(2).GetIndex(), nullptr);
  mTable->OpenIndexes();
  EXPECT_NE(F(2).GetIndex(), nullptr);
  mTable->DropIndexes();
  EXPECT_EQ(F(1).GetIndex(), nullptr);
  EXPECT_EQ(F(2).GetIndex(), nullptr);
  F(1).RemoveFlags(kFieldUnique | kFieldIndexed, false);
  EXPECT_FALSE(mTable->DropNonUniqueIndexes());
}

TEST_F(TableTest, OldValueMachinery) {
  CreateDb();
  MakeTable({{kTypeLong, kFieldNullable}});
  auto& f = static_cast<BF_LONG&>(F(1));
  f.Set(5);
  mTable->AddRecord();
  f.Set(6);
  f.LoadOldValue();
  EXPECT_TRUE(f.IsChanged());
  f.SwapOldValue();
  EXPECT_EQ(f.Get(), 5);
  f.RestoreOldValue();
  EXPECT_EQ(f.Get(), 6);
  f.SetNull(true);
  EXPECT_TRUE(f.IsChanged());
  f.Set(5);
  EXPECT_FALSE(f.IsChanged());
  f.SaveOldValue();
  f.Set(1);
  f.SwapOldValue();
  EXPECT_EQ(f.Get(), 5);
}

// ---- lock words -----------------------------------------------------------------------

TEST(LockWords, Transitions) {
  uint32_t w = 0;
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kNone, 5));
  EXPECT_EQ(w, 0u);
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 5));
  EXPECT_EQ(w, 0xC0000005u);
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 5));
  EXPECT_EQ(w, 0xC0000005u);
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kWrite, 5));  // upgrade by the only reader
  EXPECT_EQ(w, 0x40000005u);
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kWrite, 5));
  EXPECT_FALSE(zv::LockWordAcquire(w, FBL_LockKind::kWrite, 6));
  EXPECT_FALSE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 6));
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 5));
  EXPECT_EQ(w, 0x40000005u);
  EXPECT_FALSE(zv::LockWordRelease(w, 6));
  EXPECT_TRUE(zv::LockWordRelease(w, 5));
  EXPECT_EQ(w, 0u);
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 5));
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 6));
  EXPECT_EQ(w, 0x80000002u);
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 7));
  EXPECT_EQ(w, 0x80000003u);
  EXPECT_FALSE(zv::LockWordAcquire(w, FBL_LockKind::kWrite, 5));
  EXPECT_TRUE(zv::LockWordRelease(w, 1));
  EXPECT_EQ(w, 0x80000002u);
  EXPECT_TRUE(zv::LockWordRelease(w, 1));
  EXPECT_TRUE(zv::LockWordRelease(w, 1));
  EXPECT_EQ(w, 0u);
  EXPECT_TRUE(zv::LockWordRelease(w, 1));  // a free word stays free
  EXPECT_TRUE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 6));
  EXPECT_FALSE(zv::LockWordAcquire(w, FBL_LockKind::kWrite, 7));
  w = 0x80000000u | kLockOwnerMask;  // the reader count cannot spill into bit 30
  EXPECT_FALSE(zv::LockWordAcquire(w, FBL_LockKind::kRead, 1));
}

TEST_F(TableTest, TableLocksLiveInATemporaryFile) {
  CreateDb();
  MakeTable({{kTypeLong, 0}});
  EXPECT_FALSE(mTable->LockRecord(1, FBL_LockKind::kRead, 1));  // beyond MaxRecID
  EXPECT_TRUE(mTable->LockRecord(1, FBL_LockKind::kNone, 1));
  EXPECT_FALSE(mTable->UnlockRecord(1, 1));
  for (int i = 0; i < 3; ++i) mTable->AddRecord();
  EXPECT_FALSE(mTable->IsRecordLocked(2));
  EXPECT_TRUE(mTable->LockRecord(2, FBL_LockKind::kWrite, 9));
  EXPECT_TRUE(mTable->IsRecordLocked(2));
  EXPECT_TRUE(mTable->CanModifyRecord(2));  // only read locks stop changes
  EXPECT_FALSE(mTable->LockRecord(2, FBL_LockKind::kWrite, 8));
  EXPECT_FALSE(mTable->LockRecord(0, FBL_LockKind::kWrite, 8));
  EXPECT_EQ(mTable->AddRecord(), 4u);
  EXPECT_FALSE(mTable->IsRecordLocked(4));
  EXPECT_TRUE(mTable->LockRecord(4, FBL_LockKind::kRead, 8));
  ASSERT_TRUE(mTable->GoToRecord(4));
  EXPECT_FALSE(mTable->DeleteRecord());
  EXPECT_TRUE(mTable->DeleteRecord(true));  // shrinks the lock file with the map
  EXPECT_EQ(mTable->AddRecord(), 4u);
  EXPECT_FALSE(mTable->IsRecordLocked(4));
  EXPECT_TRUE(mTable->IsRecordLocked(2));
  mTable->Reopen();
  EXPECT_FALSE(mTable->IsRecordLocked(2));
}
