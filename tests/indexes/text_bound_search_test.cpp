// Range searches with bounds given as text, on every kind of column that
// has an index: the bounds are read as SetString reads them, a null bound
// is open, and the field's own value stays.
#include <gtest/gtest.h>

#include "kernel/tables/numeric_fields.h"
#include "tests/indexes/index_fixture.h"

namespace {

using ztest::IndexTest;

struct Case {
  uint8_t type;
  std::vector<const char*> values;
  const char* left;
  const char* right;
  std::vector<REC_ID> within;  // left and right included
  std::vector<REC_ID> below;   // up to right, excluded
};

}  // namespace

TEST_F(IndexTest, TextBoundsSearchEveryIndexedType) {
  const std::vector<Case> cases = {
      {kTypeLong, {"12", "-3", "5", "40", "5"}, "5", "12", {1, 3, 5}, {2, 3, 5}},
      {kTypeULLong,
       {"18446744073709551615", "1", "7"},
       "2",
       "18446744073709551615",
       {1, 3},
       {2, 3}},
      {kTypeDouble, {"2.5", "-0.25", "2.75", "1e3"}, "-0.25", "2.75", {1, 2, 3}, {1, 2}},
      {kTypeDate,
       {"12/31/1999", "01/01/2000", "02/29/2004"},
       "1/1/2000",
       "12/31/2004",
       {2, 3},
       {1, 2, 3}},
      {kTypeTime, {"23:59:59", "00:00:01", "12:00:00"}, "0:0:1", "12:0:0", {2, 3}, {2}},
      {kTypeBoolean, {"1", "0", "true"}, "1", "1", {1, 3}, {2}},
      {kTypeString, {"pear", "apple", "plum", "apricot"}, "ap", "pl", {1, 2, 4}, {1, 2, 4}},
      {kTypeVarChar, {"pear", "apple", "plum", "apricot"}, "ap", "pl", {1, 2, 4}, {1, 2, 4}},
  };
  CreateDb();
  for (const Case& c : cases) {
    SCOPED_TRACE(zv::TypeName(c.type));
    MakeTable([&](FBL_Table& t) { t.AddField(zv::MakeField(c.type, "f", kFieldIndexed)); });
    for (const char* v : c.values) {
      F(1).SetString(v);
      mTable->AddRecord();
    }
    ASSERT_TRUE(mTable->GoToRecord(1));
    const std::string own = F(1).GetString();
    EXPECT_EQ(Members(*F(1).FindRangeByText(c.left, true, c.right, true)), c.within);
    EXPECT_EQ(Members(*F(1).FindRangeByText(nullptr, false, c.right, false)), c.below);
    EXPECT_EQ(F(1).GetString(), own);
    EXPECT_FALSE(F(1).IsDirty());
    // A change not written yet stays through a search too.
    F(1).SetString(c.values[1]);
    const std::string changed = F(1).GetString();
    EXPECT_EQ(Members(*F(1).FindRangeByText(c.left, true, c.right, true)), c.within);
    EXPECT_EQ(F(1).GetString(), changed);
    EXPECT_TRUE(F(1).IsDirty());
    mTable->DropFiles();
    mTable.reset();
  }
}
