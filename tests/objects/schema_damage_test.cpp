// A damaged sysItem opens with a clear error or a documented default,
// never a crash.
#include <gtest/gtest.h>

#include "kernel/tables/field_types.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "tests/objects/object_fixture.h"

namespace {

class SchemaDamageTest : public ztest::ObjectTest {
 protected:
  void SetUp() override {
    ObjectTest::SetUp();
    Create();
    OBL_BaseObject& t = mDb->MakeNewBaseObject("T");
    AddField(t, "a", kTypeLong);
    AddField(t, "b", kTypeVarChar);
    Add(t, {"7", "seven"});
  }
  REC_ID FieldItem(const char* name) {
    OBL_BaseObject& t = Table("T");
    return t.GetFieldItem(*t.GetField(name));
  }
  // Sets a pointer column of an item's record as it is stored.
  void SetItemPointer(REC_ID item, const char* column, uint32_t value) {
    OBL_SysItem& sys = mDb->GetSysItem();
    FBL_BaseField* field = sys.GetField(column);
    field->SetFromBits(value, false);
    FBL_BaseField* fields[] = {field};
    sys.GetStore().UpdateFieldsByID(item, fields, false);
    mDb->Flush();
  }
  int ReopenCode() {
    return ztest::ErrorCode([&] { Reopen(); });
  }
};

TEST_F(SchemaDamageTest, AnItemThatLostItsParentIsNotReached) {
  SetItemPointer(FieldItem("b"), "ParentPtr", 9999);
  ASSERT_EQ(ReopenCode(), 0);
  EXPECT_EQ(Table("T").GetFieldCount(), 1u);
  EXPECT_EQ(Value(Table("T"), 1, "a"), "7");
}

TEST_F(SchemaDamageTest, AFieldWithoutTypeOrOfAnUnknownTypeIsAnError) {
  mDb->GetSysItem().DeleteItem(kPropType, FieldItem("a"));
  mDb->Flush();
  EXPECT_EQ(ReopenCode(), 321);
  EXPECT_FALSE(mDb->IsOpen());
  SetUp();
  mDb->GetSysItem().SetInteger(kPropType, FieldItem("b"), 99);
  mDb->Flush();
  EXPECT_EQ(ReopenCode(), 321);
  SetUp();
  mDb->GetSysItem().SetText(kPropType, FieldItem("b"), "junk");
  mDb->Flush();
  EXPECT_EQ(ReopenCode(), 321);
}

TEST_F(SchemaDamageTest, AnItemOfAnUnknownKindAndAMissingParentTableAreHandled) {
  // An item whose kind is no description: ignored.
  SetItemPointer(FieldItem("a"), "ItemDescrPtr", 500);
  ASSERT_EQ(ReopenCode(), 0);
  EXPECT_EQ(Table("T").GetFieldCount(), 1u);
  // A child naming a parent that is not there: an error.
  OBL_BaseObject& child = mDb->MakeNewBaseObject("C", &Table("T"));
  mDb->GetSysItem().SetText(kPropParent, child.GetItemID(), "Gone");
  mDb->Flush();
  EXPECT_EQ(ReopenCode(), 321);
}

}  // namespace
