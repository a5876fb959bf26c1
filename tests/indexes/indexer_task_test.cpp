// The index build task: its name and states, its walk over the alive
// records, and what it leaves behind when it fails or is stopped.
#include <gtest/gtest.h>

#include <random>

#include "kernel/indexes/indexer_task.h"
#include "kernel/tables/numeric_fields.h"
#include "tests/indexes/index_build_fixture.h"

namespace ztest {
namespace {

class Recorder : public FBL_TaskListener {
 public:
  void OnProgress(FBL_Task& task, uint32_t percent) override {
    mStates.push_back(task.GetState());
    mPercents.push_back(percent);
    if (mStopAt != 0 && percent >= mStopAt) task.Stop();
  }
  std::vector<FBL_TaskState> mStates;
  std::vector<uint32_t> mPercents;
  uint32_t mStopAt = 0;
};

using IndexerTaskTest = IndexBuildTest;

// The index single inserts make, for comparison.
std::vector<SortedIndexDouble::Entry> SingleInserts(FBL_Table& table, FBL_BaseField& field) {
  SortedIndexDouble index(field, false);
  auto alive = table.SelectAllRecords();
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    field.ReadRecord(r);
    index.InsertValue(r);
  }
  return index.Entries();
}

TEST_F(IndexerTaskTest, NamedByTableAndFieldRunsInStateOneAndReportsEachPercent) {
  MakeTable({{kTypeLong, "age", 0}});
  for (int i = 0; i < 3000; ++i) AddValue<int32_t>((i * 7919) % 101);
  SortedIndexDouble index(F(1), false);
  FBL_IndexerTask task(index, F(1));
  EXPECT_EQ("Indexing: people:age", task.GetName());
  EXPECT_EQ(FBL_TaskState::kMade, task.GetState());
  Recorder recorder;
  task.SetListener(&recorder);
  EXPECT_TRUE(zv::RunTask(task));
  EXPECT_EQ(FBL_TaskState::kDone, task.GetState());
  ASSERT_EQ(100u, recorder.mPercents.size());
  for (uint32_t p = 1; p <= 100; ++p) EXPECT_EQ(p, recorder.mPercents[p - 1]);
  for (FBL_TaskState state : recorder.mStates) EXPECT_EQ(FBL_TaskState::kRunning, state);
  EXPECT_EQ(3000u, task.mCounter1);
  EXPECT_EQ(SingleInserts(*mTable, F(1)), index.Entries());
}

TEST_F(IndexerTaskTest, ManyBatchesOverHolesEqualSingleInserts) {
  MakeTable({{kTypeLong, "n", 0}, {kTypeDouble, "d", 0}});
  std::mt19937 random(3);
  for (int i = 0; i < 4000; ++i) {
    double d = static_cast<double>(random() % 300) / 7;
    F(2).SetValue(&d);
    AddValue<int32_t>(static_cast<int32_t>(random() % 500) - 250);
  }
  for (REC_ID r = 1; r <= 4000; r += 3) {
    ASSERT_TRUE(mTable->GoToRecord(r));
    mTable->DeleteRecord();
  }
  FBL_SetSorterBudget(2048);
  for (uint32_t position : {1u, 2u}) {
    SortedIndexDouble index(F(position), false);
    FBL_IndexerTask task(index, F(position));
    ASSERT_TRUE(zv::RunTask(task));
    EXPECT_EQ(mTable->GetRecordCount(), index.GetEntryCount());
    EXPECT_EQ(SingleInserts(*mTable, F(position)), index.Entries());
  }
}

TEST_F(IndexerTaskTest, EmptyTableEmptiesTheIndex) {
  MakeTable({{kTypeLong, "n", 0}});
  SortedIndexDouble index(F(1), false);
  int32_t v = 4;
  F(1).SetValue(&v);
  index.InsertValue(9);  // left from before: the build starts afresh
  FBL_IndexerTask task(index, F(1));
  EXPECT_TRUE(zv::RunTask(task));
  EXPECT_EQ(0u, index.GetEntryCount());
}

TEST_F(IndexerTaskTest, StoppedTaskLeavesAnEmptyIndex) {
  MakeTable({{kTypeLong, "n", 0}});
  for (int i = 0; i < 10000; ++i) AddValue<int32_t>(i % 17);
  SortedIndexDouble index(F(1), false);
  FBL_IndexerTask task(index, F(1));
  Recorder recorder;
  recorder.mStopAt = 30;
  task.SetListener(&recorder);
  EXPECT_FALSE(zv::RunTask(task));
  EXPECT_EQ(0u, index.GetEntryCount());
  EXPECT_LT(task.mCounter1, 10000u);
}

TEST_F(IndexerTaskTest, DuplicatesStopAUniqueBuildWith344AndEmptyIndex) {
  MakeTable({{kTypeLong, "n", 0}});
  for (int i = 0; i < 100; ++i) AddValue<int32_t>(i == 60 ? 5 : i);
  SortedIndexDouble index(F(1), true);
  FBL_IndexerTask task(index, F(1));
  EXPECT_EQ(344, ErrorCode([&] { zv::RunTask(task); }));
  EXPECT_EQ(FBL_TaskState::kDone, task.GetState());
  EXPECT_EQ(0u, index.GetEntryCount());
}

TEST_F(IndexerTaskTest, FieldKeepsItsRecordAndItsUnsavedValue) {
  MakeTable({{kTypeLong, "n", kFieldNullable}});
  for (int i = 1; i <= 50; ++i) AddValue<int32_t>(i * 10);
  auto& field = static_cast<BF_LONG&>(F(1));
  ASSERT_TRUE(mTable->GoToRecord(7));
  {
    SortedIndexDouble index(field, false);
    FBL_IndexerTask task(index, field);
    zv::RunTask(task);
  }
  EXPECT_EQ(7u, field.GetRecID());
  EXPECT_EQ(70, field.Get());
  EXPECT_FALSE(field.IsDirty());

  field.Set(-3);
  {
    SortedIndexDouble index(field, false);
    FBL_IndexerTask task(index, field);
    zv::RunTask(task);
  }
  EXPECT_EQ(-3, field.Get());
  EXPECT_TRUE(field.IsDirty());
  field.SetNull(true);
  {
    SortedIndexDouble index(field, false);
    FBL_IndexerTask task(index, field);
    zv::RunTask(task);
  }
  EXPECT_TRUE(field.IsNull());
}

}  // namespace
}  // namespace ztest
