// Formulas and the tasks that run them: the 30 % rule of FBL_ApplyFormula
// (indexes dropped and built once, against upkeep per record), unique
// fields, NULL, calculated targets, states and progress; FBL_UseFormula
// with the collecting formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/formula.h"
#include "kernel/tables/formula_tasks.h"
#include "kernel/tables/language.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::ErrorCode;
using ztest::TableTest;

// f2 = f1 * 2: a calculated field without the expression layer.
class Double : public FBL_MethodFormula {
 public:
  explicit Double(FBL_BaseField& source) : mSource(source) {}
  bool Evaluate(REC_ID recID, FBL_BaseField& target) override {
    auto copy = zv::MakeField(kTypeLong, "copy", 0);
    copy->InitFromField(mSource);
    if (recID != 0) copy->ReadRecord(recID);
    FBL_BaseField& from = recID != 0 ? *copy : mSource;
    target.SetFromBits(from.GetAsBits() * 2, true);
    return false;
  }
  bool Uses(const FBL_BaseField& field) const override { return &field == &mSource; }

 private:
  FBL_BaseField& mSource;
};

class DoubleCompiler : public FBL_FormulaCompiler {
 public:
  std::unique_ptr<FBL_MethodFormula> Compile(const std::string&, FBL_Table& table,
                                             FBL_BaseField&) override {
    return std::make_unique<Double>(*table.GetField(1));
  }
};

class Progress : public FBL_TaskListener {
 public:
  void OnProgress(FBL_Task&, uint32_t percent) override { mPercents.push_back(percent); }
  std::vector<uint32_t> mPercents;
};

