// The key sorters: a model test against std::stable_sort over both kinds
// of keys, both directions and any number of runs, and the order bits of
// every fixed field type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kernel/indexes/field_sorter.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "tests/support/kernel_fixture.h"

namespace ztest {
namespace {

using Entry = std::pair<std::string, REC_ID>;

class VectorSink : public FBL_SortSink {
 public:
  void Take(const uint8_t* key, uint32_t length, REC_ID recID) override {
    mOut.emplace_back(std::string(reinterpret_cast<const char*>(key), length), recID);
  }
  std::vector<Entry> mOut;
};

const uint8_t* K(const std::string& key) {
  return reinterpret_cast<const uint8_t*>(key.data());
}

// Signed 4-byte keys, with or without order bits.
class IntOrder : public FBL_KeyOrder {
 public:
  explicit IntOrder(bool bits) : mBits(bits) {}
  bool HasFixedKey() const override { return true; }
  uint32_t GetMaxKeySize() const override { return 4; }
  uint32_t GetKeyLength(const uint8_t*) const override { return 4; }
  int CompareKeys(const uint8_t* a, const uint8_t* b) const override {
    int32_t x = Value(a), y = Value(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  bool KeysCompareAsBytes() const override { return false; }
  bool HasKeyOrderBits() const override { return mBits; }
  uint64_t KeyOrderBits(const uint8_t* key) const override {
    return static_cast<uint32_t>(Value(key)) ^ 0x80000000u;
  }
  bool HasIntegerKeys(uint32_t&, bool&) const override { return false; }
  void SwapKeyBytes(uint8_t*) const override {}
  static int32_t Value(const uint8_t* key) {
    int32_t v;
    std::memcpy(&v, key, 4);
    return v;
  }

 private:
  bool mBits;
};

// Length-prefixed texts, as bytes or without regard to case (equal keys of
// other bytes show whether the sort is stable).
class TextOrder : public FBL_KeyOrder {
 public:
  explicit TextOrder(bool bytes) : mBytes(bytes) {}
  bool HasFixedKey() const override { return false; }
  uint32_t GetMaxKeySize() const override { return kMaxKeySize; }
  uint32_t GetKeyLength(const uint8_t* key) const override { return 1u + key[0]; }
  int CompareKeys(const uint8_t* a, const uint8_t* b) const override {
    if (mBytes) return CompareAsBytes(a, b);
    for (uint32_t i = 0; i < std::min(a[0], b[0]); ++i) {
      int c = std::tolower(a[1 + i]) - std::tolower(b[1 + i]);
      if (c != 0) return c;
    }
    return int{a[0]} - int{b[0]};
  }
  bool KeysCompareAsBytes() const override { return mBytes; }
  bool HasKeyOrderBits() const override { return false; }
  uint64_t KeyOrderBits(const uint8_t*) const override { return 0; }
  bool HasIntegerKeys(uint32_t&, bool&) const override { return false; }
  void SwapKeyBytes(uint8_t*) const override {}

 private:
  bool mBytes;
};

std::vector<Entry> RandomEntries(bool text, size_t n, std::mt19937_64& random) {
  std::vector<Entry> entries;
  for (size_t i = 0; i < n; ++i) {
    std::string key;
    if (text) {
      // Up to 12 letters of a, b, A: many keys share their first 8 bytes,
      // many are equal, some only without regard to case.
      std::string s(random() % 13, 'a');
      for (char& c : s) c = "abA"[random() % 3];
      if (i % 97 == 0) s.assign(255, 'z');
      key = char(s.size()) + s;
    } else {
      int32_t v = static_cast<int32_t>(random() % 200) - 100;
      if (random() % 8 == 0) v = random() % 2 ? INT32_MIN : INT32_MAX;
      key.assign(reinterpret_cast<const char*>(&v), 4);
    }
    entries.emplace_back(key, static_cast<REC_ID>(1 + random() % 100000));
  }
  return entries;
}

class KeySorterModelTest : public ::testing::Test {
 protected:
  void TearDown() override { FBL_SetSorterBudget(0); }
};

TEST_F(KeySorterModelTest, SortsLikeStableSortInEitherDirectionWhateverTheRuns) {
  IntOrder bits(true), noBits(false);
  TextOrder bytes(true), caseless(false);
  const FBL_KeyOrder* orders[] = {&bits, &noBits, &bytes, &caseless};
  std::mt19937_64 random(15);
  for (const FBL_KeyOrder* order : orders) {
    const bool text = !order->HasFixedKey();
    const std::vector<Entry> entries = RandomEntries(text, 5000, random);
    for (auto direction : {FBL_SortDirection::kAscending, FBL_SortDirection::kDescending}) {
      const bool down = direction == FBL_SortDirection::kDescending;
      std::vector<Entry> expected = entries;
      std::stable_sort(expected.begin(), expected.end(), [&](const Entry& a, const Entry& b) {
        int c = order->CompareKeys(K(a.first), K(b.first));
        return down ? c > 0 : c < 0;
      });
      for (uint64_t budget : {uint64_t{0}, uint64_t{3000}}) {
        SCOPED_TRACE(testing::Message() << "order " << (order - orders[0]) << " down " << down
                                        << " budget " << budget);
        FBL_SetSorterBudget(budget);
        VectorSink sink;
        auto sorter = zv::MakeSorter(*order, sink, 100, direction);
        EXPECT_EQ(text, dynamic_cast<FBL_FieldSorterStr*>(sorter.get()) != nullptr);
        // Twice through one sorter: a Flush starts it afresh.
        for (int round = 0; round < 2; ++round) {
          sink.mOut.clear();
          for (const auto& [key, r] : entries) {
            sorter->Push(K(key), static_cast<uint32_t>(key.size()), r);
          }
          EXPECT_EQ(budget != 0, sorter->GetRunCount() > 10u);
          sorter->Flush();
          EXPECT_EQ(0u, sorter->GetRunCount());
          ASSERT_EQ(expected, sink.mOut);
        }
      }
    }
  }
}

TEST_F(KeySorterModelTest, EmptySortersGiveNothingAndFixedKeysMustHaveTheirSize) {
  IntOrder ints(true);
  TextOrder texts(true);
  for (const FBL_KeyOrder* order :
       {static_cast<const FBL_KeyOrder*>(&ints), static_cast<const FBL_KeyOrder*>(&texts)}) {
    VectorSink sink;
    auto sorter = zv::MakeSorter(*order, sink, 0);
    sorter->Flush();
    EXPECT_TRUE(sink.mOut.empty());
  }
  VectorSink sink;
  auto sorter = zv::MakeSorter(ints, sink, 1);
  const uint8_t key[8] = {};
  EXPECT_EQ(307, ErrorCode([&] { sorter->Push(key, 8, 1); }));
}

// ---- the fields' own keys ---------------------------------------------------------------

template <typename T>
std::vector<T> RandomValues(size_t n, std::mt19937_64& random) {
  std::vector<T> values(n);
  for (T& v : values) {
    if constexpr (std::is_floating_point_v<T>) {
      v = static_cast<T>(static_cast<int64_t>(random() % 2001) - 1000) / 8;
    } else {
      v = static_cast<T>(random());
      if (random() % 4 == 0) v = static_cast<T>(random() % 5);  // duplicates
    }
  }
  return values;
}

// Order bits sort as the field compares keys, and the field's keys sort by
// them as by the field's comparison.
template <typename T>
void CheckType(uint8_t type, size_t n, uint64_t seed) {
  SCOPED_TRACE(zv::TypeName(type));
  std::mt19937_64 random(seed);
  auto field = zv::MakeField(type, "f", 0);
  ASSERT_TRUE(field->HasKeyOrderBits());
  std::vector<T> values = RandomValues<T>(n, random);
  if constexpr (std::is_integral_v<T> && sizeof(T) == 4) {
    // Medium values within 24 bits, sign-extended.
    if (type == kTypeMedium || type == kTypeUMedium) {
      for (T& v : values) {
        uint32_t bits = static_cast<uint32_t>(v) & 0xFFFFFFu;
        if (type == kTypeMedium && (bits & 0x800000u)) bits |= 0xFF000000u;
        v = static_cast<T>(bits);
      }
    }
  }
  std::vector<Entry> entries;
  for (size_t i = 0; i < n; ++i) {
    uint8_t key[8];
    uint32_t length = field->MakeKeyOf(&values[i], key);
    entries.emplace_back(std::string(reinterpret_cast<const char*>(key), length), REC_ID(i + 1));
  }
  for (size_t i = 0; i + 1 < n; ++i) {
    const uint8_t* a = K(entries[i].first);
    const uint8_t* b = K(entries[i + 1].first);
    int c = field->CompareKeys(a, b);
    uint64_t x = field->KeyOrderBits(a), y = field->KeyOrderBits(b);
    ASSERT_EQ(c < 0 ? -1 : (c > 0 ? 1 : 0), x < y ? -1 : (x > y ? 1 : 0)) << i;
  }
  VectorSink sink;
  auto sorter = zv::MakeSorter(*field, sink, static_cast<uint32_t>(n));
  EXPECT_NE(nullptr, dynamic_cast<FBL_FieldSorter*>(sorter.get()));
  for (const auto& [key, r] : entries) sorter->Push(K(key), static_cast<uint32_t>(key.size()), r);
  sorter->Flush();
  std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    return field->CompareKeys(K(a.first), K(b.first)) < 0;
  });
  EXPECT_EQ(entries, sink.mOut);
}

TEST(FieldKeyOrderTest, FixedTypesSortByTheirOrderBitsAsTheyCompare) {
  CheckType<uint8_t>(kTypeByte, 3000, 1);
  CheckType<int16_t>(kTypeShort, 3000, 2);
  CheckType<uint16_t>(kTypeUShort, 3000, 3);
  CheckType<int32_t>(kTypeMedium, 3000, 4);
  CheckType<uint32_t>(kTypeUMedium, 3000, 5);
  CheckType<int32_t>(kTypeLong, 3000, 6);
  CheckType<uint32_t>(kTypeULong, 3000, 7);
  CheckType<int64_t>(kTypeLLong, 3000, 8);
  CheckType<uint64_t>(kTypeULLong, 3000, 9);
  CheckType<float>(kTypeFloat, 3000, 10);
  CheckType<double>(kTypeDouble, 3000, 11);
  CheckType<int32_t>(kTypeDate, 3000, 12);
  CheckType<uint32_t>(kTypeTime, 3000, 13);
  CheckType<int64_t>(kTypeDateTime, 3000, 14);
}

TEST(FieldKeyOrderTest, FloatingKeysPutMinusZeroWithZeroAndNaNLast) {
  auto field = zv::MakeField(kTypeDouble, "f", 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0, nan, -0.0, -inf, inf, -1.5, 1.5, 0.0};
  VectorSink sink;
  auto sorter = zv::MakeSorter(*field, sink, 8);
  for (size_t i = 0; i < values.size(); ++i) {
    uint8_t key[8];
    uint32_t length = field->MakeKeyOf(&values[i], key);
    sorter->Push(key, length, static_cast<REC_ID>(i + 1));
  }
  sorter->Flush();
  std::vector<REC_ID> ids;
  for (const auto& e : sink.mOut) ids.push_back(e.second);
  // -inf, -1.5, then 0, -0 and 0 as pushed, 1.5, inf, NaN.
  EXPECT_EQ((std::vector<REC_ID>{4, 6, 1, 3, 8, 7, 5, 2}), ids);
}

}  // namespace
}  // namespace ztest
