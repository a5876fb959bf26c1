// Index builds with the real indexes: a bulk build holds what single
// inserts give, a build split into many batches gives the very same pages
// as one batch, an empty table gives an empty index; searches make a field
// indexed; unique flags and unique checks never let a duplicate in.
#include <gtest/gtest.h>

#include <random>

#include "kernel/indexes/index_factory.h"
#include "kernel/indexes/index_page.h"
#include "kernel/indexes/secondary_index.h"
#include "kernel/tables/numeric_fields.h"
#include "tests/indexes/index_build_fixture.h"

namespace ztest {
namespace {

std::string Name(std::mt19937& random) {
  std::string s(1 + random() % 12, 'a');
  for (char& c : s) c = static_cast<char>('a' + random() % 3);
  return s;
}

class BulkBuildTest : public IndexBuildTest {
 protected:
  void Make(const std::vector<std::tuple<uint8_t, std::string, uint16_t>>& fields) {
    MakeTable(fields, &mRealFactory);
  }
  FBL_SecondaryIndex& Index(FBL_BaseField& field) {
    auto* index = dynamic_cast<FBL_SecondaryIndex*>(field.GetIndex());
    if (index == nullptr) throw std::runtime_error("no index");
    return *index;
  }
  // Every page's (key, RecID) entries.
  std::vector<std::vector<std::pair<std::string, REC_ID>>> Pages(FBL_BaseField& field) {
    FBL_IndexPage& page = Index(field).GetPage();
    std::vector<std::vector<std::pair<std::string, REC_ID>>> pages;
    for (uint32_t n = 1; n <= page.PageCount(); ++n) {
      page.Load(n);
      auto& entries = pages.emplace_back();
      for (uint32_t i = 0; i < page.Count(); ++i) {
        const uint8_t* key = page.KeyAt(i);
        entries.emplace_back(
            std::string(reinterpret_cast<const char*>(key), field.GetKeyLength(key)),
            page.RecIDAt(i));
      }
    }
    return pages;
  }
  std::vector<REC_ID> InIndexOrder(FBL_BaseField& field) {
    auto set = field.GetIndex()->SelectRangeAsArray(false, nullptr, nullptr, false);
    auto items = set->GetItems();
    return std::vector<REC_ID>(items.begin(), items.end());
  }
  // Drops the field's index and builds it again.
  void Rebuild(FBL_BaseField& field) {
    field.RemoveFlags(kFieldIndexed, false);
    field.AddFlags(kFieldIndexed, false);
  }

  void CheckAgainstSingleInserts(uint8_t type);

