// Databases of the other byte order kept in the test tree (other_order/),
// read back by every build: a change that reads its own files but no
// longer those written before fails here.
//
// The files were made once, big-endian, by the disabled test below:
//   test_data --gtest_also_run_disabled_tests --gtest_filter='*DISABLED_Make*'
// It writes into this folder; make them again only when the format
// changes on purpose.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "kernel/indexes/index_factory.h"
#include "kernel/sets/array_set.h"
#include "kernel/storage/database.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/field_types.h"
#include "tests/support/kernel_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kTableId = 1;
const char* const kExtensions[] = {".vdb", ".dat", ".ind"};

fs::path Folder() { return fs::path(__FILE__).parent_path() / "other_order"; }

// Three indexes, one of each page layout with keys (unique, string,
// counted): an index file takes 10 KB at least.
void AddFields(FBL_Table& table) {
  table.AddField(zv::MakeField(kTypeLong, "id", kFieldIndexed | kFieldUnique));
  table.AddField(zv::MakeField(kTypeDouble, "price", kFieldNullable));
  table.AddField(zv::MakeField(kTypeString, "code", 0, 12));
  table.AddField(zv::MakeField(kTypeVarChar, "name", kFieldIndexed, 100));
  table.AddField(zv::MakeField(kTypeMedium, "delta", kFieldIndexed));
  table.AddField(zv::MakeField(kTypeDate, "day", 0));
}

// Record k of 1..5 (record 3 is deleted after the five are added).
struct Row {
  const char* id;
  const char* price;  // "" : null
  const char* code;
  const char* name;
  const char* delta;
  const char* day;
};
constexpr Row kRows[] = {
    {"-7", "2.5", "abc", "first name", "-8000000", "02/29/2004"},
    {"1000000", "", "ABD", "second, a longer name", "16", "12/31/1999"},
    {"3", "3.5", "gone", "deleted", "3", "01/01/2000"},
    {"2147483647", "-1E+300", "abc", "", "8388607", "07/04/1776"},
    {"0", "0", "z", "last", "-1", "01/01/0001"},
};

class OtherOrderFiles : public ztest::KernelTest {
 protected:
  struct Open {
    FBL_DataBase db;
    FBL_SecondaryIndexFactory indexes;
    std::unique_ptr<FBL_IndexedTable> table;
  };
  void Start(Open& o, const std::string& base, bool create) {
    if (create) {
      o.db.Create(base, 1024, 4, FBL_ByteOrder::kBigEndian);
    } else {
      o.db.Open(base, nullptr);
    }
    o.table = std::make_unique<FBL_IndexedTable>(o.db, kTableId);
    o.table->SetIndexFactory(&o.indexes);
    AddFields(*o.table);
    o.table->Open();
  }
  static void Stop(Open& o) {
    o.table.reset();
    o.db.Close();
  }
};

TEST_F(OtherOrderFiles, DISABLED_Make) {
  fs::create_directories(Folder());
  const std::string base = (Folder() / "people").string();
  for (const char* ext : kExtensions) fs::remove(base + ext);
  Open o;
  Start(o, base, true);
  for (const Row& row : kRows) {
    const char* values[] = {row.id, row.price, row.code, row.name, row.delta, row.day};
    for (uint32_t f = 1; f <= 6; ++f) o.table->GetField(f)->SetString(values[f - 1]);
    if (*row.price == '\0') o.table->GetField(2)->SetNull(true);
    o.table->AddRecord();
  }
  ASSERT_TRUE(o.table->GoToRecord(3));
  o.table->DeleteRecord();
  Stop(o);
}

TEST_F(OtherOrderFiles, ReadBackWithTheirValuesAndIndexes) {
  const std::string base = mDir.File("people");
  for (const char* ext : kExtensions) {
    ASSERT_TRUE(fs::exists(Folder() / (std::string("people") + ext))) << ext;
    fs::copy_file(Folder() / (std::string("people") + ext), base + ext);
  }
  Open o;
  Start(o, base, false);
  FBL_Table& t = *o.table;
  EXPECT_EQ(t.GetRecordCount(), 4u);
  EXPECT_EQ(t.GetMaxRecID(), 5u);
  for (REC_ID r = 1; r <= 5; ++r) {
    SCOPED_TRACE(r);
    if (r == 3) {
      EXPECT_FALSE(t.IsRecordAlive(3));
      continue;
    }
    ASSERT_TRUE(t.GoToRecord(r));
    const Row& row = kRows[r - 1];
    EXPECT_EQ(t.GetField(1)->GetString(), row.id);
    EXPECT_EQ(t.GetField(2)->IsNull(), *row.price == '\0');
    EXPECT_EQ(t.GetField(3)->GetString(), row.code);
    EXPECT_EQ(t.GetField(4)->GetString(), row.name);
    EXPECT_EQ(t.GetField(5)->GetString(), row.delta);
    EXPECT_EQ(t.GetField(6)->GetString(), row.day);
  }
  // Each index finds its records by value, and only the alive ones.
  auto find = [&](uint32_t f, const char* text) {
    FBL_BaseField& field = *t.GetField(f);
    field.SetString(text);
    std::vector<uint8_t> value(field.GetBufferSize() + 1);
    field.GetValue(value.data());
    auto found = field.FindValueAsSet(value.data());
    return std::vector<REC_ID>(found->GetItems().begin(), found->GetItems().end());
  };
  EXPECT_EQ(find(1, "2147483647"), std::vector<REC_ID>{4});
  EXPECT_EQ(find(1, "3"), std::vector<REC_ID>{});
  EXPECT_EQ(find(4, "second, a longer name"), std::vector<REC_ID>{2});
  EXPECT_EQ(find(5, "-8000000"), std::vector<REC_ID>{1});
  EXPECT_EQ(find(5, "3"), std::vector<REC_ID>{});
  Stop(o);
}

}  // namespace
