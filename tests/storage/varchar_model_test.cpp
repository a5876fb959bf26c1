#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tests/storage/varchar_fixture.h"

namespace {

// Random record order and random lengths against a vector of values.
class VarCharModel : public ztest::VarCharTest {
 protected:
  void Run(uint32_t maxLength, uint32_t records,
           FBL_ByteOrder order = FBL_ByteOrder::kLittleEndian) {
    // Large segments keep the chain walks of random write-backs short.
    auto* f = &Start(maxLength, order, 65536);
    std::mt19937 rng(maxLength + records);
    std::vector<std::string> model(records + 1);
    std::vector<uint32_t> ids(records);
    std::iota(ids.begin(), ids.end(), 1u);
    std::shuffle(ids.begin(), ids.end(), rng);
    for (uint32_t r : ids) {
      model[r] = Value(rng() % (maxLength + 1), r);
      Write(*f, r, model[r]);
    }
    EXPECT_EQ(f->GetRecordCount(), records);
    // Rewritten larger and smaller, again in random order.
    std::shuffle(ids.begin(), ids.end(), rng);
    for (uint32_t r : ids) {
      uint32_t now = static_cast<uint32_t>(model[r].size());
      uint32_t n = (r % 2 == 0) ? now + rng() % (maxLength - now + 1) : rng() % (now + 1);
      model[r] = Value(n, r + 7);
      Write(*f, r, model[r]);
    }
    for (uint32_t r = 1; r <= records; ++r) ASSERT_EQ(Read(*f, r), model[r]) << r;
    std::string report;
    EXPECT_TRUE(AllRight(*f, &report)) << report;
    f = &Reopen();
    std::shuffle(ids.begin(), ids.end(), rng);
    for (uint32_t r : ids) ASSERT_EQ(Read(*f, r), model[r]) << r;
    EXPECT_TRUE(AllRight(*f));
  }
  // The long runs are for a release build: ZORVANE_LONG_TESTS=1.
  static bool Long() { return std::getenv("ZORVANE_LONG_TESTS") != nullptr; }
};

TEST_F(VarCharModel, HundredThousandShortValues) {
  Run(100, 100000);
}

TEST_F(VarCharModel, ShortValuesOnABigEndianVolume) {
  Run(100, 20000, FBL_ByteOrder::kBigEndian);
}

TEST_F(VarCharModel, LongValues) {
  Run(20000, Long() ? 100000 : 3000);
}

TEST_F(VarCharModel, LongValuesOnABigEndianVolume) {
  Run(20000, 1000, FBL_ByteOrder::kBigEndian);
}

}  // namespace