class FormulaTaskTest : public TableTest {
 protected:
  // f1 Long indexed, f2 = f1 * 2 calculated and indexed, f3 Long unique
  // nullable; records 1..100 with f1 = f3 = the RecID.
  void MakeRecords() {
    CreateDb();
    MakeTable([this](FBL_Table& table) {
      table.SetFormulaCompiler(&mCompiler);
      table.AddField(zv::MakeField(kTypeLong, "f1", kFieldIndexed));
      auto calculated = zv::MakeField(kTypeLong, "f2", kFieldIndexed);
      calculated->SetMethodText("f1 * 2", false);
      table.AddField(std::move(calculated));
      table.AddField(zv::MakeField(kTypeLong, "f3", kFieldUnique | kFieldNullable));
    });
    for (int i = 1; i <= 100; ++i) {
      F(1).SetString(std::to_string(i));
      F(3).SetString(std::to_string(i));
      mTable->AddRecord();
    }
  }
  std::unique_ptr<FBL_BitSet> Records(REC_ID from, REC_ID to) {
    auto set = mTable->MakeEmptySet();
    set->IncludeRange(from, to);
    return set;
  }
  size_t Count(const std::string& prefix) const {
    return std::count_if(mFactory.mLog.begin(), mFactory.mLog.end(),
                         [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
  }
  int32_t Value(uint32_t field, REC_ID r) {
    auto copy = zv::MakeField(kTypeLong, "copy", 0);
    copy->InitFromField(F(field));
    copy->ReadRecord(r);
    return static_cast<int32_t>(copy->GetAsBits());
  }

  DoubleCompiler mCompiler;
};

TEST_F(FormulaTaskTest, ThirtyPercentRuleDropsAndBuildsOnce) {
  MakeRecords();
  ASSERT_TRUE(mTable->GoToRecord(50));
  const int32_t seven = 7;
  struct Run {
    REC_ID from, to;
    bool rebuilt;
  };
  // 29 records of 100: upkeep per record; 30: the rule applies.
  for (const Run& run : {Run{31, 59, false}, Run{1, 30, true}}) {
    mFactory.mLog.clear();
    FBL_ReplaceFormula formula(&seven, sizeof seven);
    FBL_ApplyFormula task(F(1), &formula, false, *Records(run.from, run.to));
    EXPECT_EQ(task.GetName(), "ApplyFormula");
    EXPECT_TRUE(zv::RunTask(task));
    EXPECT_EQ(task.GetState(), FBL_TaskState::kDone);
    EXPECT_EQ(task.RebuiltIndexes(), run.rebuilt);
    const size_t n = run.to - run.from + 1;
    if (run.rebuilt) {
      // Both indexes the change reaches go, and come back once each.
      EXPECT_EQ(Count("drop f1"), 1u);
      EXPECT_EQ(Count("drop f2"), 1u);
      EXPECT_EQ(Count("make f1"), 1u);
      EXPECT_EQ(Count("make f2"), 1u);
      EXPECT_EQ(Count("insert"), 0u);
      EXPECT_EQ(Count("remove"), 0u);
    } else {
      EXPECT_EQ(Count("drop"), 0u);
      EXPECT_EQ(Count("make"), 0u);
      EXPECT_EQ(Count("remove f1"), n);
      EXPECT_EQ(Count("insert f1 7"), n);
      EXPECT_EQ(Count("remove f2"), n);
      EXPECT_EQ(Count("insert f2 14"), n);
    }
    for (REC_ID r = run.from; r <= run.to; ++r) {
      EXPECT_EQ(Value(1, r), 7) << r;
      EXPECT_EQ(Value(2, r), 14) << r;
    }
  }
  EXPECT_EQ(Value(1, 60), 60);
  // The table's current record and its fields' buffers stay as they were
  // (record 50 was replaced on disk).
  EXPECT_EQ(mTable->GetCurrentRecID(), 50u);
  EXPECT_EQ(F(1).GetString(), "50");
  EXPECT_EQ(F(3).GetString(), "50");
}

TEST_F(FormulaTaskTest, UniqueNullCalculatedAndProgress) {
  MakeRecords();
  // A unique field keeps its index and stops at the first duplicate, the
  // records before it written.
  const int32_t fifty = 50, thousand = 1000;
  FBL_ReplaceFormula same(&thousand, sizeof thousand);
  FBL_ApplyFormula unique(F(3), &same, false, *Records(1, 100), "Replacing...");
  EXPECT_EQ(unique.GetName(), "Replacing...");
  EXPECT_EQ(ErrorCode([&] { zv::RunTask(unique); }), 344);
  EXPECT_FALSE(unique.RebuiltIndexes());
  EXPECT_EQ(Value(3, 1), 1000);
  EXPECT_EQ(Value(3, 2), 2);
  // NULL into a nullable field, through an array set, the formula owned.
  FBL_ArraySet some;
  some.Append(std::vector<REC_ID>{9, 4, 6});
  FBL_ApplyFormula nulls(F(3), new FBL_ReplaceFormula(), true, some);
  Progress progress;
  nulls.SetListener(&progress);
  EXPECT_TRUE(zv::RunTask(nulls));
  EXPECT_EQ(Members(*F(3).SelectNulls()), (std::vector<REC_ID>{4, 6, 9}));
  EXPECT_EQ(progress.mPercents.back(), 100u);
  EXPECT_EQ(nulls.mCounter1, 3u);
  // A calculated field has nothing to write.
  mFactory.mLog.clear();
  FBL_ApplyFormula calculated(F(2), new FBL_ReplaceFormula(&fifty, 4), true, *Records(1, 100));
  EXPECT_TRUE(zv::RunTask(calculated));
  EXPECT_EQ(calculated.GetState(), FBL_TaskState::kDone);
  EXPECT_TRUE(mFactory.mLog.empty());
  // Progress in hundredths of the set, ending at 100.
  Progress steps;
  FBL_ApplyFormula all(F(1), new FBL_ReplaceFormula(&fifty, 4), true, *Records(1, 100));
  all.SetListener(&steps);
  EXPECT_TRUE(zv::RunTask(all));
  EXPECT_EQ(steps.mPercents.size(), 100u);
  EXPECT_TRUE(std::is_sorted(steps.mPercents.begin(), steps.mPercents.end()));
}

TEST_F(TableTest, UseFormulaCollects) {
  CreateDb();
  MakeTable({{kTypeString, kFieldNullable, 20},
             {kTypeBLOB, kFieldNullable},
             {kTypeObjectPtr, 0}});
  const char* texts[] = {"apple", nullptr, "Banana", "cherry 42", ""};
  for (int i = 0; i < 5; ++i) {
    if (texts[i] != nullptr) {
      F(1).SetString(texts[i]);
    } else {
      F(1).SetNull(true);
    }
    const uint32_t none = 0;  // no BLOB
    if (i % 2 == 0) {
      static_cast<BF_BLOB&>(F(2)).SetData("data", 4);
    } else {
      F(2).SetValue(&none);
    }
    F(3).SetString(std::to_string(i * 3));  // points to records 0, 3, 6, 9, 12
    mTable->AddRecord();
  }
  auto all = mTable->SelectAllRecords();
  // A null value never matches, not even the empty pattern.
  for (const auto& [pattern, caseSensitive, expected] :
       std::vector<std::tuple<std::string, bool, std::vector<REC_ID>>>{
           {"", true, {1, 3, 4, 5}},
           {"^b", true, {}},
           {"^b", false, {3}},
           {"[[:digit:]]{2}$", true, {4}},
           {"^$", true, {5}}}) {
    FBL_RegExprFormula regex(pattern, caseSensitive, zv::AsciiLanguage(), mTable->GetMaxRecID());
    FBL_UseFormula use(F(1), &regex, false, *all);
    EXPECT_EQ(use.GetName(), "UseFormula");
    EXPECT_TRUE(zv::RunTask(use));
    EXPECT_EQ(Members(regex.GetResult()), expected) << pattern;
  }
  EXPECT_EQ(ErrorCode([&] {
              FBL_RegExprFormula bad("a(", true, zv::AsciiLanguage(), 5);
            }),
            305);
  FBL_FindNullBlobsFormula blobs(mTable->GetMaxRecID());
  FBL_UseFormula useBlobs(F(2), &blobs, false, *all);
  EXPECT_TRUE(zv::RunTask(useBlobs));
  EXPECT_EQ(Members(*blobs.TakeResult()), (std::vector<REC_ID>{2, 4}));
  EXPECT_TRUE(blobs.GetResult().IsEmpty());
  FBL_GetPointedFormula pointed(10);  // a target table of 10 records
  FBL_UseFormula usePointers(F(3), &pointed, false, *all);
  EXPECT_TRUE(zv::RunTask(usePointers));
  EXPECT_EQ(Members(pointed.GetResult()), (std::vector<REC_ID>{3, 6, 9}));
}

}  // namespace
