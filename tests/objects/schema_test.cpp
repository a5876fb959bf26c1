// The schema kept in sysItemDescription and sysItem: the dictionary, the
// Database item, table lookups and IDs, and what survives close and reopen.
#include <gtest/gtest.h>

#include "kernel/tables/field_types.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "tests/objects/object_fixture.h"

namespace {

using ztest::ObjectTest;

TEST_F(ObjectTest, NewDatabaseHasTheDictionaryAndEightDatabaseProperties) {
  Create();
  OBL_SysItem& sys = mDb->GetSysItem();
  EXPECT_EQ(sys.GetDescriptions().GetStore().GetRecordCount(), 83u);
  ASSERT_NE(mDb->GetDatabaseItem(), 0u);
  const auto items = sys.TakeSnapshot();
  EXPECT_EQ(items.mChildren.at(mDb->GetDatabaseItem()).size(), 8u);
  EXPECT_EQ(items.Find(mDb->GetDatabaseItem(), kPropDbEncryptedExample), nullptr);
  // Owners: a property's description points to its top-level kind.
  const REC_ID field = sys.GetDescriptions().Find(kItemField);
  const REC_ID type = sys.GetDescriptions().Find(kPropType);
  EXPECT_EQ(field, 3u);
  EXPECT_EQ(type, 44u);
  // Synchronising a full dictionary adds nothing, twice.
  EXPECT_EQ(sys.GetDescriptions().Synchronise(), 0u);
  EXPECT_EQ(sys.GetDescriptions().Synchronise(), 0u);
}

TEST_F(ObjectTest, TablesAreFoundWithoutRegardToCaseAndTemporaryOnesAreNeverStored) {
  Create();
  mDb->MakeNewBaseObject("Person");
  OBL_BaseObject& temp = mDb->MakeTemporaryBaseObject("Scratch");
  EXPECT_LT(temp.GetID(), 0);
  AddField(temp, "x", kTypeLong);
  EXPECT_EQ(mDb->FindBaseObject("PERSON"), mDb->FindBaseObject("person"));
  EXPECT_NE(mDb->FindBaseObject("pErSoN"), nullptr);
  EXPECT_NE(mDb->FindBaseObject("sysitem"), nullptr);
  EXPECT_EQ(mDb->FindBaseObject("nobody"), nullptr);
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->MakeNewBaseObject("PERSON"); }), 501);
  Reopen();
  EXPECT_EQ(mDb->GetBaseObjectCount(), 1u);
  EXPECT_EQ(mDb->FindBaseObject("Scratch"), nullptr);
}

TEST_F(ObjectTest, NextTableIdFollowsTheLargestWhenTheStoredOneIsZero) {
  Create();
  mDb->MakeNewBaseObject("a");
  mDb->MakeNewBaseObject("b");
  mDb->MakeNewBaseObject("c");
  mDb->RemoveBaseObject(Table("b"));
  for (int i = 0; i < 4; ++i) mDb->MakeNewBaseObject("t" + std::to_string(i));
  mDb->RemoveBaseObject(Table("t0"));
  mDb->RemoveBaseObject(Table("t1"));
  mDb->RemoveBaseObject(Table("t2"));
  ASSERT_EQ(Table("c").GetID(), 3);
  ASSERT_EQ(Table("t3").GetID(), 7);
  mDb->RemoveBaseObject(Table("a"));
  OBL_SysItem& sys = mDb->GetSysItem();
  sys.SetInteger(kPropBaseObjectLastID, mDb->GetDatabaseItem(), 0);
  mDb->Flush();
  Reopen();
  EXPECT_EQ(mDb->GetBaseObjectLastID(), 7);
  EXPECT_EQ(mDb->MakeNewBaseObject("next").GetID(), 8);
}

}  // namespace
