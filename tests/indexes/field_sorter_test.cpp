// The sorters of index builds: every entry reaches the index once, in
// (key, RecID) order by the field's own comparison, whatever the number of
// batches the memory budget forces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "kernel/indexes/field_sorter.h"
#include "kernel/tables/field_factory.h"
#include "tests/indexes/sorted_index_double.h"
#include "tests/indexes/word_field_double.h"

namespace ztest {
namespace {

using Entries = std::vector<SortedIndexDouble::Entry>;

class FieldSorterTest : public ::testing::Test {
 protected:
  void TearDown() override { FBL_SetSorterBudget(0); }

  // Pushes value i of `values` under recIDs[i] and returns what the index
  // received.
  template <typename T>
  Entries Sort(FBL_BaseField& field, const std::vector<T>& values,
               const std::vector<REC_ID>& recIDs, uint32_t* runs = nullptr) {
    SortedIndexDouble index(field, false);
    auto sorter = field.MakeSorter(index, static_cast<uint32_t>(values.size()));
    sorter->Allocate();
    for (size_t i = 0; i < values.size(); ++i) {
      T v = values[i];
      if constexpr (std::is_pointer_v<T>) {
        field.SetValue(v);
      } else {
        field.SetValue(&v);
      }
      sorter->Push(recIDs[i]);
    }
    if (runs != nullptr) *runs = sorter->GetRunCount();
    sorter->Flush();
    EXPECT_EQ(0u, sorter->GetRunCount());
    return index.Entries();
  }

  // Every pair in order by the field's comparison, then RecID.
  static void ExpectOrdered(FBL_BaseField& field, const Entries& out) {
    for (size_t i = 1; i < out.size(); ++i) {
      int c = field.CompareKeys(reinterpret_cast<const uint8_t*>(out[i - 1].first.data()),
                                reinterpret_cast<const uint8_t*>(out[i].first.data()));
      ASSERT_TRUE(c < 0 || (c == 0 && out[i - 1].second < out[i].second)) << "at " << i;
    }
  }

