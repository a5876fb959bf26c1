// Searches of a field by values: the field becomes indexed for good first,
// bounds are its values turned into keys, Booleans answer from their bits.
// And the unique and indexed flags: what an index becomes when they change.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <type_traits>

#include "kernel/indexes/index_factory.h"
#include "kernel/tables/numeric_fields.h"
#include "tests/indexes/index_build_fixture.h"

namespace ztest {
namespace {

using FieldSearchTest = IndexBuildTest;

TEST_F(FieldSearchTest, SearchMakesTheFieldIndexedForGood) {
  MakeTable({{kTypeShort, "age", 0}});
  for (int16_t v : {30, 10, 20, 10, -5, 30}) AddValue(v);
  FBL_BaseField& age = F(1);
  ASSERT_FALSE(age.HasFlag(kFieldIndexed));
  int16_t ten = 10;
  EXPECT_EQ((std::vector<REC_ID>{2, 4}), Members(*age.FindValue(&ten)));
  EXPECT_TRUE(age.HasFlag(kFieldIndexed));
  ASSERT_NE(nullptr, age.GetIndex());
  ASSERT_EQ(1u, mFactory.mMade.size());
  EXPECT_EQ(1, mFactory.mMade[0]->mBuilds);
  EXPECT_EQ(6u, age.GetIndex()->GetEntryCount());

  // Later searches and records use the same index.
  AddValue<int16_t>(10);
  EXPECT_EQ((std::vector<REC_ID>{2, 4, 7}), Items(*age.FindValueAsSet(&ten)));
  EXPECT_EQ(1u, mFactory.mMade.size());
  int16_t nine = 9;
  EXPECT_TRUE(age.FindValue(&nine)->IsEmpty());
}

TEST_F(FieldSearchTest, RangeBoundsAreIncludedOrNotAndNullIsOpen) {
  MakeTable({{kTypeLong, "n", kFieldIndexed}});
  for (int32_t v : {5, -7, 12, 5, 0, 40}) AddValue(v);
  FBL_BaseField& n = F(1);
  int32_t five = 5, twelve = 12;
  EXPECT_EQ((std::vector<REC_ID>{1, 3, 4}), Members(*n.FindRange(&five, true, &twelve, true)));
  EXPECT_EQ((std::vector<REC_ID>{3}), Members(*n.FindRange(&five, false, &twelve, true)));
  EXPECT_EQ((std::vector<REC_ID>{1, 4}), Members(*n.FindRange(&five, true, &twelve, false)));
  EXPECT_EQ((std::vector<REC_ID>{2, 5, 1, 4}),
            Items(*n.FindRangeAsSet(nullptr, false, &five, true)));
  EXPECT_EQ((std::vector<REC_ID>{3, 6}), Items(*n.FindRangeAsSet(&five, false, nullptr, false)));
  EXPECT_EQ(6u, n.FindRange(nullptr, false, nullptr, false)->Count());
  EXPECT_EQ(n.GetTable()->GetMaxRecID(), n.FindValue(&five)->GetSize());
  // The field's own value is not a bound and stays as it was.
  int32_t own = 99;
  n.SetValue(&own);
  n.FindValue(&five);
  EXPECT_EQ(99, static_cast<BF_LONG&>(n).Get());
  EXPECT_TRUE(n.IsDirty());
}

TEST_F(FieldSearchTest, BooleansAnswerFromTheirBitsAmongAliveRecords) {
  MakeTable({{kTypeBoolean, "b", 0}});
  for (uint8_t v : {1, 0, 1, 1, 0}) AddValue(v);
  ASSERT_TRUE(mTable->GoToRecord(3));
  mTable->DeleteRecord();
  FBL_BaseField& b = F(1);
  uint8_t yes = 1, no = 0;
  EXPECT_EQ((std::vector<REC_ID>{1, 4}), Members(*b.FindValue(&yes)));
  EXPECT_EQ((std::vector<REC_ID>{2, 5}), Members(*b.FindValue(&no)));
  EXPECT_EQ((std::vector<REC_ID>{1, 2, 4, 5}), Members(*b.FindRange(&no, true, &yes, true)));
  EXPECT_TRUE(b.FindRange(&no, false, &yes, false)->IsEmpty());
  EXPECT_EQ((std::vector<REC_ID>{2, 5, 1, 4}), Items(*b.FindRangeAsSet(nullptr, 0, nullptr, 0)));
  EXPECT_EQ(nullptr, b.GetIndex());
}

TEST_F(FieldSearchTest, UniqueOverDuplicatesFailsAndKeepsTheFormerIndex) {
  MakeTable({{kTypeLong, "n", kFieldIndexed}});
  for (int32_t v : {1, 2, 2, 3}) AddValue(v);
  FBL_BaseField& n = F(1);
  EXPECT_EQ(344, ErrorCode([&] { n.AddFlags(kFieldUnique, true); }));
  EXPECT_TRUE(n.HasFlag(kFieldIndexed));
  EXPECT_FALSE(n.HasFlag(kFieldUnique));
  ASSERT_NE(nullptr, n.GetIndex());
  EXPECT_FALSE(n.GetIndex()->IsUnique());
  EXPECT_EQ(4u, n.GetIndex()->GetEntryCount());
  int32_t two = 2;
  EXPECT_EQ(2u, n.FindValue(&two)->Count());
  AddValue<int32_t>(2);  // still allowed
  EXPECT_EQ(5u, mTable->GetRecordCount());
}

TEST_F(FieldSearchTest, UniqueOnAFieldWithoutIndexFailsLeavingNone) {
  MakeTable({{kTypeLong, "n", 0}});
  for (int32_t v : {1, 1}) AddValue(v);
  FBL_BaseField& n = F(1);
  EXPECT_EQ(344, ErrorCode([&] { n.AddFlags(kFieldUnique, true); }));
  EXPECT_FALSE(n.HasFlag(kFieldIndexed) || n.HasFlag(kFieldUnique));
  EXPECT_EQ(nullptr, n.GetIndex());
}

TEST_F(FieldSearchTest, UniqueBitChangesReplaceTheIndex) {
  MakeTable({{kTypeLong, "n", kFieldIndexed}});
  for (int32_t v : {3, 1, 2}) AddValue(v);
  FBL_BaseField& n = F(1);
  n.AddFlags(kFieldUnique, true);
  ASSERT_NE(nullptr, n.GetIndex());
  EXPECT_TRUE(n.GetIndex()->IsUnique());
  EXPECT_EQ(3u, n.GetIndex()->GetEntryCount());
  EXPECT_EQ(344, ErrorCode([&] { AddValue<int32_t>(2); }));
  EXPECT_EQ(3u, mTable->GetRecordCount());

  n.RemoveFlags(kFieldUnique, true);
  EXPECT_TRUE(n.HasFlag(kFieldIndexed));
  ASSERT_NE(nullptr, n.GetIndex());
  EXPECT_FALSE(n.GetIndex()->IsUnique());
  EXPECT_EQ(3u, n.GetIndex()->GetEntryCount());
  AddValue<int32_t>(2);

  EXPECT_EQ(344, ErrorCode([&] { n.AddFlags(kFieldUnique, true); }));  // 2 twice
  n.RemoveFlags(kFieldIndexed, true);
  EXPECT_FALSE(n.HasFlag(kFieldIndexed) || n.HasFlag(kFieldUnique));
  EXPECT_EQ(nullptr, n.GetIndex());
}

// Unique pages compare integer keys inline: signed keys must sort negative
// values first, unsigned ones must sort values above the signed range last.
class IntegerKeyTest : public FieldSearchTest {
 protected:
  // The given values, then enough spread ones for many pages (whose first
  // keys the index keeps in memory), in a shuffled order.
  template <class T>
  void Check(uint8_t type, std::vector<T> values) {
    std::set<T> seen(values.begin(), values.end());
    std::vector<T> more;
    for (uint64_t i = 0; i < 5000; ++i) {
      const T v = std::is_signed_v<T> ? static_cast<T>(int64_t(i) * 7 - 17500)
                                      : static_cast<T>(i * 0x9E3779B97F4A7C15ull >> 7);
      if (seen.insert(v).second) more.push_back(v);
    }
    std::shuffle(more.begin(), more.end(), std::mt19937(3));
    values.insert(values.end(), more.begin(), more.end());
    MakeTable({{type, "k", kFieldUnique}}, &mRealFactory);
    for (T v : values) AddValue(v);
    FBL_BaseField& k = F(1);
    std::vector<REC_ID> byValue(values.size());
    std::iota(byValue.begin(), byValue.end(), REC_ID{1});
    std::sort(byValue.begin(), byValue.end(),
              [&](REC_ID a, REC_ID b) { return values[a - 1] < values[b - 1]; });
    EXPECT_EQ(byValue, Items(*k.FindRangeAsSet(nullptr, false, nullptr, false))) << int(type);
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ((std::vector<REC_ID>{REC_ID(i + 1)}), Members(*k.FindValue(&values[i])));
    }
    T zero = 0;
    EXPECT_EQ(size_t(std::count_if(values.begin(), values.end(), [](T v) { return v >= T{0}; })),
              k.FindRange(&zero, true, nullptr, false)->Count());
  }
  FBL_SecondaryIndexFactory mRealFactory;
};

TEST_F(IntegerKeyTest, UniqueShortKeysSortAsSignedNumbers) {
  Check<int16_t>(kTypeShort, {5, -1, 32767, -32768, 0, 300, -300});
}
TEST_F(IntegerKeyTest, UniqueULongKeysSortAsUnsignedNumbers) {
  Check<uint32_t>(kTypeULong, {7, 0xFFFFFFFFu, 0x80000000u, 0, 12});
}
TEST_F(IntegerKeyTest, UniqueLLongKeysSortAsSignedNumbers) {
  Check<int64_t>(kTypeLLong, {-1, INT64_MIN, INT64_MAX, 0, 1ll << 40});
}
TEST_F(IntegerKeyTest, UniqueULLongKeysSortAsUnsignedNumbers) {
  Check<uint64_t>(kTypeULLong, {1, ~0ull, 1ull << 63, 0});
}

}  // namespace
}  // namespace ztest
