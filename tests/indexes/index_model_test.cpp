// Field indexes against a model: random adds, updates and deletes through
// an indexed table, checked every 1,000 steps against a map of the alive
// records (equality and range searches into both kinds of set, index
// order, FindFirst, the entry count), with reopenings between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/indexes/index_fixture.h"

namespace {

using ztest::IndexTest;
using ztest::IndexTextField;

enum class Type { kLong, kText, kByte };

struct Kind {
  const char* name;
  Type type;
  bool unique;
  int range;           // values 0..range - 1
  bool bytes = false;  // texts compare as bytes (by their 8-byte prefixes)
};

#if defined(__SANITIZE_ADDRESS__)
constexpr int kSteps = 40000;
constexpr int kReopenEvery = 10000;
#else
constexpr int kSteps = 200000;
constexpr int kReopenEvery = 20000;
#endif
constexpr int kCheckEvery = 1000;

class IndexModelTest : public IndexTest, public ::testing::WithParamInterface<Kind> {
 protected:
  void SetUp() override {
    IndexTest::SetUp();
    CreateDb();
    const Kind kind = GetParam();
    const uint16_t flags = kind.unique ? kFieldUnique : kFieldIndexed;
    MakeTable([kind, flags](FBL_Table& t) {
      if (kind.type == Type::kText) {
        AddText(t, "f", flags).mBytes = kind.bytes;
      } else {
        t.AddField(zv::MakeField(kind.type == Type::kLong ? kTypeLong : kTypeByte, "f", flags));
      }
    });
  }

  // Values map to keys in the same order: Long v * 3 - 100000, Text the
  // 5-digit decimal, Byte v.
  std::string KeyOf(int v) const {
    switch (GetParam().type) {
      case Type::kLong:
        return LongKey(v * 3 - 100000);
      case Type::kText: {
        char text[8];
        std::snprintf(text, sizeof text, "%05d", v);
        return IndexTextField::Key(text);
      }
      case Type::kByte:
        return std::string(1, static_cast<char>(v));
    }
    return {};
  }
  void SetValue(int v) {
    switch (GetParam().type) {
      case Type::kLong: {
        int32_t n = v * 3 - 100000;
        F(1).SetValue(&n);
        break;
      }
      case Type::kText: {
        char text[8];
        std::snprintf(text, sizeof text, "%05d", v);
        Text(1).SetText(text);
        break;
      }
      case Type::kByte: {
        uint8_t b = static_cast<uint8_t>(v);
        F(1).SetValue(&b);
        break;
      }
    }
  }

  // The model's RecIDs with values in [lo, hi], in index order (from the
  // sorted copy Check makes).
  std::vector<REC_ID> Expected(int lo, int hi) const {
    auto from = std::lower_bound(mSorted.begin(), mSorted.end(), std::pair<int, REC_ID>(lo, 0));
    std::vector<REC_ID> out;
    for (auto it = from; it != mSorted.end() && it->first <= hi; ++it) out.push_back(it->second);
    return out;
  }

  int FreeValue() {
    const Kind kind = GetParam();
    if (!kind.unique) return std::uniform_int_distribution<int>(0, kind.range - 1)(mRandom);
    if (mUsed.size() >= size_t(kind.range)) return -1;
    for (;;) {
      int v = std::uniform_int_distribution<int>(0, kind.range - 1)(mRandom);
      if (mUsed.count(v) == 0) return v;
    }
  }
  REC_ID RandomAlive() {
    auto it = mModel.begin();
    std::advance(it, std::uniform_int_distribution<size_t>(0, mModel.size() - 1)(mRandom) % 64);
    // Walk further for larger tables without an O(n) advance each step.
    if (mModel.size() > 64) {
      REC_ID probe = std::uniform_int_distribution<REC_ID>(1, mModel.rbegin()->first)(mRandom);
      auto at = mModel.lower_bound(probe);
      if (at != mModel.end()) it = at;
    }
    return it->first;
  }

