// Schema changes reach the table's OnSchemaChange exactly when they are
// made with persist set, once each; ReplaceField converts every value.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kernel/tables/blob_fields.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::TableTest;

using Change = std::pair<FBL_SchemaChange, std::string>;

class RecordingTable : public FBL_IndexedTable {
 public:
  using FBL_IndexedTable::FBL_IndexedTable;
  void OnSchemaChange(FBL_SchemaChange change, FBL_BaseField* field) override {
    mChanges.emplace_back(change, field != nullptr ? field->GetName() : "");
  }
  std::vector<Change> mChanges;
};

class SchemaChangeTest : public TableTest {
 protected:
  // Long, String, Text, BLOB, ObjectPtr, Long, Double.
  void Make() {
    auto table = std::make_unique<RecordingTable>(*mDb, 1);
    mRecorder = table.get();
    mTable = std::move(table);
    mTable->SetIndexFactory(&mFactory);
    mTable->AddField(zv::MakeField(kTypeLong, "n", 0));
    mTable->AddField(zv::MakeField(kTypeString, "s", kFieldIndexed | kFieldUnique, 8));
    mTable->AddField(zv::MakeField(kTypeText, "t", 0));
    mTable->AddField(zv::MakeField(kTypeBLOB, "b", 0));
    mTable->AddField(zv::MakeField(kTypeObjectPtr, "p", 0));
    mTable->AddField(zv::MakeField(kTypeLong, "m", 0));
    mTable->AddField(zv::MakeField(kTypeDouble, "d", 0));
    mTable->Open();
  }
  RecordingTable* mRecorder = nullptr;
};

struct Case {
  const char* what;
  // Makes the change with the persist flag given.
  std::function<void(FBL_Table&, bool)> change;
  std::vector<Change> expected;
  // Searches make an index for good, persisted whatever the caller asks.
  bool always = false;
};

}  // namespace

TEST_F(SchemaChangeTest, EveryPersistedChangeIsReportedOnce) {
  using S = FBL_SchemaChange;
  auto str = [](FBL_Table& t) -> BF_STRING& { return static_cast<BF_STRING&>(*t.GetField(2)); };
  const std::vector<Case> cases = {
      {"table name", [](FBL_Table& t, bool p) { t.SetName("people", p); }, {{S::kTableName, ""}}},
      {"field name",
       [](FBL_Table& t, bool p) { t.GetField(1)->SetName("count", p); },
       {{S::kFieldName, "count"}}},
      {"flag added",
       [](FBL_Table& t, bool p) { t.GetField(1)->AddFlags(kFieldNullable, p); },
       {{S::kFieldFlags, "count"}}},
      {"flag there already",
       [](FBL_Table& t, bool p) { t.GetField(1)->AddFlags(kFieldNullable, p); },
       {}},
      {"flag removed",
       [](FBL_Table& t, bool p) { t.GetField(1)->RemoveFlags(kFieldNullable, p); },
       {{S::kFieldFlags, "count"}}},
      {"search makes an index for good",
       [](FBL_Table& t, bool) {
         int32_t v = 1;
         t.GetField(1)->FindValue(&v);
       },
       {{S::kFieldFlags, "count"}},
       true},
      // Unique goes first (persisted), then the by-words bit comes.
      {"by words on a unique string",
       [](FBL_Table& t, bool p) { t.GetField(2)->AddFlags(kFieldByWords, p); },
       {{S::kFieldFlags, "s"}, {S::kFieldFlags, "s"}}},
      {"string language",
       [&](FBL_Table& t, bool p) { str(t).SetLanguage("English", p); },
       {{S::kFieldLanguage, "s"}}},
      {"text language",
       [](FBL_Table& t, bool p) { static_cast<BF_TEXT&>(*t.GetField(3)).SetLanguage("German", p); },
       {{S::kFieldLanguage, "t"}}},
      {"BLOB segment",
       [](FBL_Table& t, bool p) { static_cast<BF_BLOB&>(*t.GetField(4)).SetSegmentSize(512, p); },
       {{S::kFieldStorage, "b"}}},
      {"BLOB compression",
       [](FBL_Table& t, bool p) {
         static_cast<BF_BLOB&>(*t.GetField(4)).SetCompressionLevel(3, p);
       },
       {{S::kFieldStorage, "b"}}},
      {"pointer target",
       [](FBL_Table& t, bool p) {
         static_cast<F_ObjectPTR&>(*t.GetField(5)).SetTargetTable(&t, p);
       },
       {{S::kFieldTarget, "p"}}},
      {"method",
       [](FBL_Table& t, bool p) { t.GetField(6)->SetMethodText("count * 2", p); },
       {{S::kFieldMethod, "m"}}},
      {"type",
       [](FBL_Table& t, bool p) {
         t.ReplaceField(*t.GetField(7), zv::MakeField(kTypeLong, "d", 0), p);
       },
       {{S::kFieldType, "d"}}},
      {"length",
       [](FBL_Table& t, bool p) {
         t.ReplaceField(*t.GetField(2), zv::MakeField(kTypeString, "s", 0, 4), p);
       },
       {{S::kFieldLength, "s"}}},
  };
  CreateDb();
  for (bool persist : {false, true}) {
    Make();
    for (const Case& c : cases) {
      mRecorder->mChanges.clear();
      c.change(*mTable, persist);
      EXPECT_EQ(mRecorder->mChanges, persist || c.always ? c.expected : std::vector<Change>{})
          << c.what << (persist ? " persisted" : "");
    }
    mTable->DropFiles();
    mTable.reset();
  }
}

TEST_F(SchemaChangeTest, ReplaceFieldConvertsEveryValueInPlace) {
  CreateDb();
  Make();
  auto& d = static_cast<BF_DOUBLE&>(F(7));
  for (double v : {2.7, -2.7, 41.0}) {
    d.Set(v);
    F(2).SetString(std::to_string(static_cast<int>(v * 1000)));
    mTable->AddRecord();
  }
  ASSERT_TRUE(mTable->GoToRecord(2));
  FBL_BaseField& doubleField = F(7);
  const uint32_t number = doubleField.GetFieldNumber();
  std::unique_ptr<FBL_BaseField> old =
      mTable->ReplaceField(doubleField, zv::MakeField(kTypeLong, "d", 0), false);
  EXPECT_EQ(old.get(), &doubleField);
  ASSERT_EQ(F(7).GetType(), kTypeLong);
  EXPECT_EQ(F(7).GetFieldNumber(), number);
  EXPECT_EQ(static_cast<BF_LONG&>(F(7)).Get(), -2);  // the current record, loaded
  // Strings cut to the new length; its index is made again.
  mTable->ReplaceField(F(2), zv::MakeField(kTypeString, "s", kFieldIndexed, 3), false);
  EXPECT_EQ(F(2).GetIndex() != nullptr, true);
  std::vector<std::string> seen;
  for (bool ok = mTable->FirstRecord(); ok; ok = mTable->NextRecord()) {
    seen.push_back(F(7).GetString() + " " + F(2).GetString());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"2 270", "-2 -27", "41 410"}));
  // The field list keeps its order and its numbers across a reopening.
  mTable->Reopen();
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(F(7).GetString(), "41");
  EXPECT_EQ(F(1).GetName(), "n");
  EXPECT_EQ(F(7).GetName(), "d");
}
