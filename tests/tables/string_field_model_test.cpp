// String and binary columns against a model: random adds, updates,
// deletions, nulls and reopenings in either byte order.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>

#include "kernel/tables/binary_fields.h"
#include "kernel/tables/string_fields.h"
#include "tests/support/key_index.h"

namespace {

using namespace ztest;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kSteps = 1500;
#else
constexpr int kSteps = 6000;
#endif

struct Row {
  std::optional<std::string> text, var;
  std::string fixed, bytes;
};

class StringFieldModelTest : public StringTableTest,
                             public ::testing::WithParamInterface<FBL_ByteOrder> {
 protected:
  // Random bytes of the whole 8-bit range (no NUL in texts).
  std::string Random(std::mt19937& rng, uint32_t max, bool text) {
    std::string s(rng() % (max + 1), '\0');
    for (char& c : s) c = static_cast<char>(text ? 1 + rng() % 255 : rng() % 256);
    return s;
  }
  void Fill(std::mt19937& rng, Row& row) {
    row.text = rng() % 5 == 0 ? std::nullopt : std::optional(Random(rng, 12, true));
    row.var = rng() % 5 == 0 ? std::nullopt : std::optional(Random(rng, 300, true));
    row.fixed = Random(rng, 6, false);
    row.bytes = Random(rng, 40, false);
    F(1).SetNull(!row.text);
    if (row.text) F(1).SetString(*row.text);
    F(2).SetNull(!row.var);
    if (row.var) F(2).SetString(*row.var);
    As<BF_FixedBinary>(3).SetData(row.fixed.data(), static_cast<uint32_t>(row.fixed.size()));
    As<BF_VarBinary>(4).SetData(row.bytes.data(), static_cast<uint32_t>(row.bytes.size()));
  }
  void Check(const std::map<REC_ID, Row>& model) {
    for (const auto& [r, row] : model) {
      ASSERT_TRUE(mTable->GoToRecord(r));
      ASSERT_EQ(F(1).IsNull(), !row.text) << r;
      ASSERT_EQ(F(1).GetString(), row.text.value_or("")) << r;
      ASSERT_EQ(F(2).IsNull(), !row.var) << r;
      ASSERT_EQ(F(2).GetString(), row.var.value_or("")) << r;
      ASSERT_EQ(As<BF_FixedBinary>(3).GetContent(), row.fixed) << r;
      ASSERT_EQ(As<BF_VarBinary>(4).GetContent(), row.bytes) << r;
    }
  }
};

TEST_P(StringFieldModelTest, ValuesReadBackAsTheModelHoldsThem) {
  CreateDb(GetParam());
  MakeTable({{kTypeString, kFieldNullable, 12},
        {kTypeVarChar, kFieldNullable, 300},
        {kTypeFixedBinary, 0, 6},
        {kTypeVarBinary, 0, 40}});
  std::mt19937 rng(11 + static_cast<int>(GetParam()));
  std::map<REC_ID, Row> model;
  for (int step = 0; step < kSteps; ++step) {
    uint32_t op = rng() % 100;
    if (op < 50 || model.empty()) {
      Row row;
      Fill(rng, row);
      model[mTable->AddRecord()] = row;
    } else if (op < 80) {
      auto it = std::next(model.begin(), rng() % model.size());
      mTable->GoToRecord(it->first);
      Fill(rng, it->second);
      mTable->UpdateRecord();
    } else if (op < 99) {
      auto it = std::next(model.begin(), rng() % model.size());
      mTable->GoToRecord(it->first);
      mTable->DeleteRecord();
      model.erase(it);
    } else {
      Reopen();
      Check(model);
    }
  }
  Reopen();
  Check(model);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, StringFieldModelTest,
                         ::testing::Values(FBL_ByteOrder::kDefault, FBL_ByteOrder::kBigEndian));

}  // namespace
