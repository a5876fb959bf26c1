// Column changes that reach the index: a replaced column gets its index
// built afresh (and a unique one over values that became equal leaves the
// table as it was), a new language orders the index anew.
#include <gtest/gtest.h>

#include "kernel/storage/embedded_file.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "tests/indexes/index_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::IndexTest;

using ColumnChangeTest = IndexTest;

}  // namespace

TEST_F(ColumnChangeTest, ReplacedColumnIsIndexedAfreshOrNotReplacedAtAll) {
  CreateDb();
  MakeTable([](FBL_Table& t) {
    t.AddField(zv::MakeField(kTypeDouble, "d", kFieldIndexed));
    t.AddField(zv::MakeField(kTypeLong, "n", 0));
  });
  auto& d = static_cast<BF_DOUBLE&>(F(1));
  for (double v : {1.25, 1.75, 3.5, -0.5}) {
    d.Set(v);
    mTable->AddRecord();
  }
  // 1.25 and 1.75 both become 1: no unique index over them.
  EXPECT_EQ(ErrorCode([&] {
              mTable->ReplaceField(F(1), zv::MakeField(kTypeLong, "d", kFieldUnique), true);
            }),
            344);
  ASSERT_EQ(F(1).GetType(), kTypeDouble);
  // Nothing is left under the spare field number either.
  FBL_DataFile& volume = *mDb->GetRecordVolume();
  EXPECT_FALSE(FBL_EmbededFile(volume, 1, kKindValues, 3).Exists());
  double v = 1.75;
  EXPECT_EQ(Members(*F(1).FindValue(&v)), (std::vector<REC_ID>{2}));
  Index(1).CheckPages();

  // Not unique, the values convert and the new index finds them.
  mTable->ReplaceField(F(1), zv::MakeField(kTypeLong, "d", kFieldIndexed), true);
  ASSERT_EQ(F(1).GetType(), kTypeLong);
  EXPECT_EQ(Index(1).GetEntryCount(), 4u);
  int32_t one = 1;
  EXPECT_EQ(Members(*F(1).FindValue(&one)), (std::vector<REC_ID>{1, 2}));
  // The kernel keeps no schema: the table is made again as it now is.
  mMaker = [](FBL_Table& t) {
    t.AddField(zv::MakeField(kTypeLong, "d", kFieldIndexed));
    t.AddField(zv::MakeField(kTypeLong, "n", 0));
  };
  Reopen();
  Index(1).CheckPages();
  EXPECT_EQ(Members(*F(1).FindValue(&one)), (std::vector<REC_ID>{1, 2}));
}

TEST_F(ColumnChangeTest, NewLanguageOrdersTheIndexAnew) {
  CreateDb();
  MakeTable([](FBL_Table& t) { t.AddField(zv::MakeField(kTypeString, "s", kFieldIndexed, 4)); });
  for (const char* text : {"b", "B", "a", "A"}) {
    F(1).SetString(text);
    mTable->AddRecord();
  }
  // Byte order: A < B < a < b.
  auto& s = static_cast<BF_STRING&>(F(1));
  EXPECT_EQ(Members(*s.FindRangeByText("A", true, "B", true)), (std::vector<REC_ID>{2, 4}));
  ASSERT_TRUE(s.SetLanguage("English", true));
  Index(1).CheckPages();
  // English: a < A < b < B.
  EXPECT_EQ(Members(*s.FindRangeByText("A", true, "B", true)), (std::vector<REC_ID>{1, 2, 4}));
}