  FBL_SecondaryIndexFactory mRealFactory;
};

// Field 1 is built in bulk, field 2 (the same values) kept by single
// inserts as records come and go.
void BulkBuildTest::CheckAgainstSingleInserts(uint8_t type) {
  Make({{type, "bulk", 0}, {type, "single", kFieldIndexed}});
  std::mt19937 random(type);
  for (int i = 0; i < 6000; ++i) {
    if (type == kTypeLong) {
      int32_t v = static_cast<int32_t>(random() % 900) - 450;
      F(1).SetValue(&v);
      F(2).SetValue(&v);
    } else {
      std::string s = Name(random);
      F(1).SetString(s);
      F(2).SetString(s);
    }
    mTable->AddRecord();
    if (random() % 5 == 0 && mTable->GoToRecord(1 + random() % (i + 1))) {
      mTable->DeleteRecord();
    }
  }
  F(1).AddFlags(kFieldIndexed, false);
  ASSERT_EQ(mTable->GetRecordCount(), F(1).GetIndex()->GetEntryCount());
  EXPECT_EQ(InIndexOrder(F(2)), InIndexOrder(F(1)));
  const auto onePass = Pages(F(1));
  EXPECT_GT(onePass.size(), 5u);

  FBL_SetSorterBudget(4096);
  Rebuild(F(1));
  EXPECT_EQ(onePass, Pages(F(1)));
}

TEST_F(BulkBuildTest, LongBulkEqualsSingleInsertsAndBatchesGiveTheSamePages) {
  CheckAgainstSingleInserts(kTypeLong);
}

TEST_F(BulkBuildTest, StringBulkEqualsSingleInsertsAndBatchesGiveTheSamePages) {
  CheckAgainstSingleInserts(kTypeString);
}

TEST_F(BulkBuildTest, ByWordsBuildEqualsSingleInserts) {
  Make({{kTypeString, "bulk", 0}, {kTypeString, "single", kFieldIndexed | kFieldByWords}});
  std::mt19937 random(8);
  for (int i = 0; i < 2000; ++i) {
    std::string s = Name(random) + " " + Name(random) + " " + Name(random);
    F(1).SetString(s);
    F(2).SetString(s);
    mTable->AddRecord();
  }
  FBL_SetSorterBudget(2048);
  F(1).AddFlags(kFieldIndexed | kFieldByWords, false);
  EXPECT_EQ(F(2).GetIndex()->GetEntryCount(), F(1).GetIndex()->GetEntryCount());
  EXPECT_EQ(InIndexOrder(F(2)), InIndexOrder(F(1)));
}

TEST_F(BulkBuildTest, EmptyTableGivesAnIndexWithoutPages) {
  Make({{kTypeLong, "n", 0}});
  F(1).AddFlags(kFieldIndexed, false);
  EXPECT_EQ(0u, F(1).GetIndex()->GetEntryCount());
  EXPECT_EQ(0u, Index(F(1)).GetPage().PageCount());
  int32_t v = 3;
  EXPECT_TRUE(F(1).FindValue(&v)->IsEmpty());
  REC_ID r = 9;
  EXPECT_FALSE(F(1).GetIndex()->FindFirst(reinterpret_cast<const uint8_t*>(&v), r));
  EXPECT_EQ(0u, r);
}

TEST_F(BulkBuildTest, SearchOnAFieldWithoutIndexLeavesItIndexed) {
  Make({{kTypeLong, "n", 0}, {kTypeString, "s", 0}});
  for (int i = 0; i < 500; ++i) {
    int32_t v = i % 50;
    F(1).SetValue(&v);
    F(2).SetString(std::to_string(i % 7));
    mTable->AddRecord();
  }
  int32_t seven = 7, nine = 9;
  EXPECT_EQ(30u, F(1).FindRange(&seven, true, &nine, true)->Count());
  EXPECT_TRUE(F(1).HasFlag(kFieldIndexed));
  char three[21] = "3";
  EXPECT_EQ(71u, F(2).FindValueAsSet(three)->Count());
  EXPECT_TRUE(F(2).HasFlag(kFieldIndexed));
  // Kept up to date from now on.
  F(1).SetValue(&seven);
  F(2).SetString("3");
  mTable->AddRecord();
  EXPECT_EQ(11u, F(1).FindValue(&seven)->Count());
  EXPECT_EQ(72u, F(2).FindValue(three)->Count());
}

TEST_F(BulkBuildTest, UniqueFlagOverDuplicatesKeepsTheFormerIndex) {
  Make({{kTypeLong, "n", kFieldIndexed}});
  for (int32_t v : {4, 8, 15, 16, 23, 42, 15}) AddValue(v);
  auto before = Pages(F(1));
  EXPECT_EQ(344, ErrorCode([&] { F(1).AddFlags(kFieldUnique, false); }));
  EXPECT_FALSE(F(1).HasFlag(kFieldUnique));
  EXPECT_FALSE(F(1).GetIndex()->IsUnique());
  EXPECT_EQ(before, Pages(F(1)));

  ASSERT_TRUE(mTable->GoToRecord(7));
  mTable->DeleteRecord();
  F(1).AddFlags(kFieldUnique, false);
  EXPECT_TRUE(F(1).GetIndex()->IsUnique());
  EXPECT_EQ(6u, F(1).GetIndex()->GetEntryCount());
}

TEST_F(BulkBuildTest, UniqueChecksRefuseDuplicatesAndChangeNothing) {
  Make({{kTypeLong, "id", kFieldUnique}, {kTypeLong, "other", kFieldIndexed}});
  auto& id = static_cast<BF_LONG&>(F(1));
  auto& other = static_cast<BF_LONG&>(F(2));
  for (int32_t v = 1; v <= 300; ++v) {
    id.Set(v);
    other.Set(v % 10);
    mTable->AddRecord();
  }
  const auto idPages = Pages(id), otherPages = Pages(other);
  id.Set(150);
  other.Set(77);
  EXPECT_EQ(344, ErrorCode([&] { mTable->AddRecord(); }));
  EXPECT_EQ(300u, mTable->GetRecordCount());
  EXPECT_EQ(idPages, Pages(id));
  EXPECT_EQ(otherPages, Pages(other));

  ASSERT_TRUE(mTable->GoToRecord(20));
  id.Set(21);
  other.Set(55);
  EXPECT_EQ(344, ErrorCode([&] { mTable->UpdateRecord(); }));
  ASSERT_TRUE(mTable->GoToRecord(20));
  EXPECT_EQ(20, id.Get());
  EXPECT_EQ(0, other.Get());
  EXPECT_EQ(idPages, Pages(id));
  EXPECT_EQ(otherPages, Pages(other));

  id.Set(20);  // its own value is no duplicate
  other.Set(5);
  mTable->UpdateRecord();
  int32_t five = 5;
  EXPECT_EQ(31u, other.FindValue(&five)->Count());
}

}  // namespace
}  // namespace ztest
