// Files of the older formats, as our own stream writer makes them: opening
// one converts its schema to sysItem and marks it 400, every table, field,
// link and record in place; a damaged stream is refused with 321.
#include <gtest/gtest.h>

#include "kernel/storage/file_stream.h"
#include "kernel/tables/field_types.h"
#include "objects/bin_relation.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "tests/objects/object_fixture.h"

namespace {

class FormatConvertTest : public ztest::ObjectTest,
                          public ::testing::WithParamInterface<uint16_t> {
 protected:
  // Person <- Employee (inherits), City; Person.city -> City (cascade);
  // "likes" joins Person and City.
  void MakeSchema() {
    OBL_BaseObject& person = mDb->MakeNewBaseObject("Person");
    AddField(person, "name", kTypeVarChar, 40, kFieldIndexed);
    AddField(person, "label", kTypeString, 12);
    OBL_BaseObject& employee = mDb->MakeNewBaseObject("Employee", &person, 1, false);
    AddField(employee, "salary", kTypeDouble);
    OBL_BaseObject& city = mDb->MakeNewBaseObject("City");
    AddField(city, "name", kTypeVarChar, 40);
    AddField(city, "notes", kTypeText);
    AddPointer(person, "city", city, OBL_DeletionControl::kCascade);
    Add(city, {"Paris", "capital"});
    Add(city, {"Lyon", "river"});
    Add(person, {"Ann", "a", "1"});
    Add(employee, {"Bob", "b", "2", "1500.5"});
    mDb->MakeBinRelation("likes", person, 2, OBL_DeletionControl::kSetNull, city, 2,
                         OBL_DeletionControl::kSetNull);
    Relation().Link(1, 2);
    Relation().Link(2, 1);
  }
  OBL_BinRelation& Relation() { return *static_cast<OBL_BinRelation*>(mDb->FindLink("likes")); }
  void ExpectRecords() {
    EXPECT_EQ(Value(Table("City"), 2, "notes"), "river");
    EXPECT_EQ(Value(Table("Person"), 1, "label"), "a");
    EXPECT_EQ(Value(Table("Employee"), 1, "name"), "Bob");
    EXPECT_EQ(Value(Table("Employee"), 1, "salary"), "1500.5");
    uint32_t bob = 2;
    EXPECT_EQ(Table("Person").GetField("city")->FindValue(&bob)->Count(), 1u);
    EXPECT_EQ(Relation().GetPairCount(), 2u);
    EXPECT_TRUE(Relation().LinkedRecords(Table("City"), 1, Table("Person"))->IsMember(2));
  }
};

TEST_P(FormatConvertTest, OpeningConvertsTheSchemaAndKeepsEveryRecord) {
  const uint16_t format = GetParam();
  Create();
  MakeSchema();
  const std::string before = Describe();
  mDb->SaveAsFormat(format);
  // A dictionary that lost an entry is filled or synchronised again.
  if (format >= 289 && format != 384) {
    OBL_SysItemDescription& dictionary = mDb->GetSysItem().GetDescriptions();
    ASSERT_TRUE(dictionary.GetStore().DeleteRecordRaw(dictionary.Find(kPropTimeOut)));
  }
  mDb.reset();
  Reopen();
  EXPECT_EQ(mDb->GetStructureVersion(), 400);
  EXPECT_EQ(Describe(), before);
  ExpectRecords();
  EXPECT_EQ(mDb->GetSysItem().GetDescriptions().GetStore().GetRecordCount(), kDictionarySize);
  // The second open reads sysItem: nothing left to convert.
  Reopen();
  EXPECT_EQ(Describe(), before);
  ExpectRecords();
  std::string report;
  EXPECT_TRUE(mDb->Diagnose(report, false)) << report;
}

INSTANTIATE_TEST_SUITE_P(OlderFormats, FormatConvertTest,
                         ::testing::Values(1, 18, 289, 292, 384, 390, 393));

TEST_F(FormatConvertTest, ADamagedStreamIsRefusedAndAConvertOfAConvertedFileToo) {
  struct Damage {
    uint64_t mOffset;
    uint32_t mValue;
  };
  // The table count, the first table's name length, the field count.
  for (const Damage d : {Damage{0, 0x7FFFFFFF}, Damage{4, 0xFFFFFFF0}, Damage{0, 9}}) {
    Create();
    MakeSchema();
    mDb->SaveAsFormat(393);
    {
      FBL_FileStream stream(*mDb->GetStructureVolume(), 1, 2, 0);
      stream.Open();
      stream.WriteAt(&d.mValue, d.mOffset, sizeof d.mValue);
      stream.Close();
    }
    mDb.reset();
    EXPECT_EQ(ztest::ErrorCode([&] { Reopen(); }), 321) << d.mOffset;
  }
  Create();
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->ConvertFrom(393); }), 321);
}

}  // namespace
