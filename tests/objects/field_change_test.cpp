// Schema changes of a table's fields: each one made whole in the schema
// items (what a reopen reads back), refused ones leaving nothing behind.
#include <gtest/gtest.h>

#include "kernel/tables/field_types.h"
#include "kernel/tables/string_fields.h"
#include "objects/system_tables.h"
#include "tests/objects/object_fixture.h"

namespace {

class FieldChangeTest : public ztest::ObjectTest {
 protected:
  void SetUp() override {
    ObjectTest::SetUp();
    Create();
    OBL_BaseObject& t = mDb->MakeNewBaseObject("T");
    AddField(t, "a", kTypeLong, 0, kFieldIndexed);
    AddField(t, "b", kTypeVarChar, 30, kFieldIndexed);
    AddField(t, "c", kTypeLong, 0, kFieldNullable);
    for (int i = 1; i <= 5; ++i)
      Add(t, {std::to_string(i), "text " + std::to_string(i), std::to_string(i * 10)});
  }
  uint32_t Items() { return mDb->GetSysItem().GetStore().GetRecordCount(); }
  std::string Column(const std::string& field) {
    std::string all;
    OBL_BaseObject& t = *mDb->GetBaseObject(1);
    for (REC_ID r : Alive(t)) all += Value(t, r, field) + ";";
    return all;
  }
};

TEST_F(FieldChangeTest, RefusedNewFieldsChangeNothing) {
  const uint32_t items = Items();
  const std::string schema = Describe();
  OBL_BaseObject& t = Table("T");
  EXPECT_EQ(ztest::ErrorCode([&] { AddField(t, "B", kTypeLong); }), 346);
  EXPECT_EQ(ztest::ErrorCode([&] { AddField(t, "recid", kTypeLong); }), 346);
  EXPECT_EQ(ztest::ErrorCode([&] { AddField(t, "x", 11); }), 349);
  EXPECT_EQ(ztest::ErrorCode([&] { AddField(t, "x", kTypeRecID); }), 349);
  EXPECT_EQ(Items(), items);
  EXPECT_EQ(Describe(), schema);
  EXPECT_EQ(t.GetField("RECID"), &t.GetRecIDField());
}

TEST_F(FieldChangeTest, RemovedFieldTakesItsDataIndexAndItemsAndLaterFieldsMoveUp) {
  const uint32_t items = Items();
  OBL_BaseObject& t = Table("T");
  t.RemoveField(*t.GetField("b"));
  EXPECT_LT(Items(), items - 10);
  EXPECT_EQ(t.GetFieldCount(), 2u);
  EXPECT_EQ(t.GetField(2)->GetName(), "c");
  EXPECT_EQ(t.GetField(2)->GetFieldNumber(), 3u);  // RecID is 1
  Reopen();
  EXPECT_EQ(Column("a"), "1;2;3;4;5;");
  EXPECT_EQ(Column("c"), "10;20;30;40;50;");
  EXPECT_EQ(Table("T").GetField("b"), nullptr);
  uint32_t three = 3;
  EXPECT_EQ(Table("T").GetField("a")->FindValue(&three)->Count(), 1u);
}

TEST_F(FieldChangeTest, TypeChangesConvertEveryValueAndBlobsAndPointersKeepTheirType) {
  OBL_BaseObject& t = Table("T");
  AddField(t, "blob", kTypeBLOB);
  AddPointer(t, "self", t, OBL_DeletionControl::kSetNull);
  EXPECT_EQ(ztest::ErrorCode([&] { t.ChangeFieldType(*t.GetField("blob"), kTypeLong); }), 300);
  EXPECT_EQ(ztest::ErrorCode([&] { t.ChangeFieldType(*t.GetField("self"), kTypeLong); }), 300);
  EXPECT_EQ(ztest::ErrorCode([&] { t.ChangeFieldType(*t.GetField("a"), kTypeBLOB); }), 300);
  t.ChangeFieldType(*t.GetField("a"), kTypeVarChar, 12);
  t.ChangeFieldType(*t.GetField("c"), kTypeDouble);
  EXPECT_EQ(t.GetField("a")->GetType(), kTypeVarChar);
  const std::string schema = Describe();
  Reopen();
  EXPECT_EQ(Describe(), schema);
  EXPECT_EQ(Column("a"), "1;2;3;4;5;");
  EXPECT_EQ(Column("c"), "10;20;30;40;50;");
}

TEST_F(FieldChangeTest, RenamesLengthsLanguagesTargetsAndMethodsReachTheItems) {
  OBL_BaseObject& t = Table("T");
  OBL_BaseObject& child = mDb->MakeNewBaseObject("Child", &t);
  OBL_BaseObject& other = mDb->MakeNewBaseObject("Other");
  AddPointer(other, "to", t, OBL_DeletionControl::kCascade);
  EXPECT_EQ(ztest::ErrorCode([&] { t.RenameField(*t.GetField("a"), "C"); }), 346);
  // A child's own field name clashes with its parent's new one.
  AddField(child, "own", kTypeLong);
  EXPECT_EQ(ztest::ErrorCode([&] { AddField(t, "OWN", kTypeLong); }), 346);
  t.RenameField(*t.GetField("a"), "alpha");
  t.SetName("Renamed");
  EXPECT_EQ(ztest::ErrorCode([&] { other.SetName("renamed"); }), 501);
  t.ChangeFieldLength(*t.GetField("b"), 5);
  static_cast<BF_STRING*>(t.GetField("b"))->SetLanguage("Russian", true);
  t.GetField("c")->SetMethodText("alpha * 3", true);
  other.ChangeFieldTarget(*other.GetField("to"), &child, OBL_DeletionControl::kRestrict);
  EXPECT_EQ(Column("b"), "text ;text ;text ;text ;text ;");
  const std::string schema = Describe();
  Reopen();
  EXPECT_EQ(Describe(), schema);
  EXPECT_EQ(Table("Child").GetParent(), &Table("renamed"));
  EXPECT_EQ(Table("Renamed").GetField("c")->GetMethodText(), "alpha * 3");
}

TEST_F(FieldChangeTest, TemporaryTablesKeepNoItems) {
  const uint32_t items = Items();
  OBL_BaseObject& temp = mDb->MakeTemporaryBaseObject("tmp");
  AddField(temp, "x", kTypeLong);
  AddField(temp, "y", kTypeVarChar);
  Add(temp, {"1", "one"});
  temp.RenameField(*temp.GetField("x"), "z");
  temp.ChangeFieldType(*temp.GetField("z"), kTypeDouble);
  temp.RemoveField(*temp.GetField("y"));
  EXPECT_EQ(Value(temp, 1, "z"), "1");
  EXPECT_EQ(Items(), items);
  mDb->RemoveBaseObject(temp);
  EXPECT_EQ(Items(), items);
}

}  // namespace
