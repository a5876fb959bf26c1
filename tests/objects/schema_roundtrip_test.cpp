// A schema of 20 tables holding every field type with flags, methods,
// languages, keys, inheritance and links survives close and reopen exactly.
#include <gtest/gtest.h>

#include "kernel/tables/field_types.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/bin_relation.h"
#include "tests/objects/object_fixture.h"

namespace {

using ztest::ObjectTest;

struct TypeCase {
  uint8_t mType;
  uint32_t mSize;
  uint16_t mFlags;
  const char* mLanguage;
};

// Every type with a class; flags and sizes vary with the table below.
constexpr TypeCase kTypes[] = {
    {kTypeBoolean, 0, 0, ""},
    {kTypeByte, 0, kFieldIndexed, ""},
    {kTypeShort, 0, kFieldNullable, ""},
    {kTypeUShort, 0, 0, ""},
    {kTypeLong, 0, kFieldIndexed | kFieldNullable, ""},
    {kTypeULong, 0, kFieldUnique, ""},
    {kTypeFloat, 0, 0, ""},
    {kTypeDouble, 0, kFieldIndexed, ""},
    {kTypeString, 40, kFieldIndexed, "German"},
    {kTypeDate, 0, 0, ""},
    {kTypeTime, 0, kFieldNullable, ""},
    {kTypeDateTime, 0, 0, ""},
    {kTypeText, 512, kFieldByWords | kFieldIndexed, "English"},
    {kTypePicture, 2048, 0, ""},
    {kTypeBLOB, 4096, kFieldCompressed, ""},
    {kTypeMedium, 0, 0, ""},
    {kTypeUMedium, 0, 0, ""},
    {kTypeFixedBinary, 16, 0, ""},
    {kTypeVarBinary, 300, 0, ""},
    {kTypeVarChar, 200, kFieldNullable | kFieldIndexed, "French"},
    {kTypeLLong, 0, 0, ""},
    {kTypeULLong, 0, kFieldIndexed, ""},
};

TEST_F(ObjectTest, TwentyTablesOfEveryTypeSurviveCloseAndReopen) {
  Create();
  std::vector<OBL_BaseObject*> tables;
  for (int t = 0; t < 20; ++t) {
    // Tables 5 and 6 inherit from table 4, table 7 from table 6.
    OBL_BaseObject* parent = t == 5 || t == 6 ? tables[4] : (t == 7 ? tables[6] : nullptr);
    OBL_BaseObject& table = mDb->MakeNewBaseObject("Table" + std::to_string(t), parent,
                                                   static_cast<uint8_t>(t % 3), t == 4);
    tables.push_back(&table);
    for (size_t i = 0; i < std::size(kTypes); ++i) {
      if ((i + t) % 3 == 0 && t >= 5) continue;  // some tables take fewer fields
      const TypeCase& c = kTypes[(i + t) % std::size(kTypes)];
      OBL_FieldSpec fieldSpec;
      fieldSpec.mName = "f" + std::to_string(t) + "_" + std::to_string(i);
      fieldSpec.mType = c.mType;
      fieldSpec.mSize = c.mSize;
      fieldSpec.mFlags = c.mFlags;
      fieldSpec.mLanguage = c.mLanguage;
      table.MakeNewField(fieldSpec);
    }
    OBL_FieldSpec method;
    method.mName = "calc" + std::to_string(t);
    method.mType = kTypeDouble;
    method.mMethodText = "f" + std::to_string(t) + "_1 * 2 + 1";
    table.MakeNewField(method);
  }
  for (int t = 8; t < 20; ++t) {
    AddPointer(*tables[t], "owner", *tables[(t + 3) % 20],
               static_cast<OBL_DeletionControl>(t % 3));
  }
  mDb->MakeBinRelation("likes", *tables[1], 1, OBL_DeletionControl::kCascade, *tables[2], 2,
                       OBL_DeletionControl::kSetNull);
  mDb->MakeBinRelation("knows", *tables[3], 2, OBL_DeletionControl::kRestrict, *tables[3], 2,
                       OBL_DeletionControl::kRestrict);
  mDb->ChangeTableEncryption(*tables[12], "", "key 12");
  mDb->ChangeFieldEncryption(*tables[13], *tables[13]->GetField("f13_3"), "", "key 13");
  const std::string before = Describe();
  EXPECT_NE(before.find("target Table11 control 2"), std::string::npos);
  EXPECT_NE(before.find("Table12 id 13 parent - inheritance 0 abstract 0 encrypted 1"),
            std::string::npos);
  Reopen();
  EXPECT_EQ(Describe(), before);
  EXPECT_TRUE(Table("Table12").IsLocked());
  EXPECT_TRUE(Table("Table13").IsLocked());
  mDb->SetTableEncryption(Table("Table12"), "key 12");
  mDb->SetFieldEncryption(Table("Table13"), *Table("Table13").GetField("f13_3"), "key 13");
  EXPECT_FALSE(Table("Table12").IsLocked() || Table("Table13").IsLocked());
  // And once more after changes: a field gone from the middle, one added.
  OBL_BaseObject& t9 = Table("Table9");
  t9.RemoveField(*t9.GetField("f9_4"));
  AddField(t9, "late", kTypeVarChar, 77);
  const std::string changed = Describe();
  Reopen();
  EXPECT_EQ(Describe(), changed);
}

}  // namespace