  static std::vector<REC_ID> Ascending(size_t n) {
    std::vector<REC_ID> ids(n);
    for (size_t i = 0; i < n; ++i) ids[i] = static_cast<REC_ID>(i + 1);
    return ids;
  }
};

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

template <typename T>
void CheckType(uint8_t type, size_t n, uint64_t seed) {
  SCOPED_TRACE(TypeName(type));
  std::mt19937_64 random(seed);
  auto field = MakeField(type, "f", 0);
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
  std::vector<REC_ID> ids(n);
  for (size_t i = 0; i < n; ++i) ids[i] = static_cast<REC_ID>(i + 1);
  std::shuffle(ids.begin(), ids.end(), random);

  // Order bits sort as the field compares keys.
  uint8_t a[8], b[8];
  for (size_t i = 0; i + 1 < n; ++i) {
    field->MakeKeyOf(&values[i], a);
    field->MakeKeyOf(&values[i + 1], b);
    int c = field->CompareKeys(a, b);
    uint64_t x = field->KeyOrderBits(a), y = field->KeyOrderBits(b);
    ASSERT_EQ(c, x < y ? -1 : (x > y ? 1 : 0)) << i;
  }

  SortedIndexDouble index(*field, false);
  auto sorter = field->MakeSorter(index, static_cast<uint32_t>(n));
  sorter->Allocate();
  for (size_t i = 0; i < n; ++i) {
    field->SetValue(&values[i]);
    sorter->Push(ids[i]);
  }
  sorter->Flush();
  const Entries& out = index.Entries();
  ASSERT_EQ(n, out.size());
  for (size_t i = 1; i < n; ++i) {
    int c = field->CompareKeys(reinterpret_cast<const uint8_t*>(out[i - 1].first.data()),
                               reinterpret_cast<const uint8_t*>(out[i].first.data()));
    ASSERT_TRUE(c < 0 || (c == 0 && out[i - 1].second < out[i].second)) << i;
  }
  // Each RecID arrives once, with its own value's key.
  std::vector<std::string> keyOf(n + 1);
  for (size_t i = 0; i < n; ++i) {
    uint8_t key[8];
    uint32_t len = field->MakeKeyOf(&values[i], key);
    keyOf[ids[i]] = std::string(reinterpret_cast<const char*>(key), len);
  }
  std::vector<bool> seen(n + 1, false);
  for (const auto& [key, id] : out) {
    ASSERT_FALSE(seen[id]);
    seen[id] = true;
    EXPECT_EQ(keyOf[id], key);
  }
}

TEST_F(FieldSorterTest, FixedTypesSortAsTheirFieldsCompareInAnyPushOrder) {
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

TEST_F(FieldSorterTest, SmallBudgetGivesTheOrderOfOneBatch) {
  auto field = MakeField(kTypeLong, "f", 0);
  std::mt19937_64 random(21);
  std::vector<int32_t> values(5000);
  for (int32_t& v : values) v = static_cast<int32_t>(random() % 700) - 350;
  std::vector<REC_ID> ids = Ascending(values.size());

  const Entries one = Sort(*field, values, ids);
  FBL_SetSorterBudget(4096);  // about 85 entries a batch
  uint32_t runs = 0;
  const Entries many = Sort(*field, values, ids, &runs);
  EXPECT_GT(runs, 20u);
  EXPECT_EQ(one, many);
  ExpectOrdered(*field, one);

  std::shuffle(ids.begin(), ids.end(), random);
  FBL_SetSorterBudget(0);
  const Entries shuffledOne = Sort(*field, values, ids);
  FBL_SetSorterBudget(4096);
  EXPECT_EQ(shuffledOne, Sort(*field, values, ids));
  ExpectOrdered(*field, shuffledOne);
}

TEST_F(FieldSorterTest, FloatingKeysPutMinusZeroWithZeroAndNaNLast) {
  auto field = MakeField(kTypeDouble, "f", 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0, nan, -0.0, -inf, inf, -1.5, 1.5, 0.0};
  SortedIndexDouble index(*field, false);
  index.mCheckOrder = false;  // NaN compares equal to everything
  auto sorter = field->MakeSorter(index, 8);
  sorter->Allocate();
  for (size_t i = 0; i < values.size(); ++i) {
    field->SetValue(&values[i]);
    sorter->Push(static_cast<REC_ID>(i + 1));
  }
  sorter->Flush();
  std::vector<REC_ID> ids;
  for (const auto& e : index.Entries()) ids.push_back(e.second);
  // -inf, -1.5, then 0, -0 and 0 by RecID, 1.5, inf, NaN.
  EXPECT_EQ((std::vector<REC_ID>{4, 6, 1, 3, 8, 7, 5, 2}), ids);
}

TEST_F(FieldSorterTest, EmptySorterAppendsNothing) {
  auto field = MakeField(kTypeLong, "f", 0);
  EXPECT_TRUE(Sort(*field, std::vector<int32_t>{}, {}).empty());
  WordFieldDouble words;
  EXPECT_TRUE(Sort(words, std::vector<const char*>{}, {}).empty());
}

// ---- variable keys ------------------------------------------------------------------

// Two letters and up to 12 of them: many keys share their first 8 bytes.
std::string RandomText(std::mt19937_64& random, size_t maxLength) {
  std::string text(random() % (maxLength + 1), 'a');
  for (char& c : text) c = static_cast<char>('a' + random() % 2);
  return text;
}

class StringSorterTest : public FieldSorterTest, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(ByCompareKeysOrAsBytes, StringSorterTest, ::testing::Bool());

TEST_P(StringSorterTest, KeysSortByTheFieldAndBatchesChangeNothing) {
  WordFieldDouble field(0, GetParam());
  SortedIndexDouble probeIndex(field, false);
  auto probe = field.MakeSorter(probeIndex, 1);
  EXPECT_NE(nullptr, dynamic_cast<FBL_FieldSorterStr*>(probe.get()));

  std::mt19937_64 random(5);
  std::vector<std::string> texts(4000);
  for (std::string& t : texts) t = RandomText(random, 12);
  texts[7] = std::string(255, 'z');  // the longest key
  std::vector<const char*> values;
  for (const std::string& t : texts) values.push_back(t.c_str());
  std::vector<REC_ID> ids = Ascending(values.size());
  std::shuffle(ids.begin(), ids.end(), random);

  const Entries one = Sort(field, values, ids);
  ASSERT_EQ(texts.size(), one.size());
  ExpectOrdered(field, one);
  EXPECT_EQ(std::string(1, char(255)) + texts[7], one.back().first);

  FBL_SetSorterBudget(3000);
  uint32_t runs = 0;
  EXPECT_EQ(one, Sort(field, values, ids, &runs));
  EXPECT_GT(runs, 10u);
}

TEST_P(StringSorterTest, ByWordsFieldPushesEachDistinctWordOnce) {
  WordFieldDouble field(kFieldByWords, GetParam());
  std::vector<const char*> values = {"red green red", "", "blue  red", "green"};
  const Entries out = Sort(field, values, Ascending(values.size()));
  std::vector<std::pair<std::string, REC_ID>> expected = {
      {"\4blue", 3}, {"\5green", 1}, {"\5green", 4}, {"\3red", 1}, {"\3red", 3}};
  EXPECT_EQ(expected, out);

  FBL_SetSorterBudget(16);  // a word or two a batch
  EXPECT_EQ(expected, Sort(field, values, Ascending(values.size())));
}

}  // namespace
}  // namespace ztest
