// Helpers that compare record sets with a plain std::set model.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/sets/set_iterator.h"

namespace zorvane_test {

using Model = std::set<uint32_t>;

inline const std::vector<REC_ID> kSizes = {0, 1, 7, 8, 9, 31, 32, 33, 1000, 100000};

// Every member reached by walking forward with the set's own iterator.
inline std::vector<REC_ID> WalkForward(const FBL_Set& set) {
  std::vector<REC_ID> out;
  auto it = set.MakeIterator();
  for (REC_ID r = it->FirstItem(); r != 0; r = it->NextItem()) out.push_back(r);
  return out;
}

inline std::vector<REC_ID> WalkBackward(const FBL_Set& set) {
  std::vector<REC_ID> out;
  auto it = set.MakeIterator();
  for (REC_ID r = it->LastItem(); r != 0; r = it->PrevItem()) out.push_back(r);
  return out;
}

// A bit set of `size` holding a random share `density` of 1..size, with the
// same members put in `model`.
inline std::unique_ptr<FBL_BitSet> RandomBitSet(REC_ID size, double density, std::mt19937& rng,
                                                Model& model) {
  auto set = std::make_unique<FBL_BitSet>(size);
  std::bernoulli_distribution pick(density);
  for (REC_ID r = 1; r <= size; ++r) {
    if (pick(rng)) {
      set->Include(r);
      model.insert(r);
    }
  }
  return set;
}

// The set agrees with the model in count, emptiness, both walks, membership
// and positions; bits past the size and the buffer length keep their rules.
inline void ExpectMatches(const FBL_BitSet& set, const Model& model, std::mt19937& rng) {
  REC_ID size = set.GetSize();
  ASSERT_EQ(set.Count(), model.size());
  EXPECT_EQ(set.IsEmpty(), model.empty());
  std::vector<REC_ID> expected(model.begin(), model.end());
  ASSERT_EQ(WalkForward(set), expected);
  ASSERT_EQ(WalkBackward(set), std::vector<REC_ID>(expected.rbegin(), expected.rend()));
  EXPECT_EQ(set.GetBufferSize(), size == 0 ? 0 : ((size + 7ull) / 8 / 4 + 1) * 4);
  // Past the size every byte of the buffer is clear.
  for (size_t bit = size; bit < set.GetBufferSize() * 8; ++bit) {
    ASSERT_FALSE(set.GetBuffer()[bit / 8] & (1 << bit % 8)) << "stray bit " << bit;
  }
  std::uniform_int_distribution<uint64_t> any(0, uint64_t{size} + 2);
  for (int i = 0; i < 64; ++i) {
    REC_ID r = static_cast<REC_ID>(any(rng));
    ASSERT_EQ(set.IsMember(r), model.count(r) == 1) << "RecID " << r;
  }
  for (size_t n :
       {size_t{0}, size_t{1}, expected.size() / 2, expected.size(), expected.size() + 1}) {
    REC_ID want = n >= 1 && n <= expected.size() ? expected[n - 1] : 0;
    ASSERT_EQ(set.GetNth(static_cast<uint32_t>(n)), want) << "n " << n;
  }
}

}  // namespace zorvane_test
