// Random operation sequences on record sets, checked against std::set (and
// std::vector where an array set's order matters).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/sets/set_iterator.h"
#include "tests/sets/set_model.h"

namespace {

using namespace zorvane_test;

const double kDensities[] = {0.0, 0.01, 0.5, 1.0};

uint32_t Seed(REC_ID a, REC_ID b = 0) {
  return a * 7919u + b * 104729u + 17u;
}

// --- one bit set under random changes ----------------------------------------

class BitSetModel : public testing::TestWithParam<REC_ID> {};

TEST_P(BitSetModel, RandomChangesMatchTheModel) {
  REC_ID size = GetParam();
  std::mt19937 rng(Seed(size));
  SCOPED_TRACE(testing::Message() << "size " << size);
  FBL_BitSet set(size);
  Model model;
  std::uniform_int_distribution<uint64_t> any(0, uint64_t{size} + 3);
  auto some = [&] { return static_cast<REC_ID>(any(rng)); };
  for (int step = 0; step < 300; ++step) {
    switch (rng() % 6) {
      case 0:
      case 1: {
        REC_ID r = some();
        set.Include(r);
        if (r >= 1 && r <= size) model.insert(r);
        break;
      }
      case 2: {
        REC_ID r = some();
        set.Exclude(r);
        model.erase(r);
        break;
      }
      case 3: {
        REC_ID from = some(), to = some();
        if (rng() % 4 == 0) to = from + static_cast<REC_ID>(rng() % 70);
        set.IncludeRange(from, to);
        for (uint64_t r = std::max<REC_ID>(from, 1); r <= std::min(to, size); ++r) model.insert(r);
        break;
      }
      case 4:
        if (rng() % 8 == 0) {
          set.Invert();
          Model inverted;
          for (REC_ID r = 1; r <= size; ++r) {
            if (!model.count(r)) inverted.insert(r);
          }
          model.swap(inverted);
        }
        break;
      case 5:
        ASSERT_EQ(set.Count(), model.size()) << "step " << step;
        break;
    }
    if (step % 50 == 49) {
      ASSERT_NO_FATAL_FAILURE(ExpectMatches(set, model, rng));
    }
  }
  ASSERT_NO_FATAL_FAILURE(ExpectMatches(set, model, rng));
  // Conversions both ways keep the members.
  FBL_ArraySet array(set);
  EXPECT_EQ(array.GetCapacity(), model.size());
  EXPECT_EQ(WalkForward(array), std::vector<REC_ID>(model.begin(), model.end()));
  ASSERT_NO_FATAL_FAILURE(ExpectMatches(FBL_BitSet(size, array), model, rng));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BitSetModel, testing::ValuesIn(kSizes));

// --- algebra between sets of any two sizes -------------------------------------

class BitSetAlgebra : public testing::TestWithParam<std::tuple<REC_ID, REC_ID>> {};

uint64_t WordBits(REC_ID size) {
  return size == 0 ? 0 : ((size + 7ull) / 8 / 4 + 1) * 32;
}

Model Union(const Model& a, const Model& b) {
  Model out = a;
  out.insert(b.begin(), b.end());
  return out;
}

Model Intersection(const Model& a, const Model& b) {
  Model out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

Model Difference(const Model& a, const Model& b) {
  Model out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

// The members of m in 1..last.
Model Upto(const Model& m, uint64_t last) {
  return Model(m.begin(), last >= UINT32_MAX ? m.end() : m.upper_bound(last));
}

enum class Op { kUnion, kIntersection, kDifference };

// In-place operations work over the 32-bit words both buffers have; the
// receiver's own further words are kept, and nothing lands past its size.
Model InPlace(Op op, const Model& r, REC_ID rSize, const Model& o, REC_ID oSize) {
  uint64_t shared = std::min(WordBits(rSize), WordBits(oSize));
  Model inShared = Upto(r, shared), other = Upto(Upto(o, shared), rSize);
  Model out = Difference(r, inShared);  // the receiver's own words
  Model combined = op == Op::kUnion          ? Union(inShared, other)
                   : op == Op::kIntersection ? Intersection(inShared, other)
                                             : Difference(inShared, other);
  out.insert(combined.begin(), combined.end());
  return out;
}

TEST_P(BitSetAlgebra, MatchesTheModel) {
  auto [sizeA, sizeB] = GetParam();
  std::mt19937 rng(Seed(sizeA, sizeB));
  // Every pair of densities for small sets; a chosen few for large ones,
  // which the model makes slow.
  std::vector<std::pair<double, double>> densities = {
      {0.5, 0.5}, {0.01, 1.0}, {1.0, 0.01}, {0.0, 0.5}};
  if (std::max(sizeA, sizeB) <= 1000) {
    densities.clear();
    for (double x : kDensities) {
      for (double y : kDensities) densities.emplace_back(x, y);
    }
  }
  for (auto [densityA, densityB] : densities) {
    SCOPED_TRACE(testing::Message() << "sizes " << sizeA << ", " << sizeB << " densities "
                                    << densityA << ", " << densityB);
    Model ma, mb;
    auto a = RandomBitSet(sizeA, densityA, rng, ma);
    auto b = RandomBitSet(sizeB, densityB, rng, mb);

    auto u = FBL_BitSet::MakeUnion(*a, *b);
    EXPECT_EQ(u->GetSize(), std::max(sizeA, sizeB));
    ASSERT_NO_FATAL_FAILURE(ExpectMatches(*u, Union(ma, mb), rng));
    auto i = FBL_BitSet::MakeIntersection(*a, *b);
    EXPECT_EQ(i->GetSize(), std::min(sizeA, sizeB));
    ASSERT_NO_FATAL_FAILURE(ExpectMatches(*i, Intersection(ma, mb), rng));

    // The array-set merges give the same members, whatever the operand kinds.
    FBL_ArraySet arrayA(*a);
    auto au = FBL_ArraySet::MakeUnion(&arrayA, b.get());
    Model mu = Union(ma, mb), mi = Intersection(ma, mb);
    EXPECT_EQ(WalkForward(*au), std::vector<REC_ID>(mu.begin(), mu.end()));
    auto ai = FBL_ArraySet::MakeIntersection(b.get(), &arrayA);
    EXPECT_EQ(WalkForward(*ai), std::vector<REC_ID>(mi.begin(), mi.end()));

    const std::pair<void (FBL_BitSet::*)(const FBL_Set&), Op> ops[] = {
        {&FBL_BitSet::Union, Op::kUnion},
        {&FBL_BitSet::Intersection, Op::kIntersection},
        {&FBL_BitSet::Difference, Op::kDifference},
    };
    for (const auto& [method, op] : ops) {
      FBL_BitSet receiver(sizeA);
      receiver.Union(*a);
      (receiver.*method)(*b);
      ASSERT_NO_FATAL_FAILURE(ExpectMatches(receiver, InPlace(op, ma, sizeA, mb, sizeB), rng));
      // An array operand becomes a bit set of the receiver's size first.
      FBL_BitSet viaArray(sizeB);
      viaArray.Union(*b);
      (viaArray.*method)(arrayA);
      Model cut(ma.begin(), ma.upper_bound(sizeB));
      ASSERT_NO_FATAL_FAILURE(ExpectMatches(viaArray, InPlace(op, mb, sizeB, cut, sizeB), rng));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SizePairs, BitSetAlgebra,
                         testing::Combine(testing::ValuesIn(kSizes), testing::ValuesIn(kSizes)));

// --- array sets ------------------------------------------------------------------

class ArraySetModel : public testing::TestWithParam<REC_ID> {};

TEST_P(ArraySetModel, RandomChangesMatchTheModel) {
  REC_ID size = GetParam();
  std::mt19937 rng(Seed(size, 1));
  SCOPED_TRACE(testing::Message() << "size " << size);
  std::uniform_int_distribution<REC_ID> any(1, size + 3);
  FBL_ArraySet set(size / 2);
  std::vector<REC_ID> items;  // the array set's items in their order
  bool sorted = false;
  for (int step = 0; step < 400; ++step) {
    switch (rng() % 8) {
      case 0:
      case 1: {
        REC_ID r = any(rng);
        set.Append(r);
        items.push_back(r);
        sorted = false;
        break;
      }
      case 2:
      case 3: {
        std::vector<REC_ID> batch(rng() % 40);
        for (REC_ID& r : batch) r = any(rng);
        // As a span, or as stored bytes read upwards or downwards (the
        // RecID slots of counted index pages run downwards).
        const auto* bytes = reinterpret_cast<const uint8_t*>(batch.data());
        switch (batch.empty() ? 0 : rng() % 3) {
          case 0:
            set.Append(batch);
            break;
          case 1:
            set.AppendStored(bytes, uint32_t(batch.size()), 4);
            break;
          default:
            set.AppendStored(bytes + 4 * batch.size() - 4, uint32_t(batch.size()), -4);
            std::reverse(batch.begin(), batch.end());
        }
        items.insert(items.end(), batch.begin(), batch.end());
        sorted = false;
        break;
      }
      case 4:
        set.Sort();
        std::sort(items.begin(), items.end());
        sorted = true;
        break;
      case 5: {
        uint32_t position = rng() % (items.size() + 2), n = rng() % 5;
        set.RemoveAt(position, n);
        if (position >= 1 && position <= items.size()) {
          auto first = items.begin() + (position - 1);
          items.erase(first, first + std::min<size_t>(n, items.end() - first));
        }
        break;
      }
      case 6:
        if (rng() % 4 == 0) {
          uint32_t n = rng() % (items.size() + 3);
          set.SetCount(n);
          if (n < items.size()) items.resize(n);
        }
        break;
      case 7:
        for (int k = 0; k < 8; ++k) {
          REC_ID r = rng() % (size + 4);
          ASSERT_EQ(set.Contains(r), std::count(items.begin(), items.end(), r) > 0) << r;
        }
        break;
    }
    ASSERT_EQ(set.Count(), items.size()) << "step " << step;
    ASSERT_EQ(set.IsSorted(), sorted);
    ASSERT_GE(set.GetCapacity(), set.Count());
  }
  EXPECT_EQ(WalkForward(set), items);
  EXPECT_EQ(WalkBackward(set), std::vector<REC_ID>(items.rbegin(), items.rend()));
  for (uint32_t n = 0; n <= items.size() + 1; n += 1 + static_cast<uint32_t>(items.size() / 20)) {
    EXPECT_EQ(set.GetItem(n), n >= 1 && n <= items.size() ? items[n - 1] : 0);
  }
  // As a bit set: the items that fit the size, each once.
  Model fit(items.begin(), items.end());
  fit.erase(fit.upper_bound(size), fit.end());
  ASSERT_NO_FATAL_FAILURE(ExpectMatches(FBL_BitSet(size, set), fit, rng));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ArraySetModel, testing::ValuesIn(kSizes));

// --- iterators moved at random -------------------------------------------------------

// Replays random moves on an iterator and on a position in the expected
// member list; -1 stands for no member.
void CheckRandomMoves(FBL_SetIterator& it, const std::vector<REC_ID>& members, std::mt19937& rng) {
  long pos = -1, count = static_cast<long>(members.size());
  auto move = [&](long to) {
    if (to < 0 || to >= count) return false;
    pos = to;
    return true;
  };
  for (int step = 0; step < 500; ++step) {
    bool got = false, want = false;
    switch (rng() % 5) {
      case 0:
        got = it.First(), want = move(0);
        break;
      case 1:
        got = it.Last(), want = move(count - 1);
        break;
      case 2:
        got = it.Next(), want = pos < 0 ? move(0) : move(pos + 1);
        break;
      case 3:
        got = it.Prev(), want = pos < 0 ? move(count - 1) : move(pos - 1);
        break;
      case 4: {
        uint32_t n = rng() % (members.size() + 2);
        got = it.GoTo(n);
        want = n >= 1 && n <= members.size();
        pos = want ? static_cast<long>(n) - 1 : -1;
        break;
      }
    }
    ASSERT_EQ(got, want) << "step " << step;
    ASSERT_EQ(it.GetCurrent(), pos < 0 ? 0 : members[pos]) << "step " << step;
  }
}

class IteratorModel : public testing::TestWithParam<REC_ID> {};

TEST_P(IteratorModel, RandomMovesMatchTheModel) {
  REC_ID size = GetParam();
  std::mt19937 rng(Seed(size, 2));
  for (double density : kDensities) {
    Model model;
    auto bits = RandomBitSet(size, density, rng, model);
    std::vector<REC_ID> members(model.begin(), model.end());
    ASSERT_NO_FATAL_FAILURE(CheckRandomMoves(*bits->MakeIterator(), members, rng));
    FBL_ArraySet array;
    std::vector<REC_ID> shuffled = members;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    array.Append(shuffled);
    ASSERT_NO_FATAL_FAILURE(CheckRandomMoves(*array.MakeIterator(), shuffled, rng));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, IteratorModel, testing::ValuesIn(kSizes));

}  // namespace
