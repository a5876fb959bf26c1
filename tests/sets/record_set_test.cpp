// Hand-picked cases of the record sets: boundaries, conversions, iterator
// moves and the growth rules.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/sets/map_set.h"
#include "kernel/sets/set_iterator.h"
#include "platform/errors.h"
#include "tests/sets/set_model.h"

namespace {

using zorvane_test::WalkBackward;
using zorvane_test::WalkForward;
using Items = std::vector<REC_ID>;

// Sets filled at construction.
struct Array : FBL_ArraySet {
  explicit Array(const Items& items) { Append(items); }
};

struct Bits : FBL_BitSet {
  Bits(REC_ID size, const Items& items) : FBL_BitSet(size) {
    for (REC_ID r : items) Include(r);
  }
};

// --- bit sets ----------------------------------------------------------------

TEST(BitSet, SizeZeroHasNoBufferAndNoMembers) {
  FBL_BitSet set(0);
  EXPECT_EQ(set.GetBuffer(), nullptr);
  EXPECT_EQ(set.GetBufferSize(), 0u);
  EXPECT_EQ(set.Count(), 0u);
  EXPECT_TRUE(set.IsEmpty());
  set.Include(1);
  set.IncludeRange(1, 5);
  set.Invert();
  EXPECT_EQ(set.Count(), 0u);
  auto it = set.MakeIterator();
  EXPECT_FALSE(it->First());
  EXPECT_FALSE(it->Last());
  EXPECT_FALSE(it->GoTo(1));
}

TEST(BitSet, BufferIsWholeWordsWithOneSpare) {
  EXPECT_EQ(FBL_BitSet(32).GetBufferSize(), 8u);
  EXPECT_EQ(FBL_BitSet(1).GetBufferSize(), 4u);
  EXPECT_EQ(FBL_BitSet(31).GetBufferSize(), 8u);  // 4 bytes needed: one spare word
  EXPECT_EQ(FBL_BitSet(33).GetBufferSize(), 8u);
  EXPECT_EQ(FBL_BitSet(64).GetBufferSize(), 12u);
}

TEST(BitSet, BitLayoutIsLeastSignificantFirst) {
  Bits set(20, {1, 8, 9, 20});
  const uint8_t* bytes = set.GetBuffer();
  EXPECT_EQ(bytes[0], 0x81);
  EXPECT_EQ(bytes[1], 0x01);
  EXPECT_EQ(bytes[2], 0x08);
}

TEST(BitSet, InvertStaysWithinSize) {
  FBL_BitSet set(10);
  set.Invert();
  EXPECT_EQ(set.Count(), 10u);
  EXPECT_EQ(WalkForward(set), (Items{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  set.Invert();
  EXPECT_TRUE(set.IsEmpty());
}

TEST(BitSet, IncludeRangeIsCutToSize) {
  FBL_BitSet set(20);
  set.IncludeRange(5, 100);
  EXPECT_EQ(set.Count(), 16u);
  EXPECT_EQ(set.GetNth(1), 5u);
  EXPECT_EQ(set.GetNth(16), 20u);
  set.IncludeRange(21, 30);  // from past the size
  set.IncludeRange(3, 2);    // to before from
  EXPECT_EQ(set.Count(), 16u);
  set.IncludeRange(0, 1);  // RecID 0 is never a member
  EXPECT_EQ(set.Count(), 17u);
  EXPECT_FALSE(set.IsMember(0));
}

TEST(BitSet, RecIDsOutsideTheSizeAreIgnored) {
  FBL_BitSet set(9);
  set.Include(0);
  set.Include(10);
  set.Include(0xFFFFFFFF);
  EXPECT_TRUE(set.IsEmpty());
  set.Include(9);
  set.Exclude(10);
  EXPECT_TRUE(set.IsMember(9));
  EXPECT_FALSE(set.IsMember(10));
}

TEST(BitSet, GetNthCountsMembers) {
  Bits set(40, {2, 9, 17});
  EXPECT_EQ(set.GetNth(3), 17u);
  EXPECT_EQ(set.GetNth(4), 0u);
  EXPECT_EQ(set.GetNth(0), 0u);
}

TEST(BitSet, LoadBytesDropsBitsPastTheSize) {
  FBL_BitSet set(10);
  set.LoadBytes(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(set.Count(), 10u);
  EXPECT_EQ(WalkBackward(set).front(), 10u);
  set.LoadBytes(std::vector<uint8_t>{0x02});  // shorter: the rest is cleared
  EXPECT_EQ(WalkForward(set), Items{2});
}

TEST(BitSet, OperandsOfEitherKindAreConverted) {
  Bits bits(10, {1, 2, 3});
  Array array({3, 11, 2, 7});
  bits.Intersection(array);  // 11 lies past the receiver and is dropped
  EXPECT_EQ(WalkForward(bits), (Items{2, 3}));
  bits.Union(array);
  EXPECT_EQ(WalkForward(bits), (Items{2, 3, 7}));
  bits.Difference(Array({7}));
  EXPECT_EQ(WalkForward(bits), (Items{2, 3}));
  auto u = FBL_BitSet::MakeUnion(array, Array({1}), 20);
  EXPECT_EQ(u->GetSize(), 20u);
  EXPECT_EQ(WalkForward(*u), (Items{1, 2, 3, 7, 11}));
  EXPECT_EQ(FBL_BitSet(5, Array({0, 5, 6})).Count(), 1u);
}

// --- array sets --------------------------------------------------------------

TEST(ArraySet, MergesSortAndKeepEachRecIDOnce) {
  Array a({3, 1});
  Array b({2, 3});
  auto u = FBL_ArraySet::MakeUnion(&a, &b);
  EXPECT_TRUE(u->IsSorted());
  EXPECT_EQ(WalkForward(*u), (Items{1, 2, 3}));
  EXPECT_EQ(u->GetCapacity(), 4u);
  EXPECT_TRUE(a.IsSorted());  // operands are sorted in place
  auto i = FBL_ArraySet::MakeIntersection(&a, &b);
  EXPECT_EQ(WalkForward(*i), Items{3});
  EXPECT_EQ(i->GetCapacity(), 2u);
  Array twice({4, 4, 1});
  EXPECT_EQ(WalkForward(*FBL_ArraySet::MakeUnion(&twice, &twice)), (Items{1, 4}));
  EXPECT_EQ(WalkForward(*FBL_ArraySet::MakeIntersection(&twice, &twice)), (Items{1, 4}));
}

TEST(ArraySet, NullOperandYieldsNoSet) {
  Array a({1});
  EXPECT_EQ(FBL_ArraySet::MakeUnion(&a, nullptr), nullptr);
  EXPECT_EQ(FBL_ArraySet::MakeIntersection(&a, nullptr), nullptr);
  EXPECT_EQ(FBL_ArraySet::MakeUnion(nullptr, &a), nullptr);
}

TEST(ArraySet, ContainsSearchesSortedAndUnsorted) {
  Array set({9, 7});
  EXPECT_FALSE(set.IsSorted());
  EXPECT_TRUE(set.Contains(7));
  EXPECT_FALSE(set.Contains(8));
  set.Sort();
  EXPECT_TRUE(set.Contains(7));
  EXPECT_TRUE(set.Contains(9));
  EXPECT_FALSE(set.Contains(0));
  EXPECT_FALSE(FBL_ArraySet().Contains(0));
}

TEST(ArraySet, CapacityDoublesOrStartsAtHundred) {
  FBL_ArraySet set;
  EXPECT_EQ(set.GetCapacity(), 0u);
  set.Append(1);
  EXPECT_EQ(set.GetCapacity(), 100u);
  for (REC_ID r = 2; r <= 101; ++r) set.Append(r);
  EXPECT_EQ(set.GetCapacity(), 200u);
  FBL_ArraySet exact(3);
  EXPECT_EQ(exact.GetCapacity(), 3u);
  exact.Append(Items{1, 2, 3});
  EXPECT_EQ(exact.GetCapacity(), 3u);
  exact.Append(4);
  EXPECT_EQ(exact.GetCapacity(), 6u);
}

TEST(ArraySet, SetCountOnlyShrinks) {
  FBL_ArraySet set(10);
  set.Append(Items{1, 2, 3});
  set.SetCount(8);  // never exposes items that were not appended
  EXPECT_EQ(set.Count(), 3u);
  set.SetCount(1);
  EXPECT_EQ(WalkForward(set), Items{1});
}

// --- iterators ---------------------------------------------------------------

TEST(ArraySetIterator, StepsBackToTheFront) {
  Array set({4, 8});
  auto it = set.MakeIterator();
  EXPECT_EQ(it->LastItem(), 8u);
  EXPECT_EQ(it->PrevItem(), 4u);
  EXPECT_EQ(it->PrevItem(), 0u);
  EXPECT_EQ(it->GetCurrent(), 4u);  // a failed move leaves the position
}

TEST(ArraySetIterator, SurvivesItemsRemovedUnderIt) {
  Array set({1, 2, 3});
  auto it = set.MakeIterator();
  ASSERT_TRUE(it->Last());
  set.RemoveAt(2, 2);
  EXPECT_EQ(it->GetCurrent(), 0u);
  EXPECT_FALSE(it->Next());
  EXPECT_EQ(it->PrevItem(), 0u);  // position 2 is gone as well
  EXPECT_EQ(it->FirstItem(), 1u);
}

TEST(BitSetIterator, FollowsChangesOfTheSet) {
  Bits set(100, {10, 20, 30});
  auto it = set.MakeIterator();
  ASSERT_EQ(it->FirstItem(), 10u);
  set.Exclude(10);
  set.Include(15);
  EXPECT_EQ(it->NextItem(), 15u);
  EXPECT_TRUE(it->GoTo(3));
  EXPECT_EQ(it->GetCurrent(), 30u);
  EXPECT_FALSE(it->Next());
  EXPECT_EQ(it->GetCurrent(), 30u);
  EXPECT_FALSE(it->GoTo(4));
  EXPECT_EQ(it->GetCurrent(), 0u);
  EXPECT_EQ(it->NextItem(), 15u);  // from no member, Next starts at the front
}

// --- map sets ----------------------------------------------------------------

TEST(MapSet, CheckDuplicatesFindsConsecutiveLeftRecIDs) {
  FBL_MapSet pairs;
  pairs.Append(1, 10);
  pairs.Append(2, 20);
  pairs.Append(1, 30);  // not consecutive with the first
  EXPECT_FALSE(pairs.CheckDuplicates());
  EXPECT_FALSE(pairs.HasDuplicates());
  pairs.Append(1, 40);
  auto found = pairs.CheckDuplicates();
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, (FBL_RecPair{1, 30}));
  EXPECT_TRUE(pairs.HasDuplicates());
  EXPECT_EQ(pairs.Count(), 4u);
  EXPECT_EQ(pairs.GetPair(2), (FBL_RecPair{2, 20}));
  EXPECT_EQ(pairs.GetPair(5), (FBL_RecPair{0, 0}));
  EXPECT_EQ(pairs.GetPair(0), (FBL_RecPair{0, 0}));
}

TEST(RecordSetConversion, AnUnknownKindOfSetIsRefused) {
  struct OtherSet : FBL_Set {
    uint32_t Count() const override { return 0; }
    std::unique_ptr<FBL_SetIterator> MakeIterator() const override { return nullptr; }
  } other;
  FBL_BitSet bits(8);
  try {
    bits.Union(other);
    FAIL() << "no exception";
  } catch (const xFBL_Exception& e) {
    EXPECT_EQ(e.Code, ERR_ASSERTION_FAIL);
  }
}

}  // namespace