  void Add() {
    if (GetParam().unique && !mModel.empty() && mRandom() % 8 == 0) {
      // A value a record holds is refused before anything changes.
      SetValue(mModel[RandomAlive()]);
      const uint32_t count = mTable->GetRecordCount();
      ASSERT_EQ(ztest::ErrorCode([&] { mTable->AddRecord(); }), 344);
      ASSERT_EQ(mTable->GetRecordCount(), count);
      return;
    }
    int v = FreeValue();
    if (v < 0) return;
    SetValue(v);
    REC_ID r = mTable->AddRecord();
    mModel[r] = v;
    if (GetParam().unique) mUsed.insert(v);
  }
  void Update() {
    if (mModel.empty()) return;
    REC_ID r = RandomAlive();
    ASSERT_TRUE(mTable->GoToRecord(r));
    if (GetParam().unique && mModel.size() > 1 && mRandom() % 8 == 0) {
      // A value another record holds is refused; nothing changes.
      REC_ID other = RandomAlive();
      if (other != r) {
        SetValue(mModel[other]);
        ASSERT_EQ(ztest::ErrorCode([&] { mTable->UpdateRecord(); }), 344);
        return;
      }
    }
    int v = FreeValue();
    if (v < 0) return;
    SetValue(v);
    mTable->UpdateRecord();
    if (GetParam().unique) {
      mUsed.erase(mModel[r]);
      mUsed.insert(v);
    }
    mModel[r] = v;
  }
  void Delete() {
    if (mModel.empty()) return;
    REC_ID r = RandomAlive();
    ASSERT_TRUE(mTable->GoToRecord(r));
    ASSERT_TRUE(mTable->DeleteRecord());
    if (GetParam().unique) mUsed.erase(mModel[r]);
    mModel.erase(r);
  }

  void Check(int step) {
    SCOPED_TRACE("step " + std::to_string(step));
    mSorted.clear();
    for (auto [r, v] : mModel) mSorted.emplace_back(v, r);
    std::sort(mSorted.begin(), mSorted.end());
    FBL_SecondaryIndex& index = Index(1);
    ASSERT_EQ(index.GetEntryCount(), mModel.size());
    const int range = GetParam().range;
    ASSERT_EQ(Items(*index.SelectRangeAsArray(true, nullptr, nullptr, true)), Expected(0, range));
    for (int i = 0; i < 5; ++i) {
      int v = std::uniform_int_distribution<int>(0, range - 1)(mRandom);
      std::string key = KeyOf(v);
      std::vector<REC_ID> expected = Expected(v, v);
      ASSERT_EQ(Items(*index.SelectRangeAsArray(true, K(key), K(key), true)), expected) << v;
      ASSERT_EQ(Members(*index.SelectRange(true, K(key), K(key), true)), expected) << v;
      SetValue(v);
      REC_ID first = 0;
      ASSERT_EQ(index.FindFirst(first), !expected.empty());
      ASSERT_EQ(first, expected.empty() ? 0 : expected[0]);
    }
    for (int i = 0; i < 3; ++i) {
      int a = std::uniform_int_distribution<int>(0, range - 1)(mRandom);
      int b = std::uniform_int_distribution<int>(0, range - 1)(mRandom);
      if (a > b) std::swap(a, b);
      bool left = mRandom() % 2, right = mRandom() % 2;
      std::vector<REC_ID> expected = Expected(left ? a : a + 1, right ? b : b - 1);
      std::string ka = KeyOf(a), kb = KeyOf(b);
      ASSERT_EQ(Items(*index.SelectRangeAsArray(left, K(ka), K(kb), right)), expected);
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(Members(*index.SelectRange(left, K(ka), K(kb), right)), expected);
      // Open sides.
      ASSERT_EQ(Items(*index.SelectRangeAsArray(true, nullptr, K(kb), right)),
                Expected(0, right ? b : b - 1));
      ASSERT_EQ(Items(*index.SelectRangeAsArray(left, K(ka), nullptr, true)),
                Expected(left ? a : a + 1, range));
    }
  }

  void Run() {
    for (int step = 1; step <= kSteps; ++step) {
      unsigned op = mRandom() % 100;
      if (op < 45) {
        Add();
      } else if (op < 70) {
        Update();
      } else {
        Delete();
      }
      if (HasFatalFailure()) return;
      if (step % kCheckEvery == 0) {
        Check(step);
        if (HasFatalFailure()) return;
      }
      if (step % kReopenEvery == 0) {
        Reopen();
        Index(1).CheckPages();
      }
    }
  }

  std::mt19937 mRandom{20261208};
  std::map<REC_ID, int> mModel;
  std::set<int> mUsed;
  std::vector<std::pair<int, REC_ID>> mSorted;
};

}  // namespace

TEST_P(IndexModelTest, AgreesWithAMapOfTheRecords) {
  Run();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IndexModelTest,
    ::testing::Values(
        Kind{"UniqueLong", Type::kLong, true, 100000}, Kind{"Long", Type::kLong, false, 30000},
        Kind{"LowCardinalityLong", Type::kLong, false, 4},
        Kind{"UniqueText", Type::kText, true, 100000}, Kind{"Text", Type::kText, false, 30000},
        Kind{"LowCardinalityText", Type::kText, false, 3},
        Kind{"UniqueTextAsBytes", Type::kText, true, 100000, true},
        Kind{"TextAsBytes", Type::kText, false, 30000, true},
        Kind{"UniqueByte", Type::kByte, true, 256}, Kind{"Byte", Type::kByte, false, 256},
        Kind{"LowCardinalityByte", Type::kByte, false, 2}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });
