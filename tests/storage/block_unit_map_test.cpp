#include "kernel/storage/block_unit_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>

// Random inserts and erases over a few files, with units crowded into a
// small range so clusters wrap around the table and erasures shift entries
// back across its end; every key of the range is looked up after each step
// batch.
TEST(BlockUnitMap, AgreesWithAnOrderedMapThroughGrowthAndErasure) {
  FBL_BlockUnitMap map;
  std::map<std::pair<const FBL_File*, uint64_t>, FBL_BlockHandle> model;
  // Never dereferenced: the map only compares file pointers.
  const FBL_File* files[3] = {reinterpret_cast<const FBL_File*>(uintptr_t{0x1000}),
                              reinterpret_cast<const FBL_File*>(uintptr_t{0x2000}),
                              reinterpret_cast<const FBL_File*>(uintptr_t{0x3000})};
  std::mt19937 rng(5);
  for (int step = 0; step < 60000; ++step) {
    const FBL_File* file = files[rng() % 3];
    const uint64_t unit = rng() % 1500;
    auto key = std::make_pair(file, unit);
    auto it = model.find(key);
    // Grow to about 2,000 entries, then shrink and grow again.
    const bool growing = (step / 10000) % 2 == 0;
    if (it == model.end() && (growing || rng() % 4 == 0)) {
      const auto h = static_cast<FBL_BlockHandle>(step);
      map.Insert(file, unit, h);
      model[key] = h;
    } else if (it != model.end() && (!growing || rng() % 4 == 0)) {
      map.Erase(file, unit);
      model.erase(it);
    }
    if (step % 997 != 0) continue;
    ASSERT_EQ(map.Size(), model.size()) << step;
    for (int f = 0; f < 3; ++f) {
      for (uint64_t u = 0; u < 1500; ++u) {
        auto m = model.find({files[f], u});
        ASSERT_EQ(map.Find(files[f], u), m == model.end() ? kNoBlock : m->second) << step;
      }
    }
  }
  map.Clear();
  EXPECT_EQ(map.Size(), 0u);
  EXPECT_EQ(map.Find(files[0], 1), kNoBlock);
}
