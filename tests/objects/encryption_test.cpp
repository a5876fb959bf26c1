// Keys end to end: no plain value reaches the files, re-keyed data reads
// back under the new key only, tables, fields and the structure each with
// a key of their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "objects/bin_relation.h"
#include "tests/objects/object_fixture.h"

namespace {

class EncryptionTest : public ztest::ObjectTest {
 protected:
  void MakeTable(const std::string& name) {
    OBL_BaseObject& t = mDb->MakeNewBaseObject(name);
    AddField(t, "v", kTypeVarChar, 60, kFieldIndexed);
    AddField(t, "s", kTypeString, 30, kFieldIndexed);
    AddField(t, "txt", kTypeText);
    AddField(t, "blob", kTypeBLOB);
    for (int i = 0; i < 50; ++i) {
      const std::string n = std::to_string(1000 + i);
      Add(t, {"Zebra" + name + n, "Yak" + name + n, "Walrus" + name + n, "Vole" + name + n});
    }
  }
  // The text of every file of the database, its journal too: a committed
  // change may wait there until the journal is copied into the volumes.
  std::string Files() {
    std::string all;
    for (const char* ext : {".vdb", ".dat", ".ind", ".blb", ".jnl"}) {
      std::ifstream in(Path() + ext, std::ios::binary);
      all.append(std::istreambuf_iterator<char>(in), {});
    }
    return all;
  }
  bool Plain(const std::string& needle) { return Files().find(needle) != std::string::npos; }
  // Every record reads back and the indexes find them.
  void ExpectReadable(const std::string& name) {
    OBL_BaseObject& t = Table(name);
    ASSERT_EQ(t.GetStore().GetRecordCount(), 50u);
    EXPECT_EQ(Value(t, 7, "v"), "Zebra" + name + "1006");
    EXPECT_EQ(Value(t, 50, "txt"), "Walrus" + name + "1049");
    EXPECT_EQ(Value(t, 50, "blob"), "Vole" + name + "1049");
    EXPECT_EQ(t.GetField("s")->FindRangeByText(("Yak" + name + "1020").c_str(), true,
                                               ("Yak" + name + "1020").c_str(), true)->Count(),
              1u);
  }
  int OpenCode(const std::string& key, const std::string& structureKey = {}) {
    mDb.reset();
    mDb = std::make_unique<OBL_DataBase>();
    if (!structureKey.empty()) mDb->SetStructureEncryption(structureKey);
    if (!key.empty()) mDb->SetEncryption(key);
    return ztest::ErrorCode([&] { mDb->Open(Path()); });
  }
};

TEST_F(EncryptionTest, ADatabaseMadeWithADataKeyHoldsNoPlainValue) {
  mDb = std::make_unique<OBL_DataBase>();
  mDb->SetEncryption("data key");
  mDb->Create(Path(), 8192, 4, FBL_ByteOrder::kDefault);
  MakeTable("T");
  mDb.reset();
  for (const char* needle : {"ZebraT", "YakT", "WalrusT", "VoleT"}) EXPECT_FALSE(Plain(needle));
  EXPECT_EQ(OpenCode(""), 325);
  EXPECT_EQ(OpenCode("data kez"), 325);
  ASSERT_EQ(OpenCode("data key"), 0);
  EXPECT_TRUE(mDb->IsEncrypted());
  ExpectReadable("T");
}

TEST_F(EncryptionTest, ARekeyedDatabaseReadsBackUnderTheNewKeyOnly) {
  Create();
  MakeTable("T");
  mDb->MakeBinRelation("r", Table("T"), 2, OBL_DeletionControl::kSetNull, Table("T"), 2,
                       OBL_DeletionControl::kSetNull);
  static_cast<OBL_BinRelation*>(mDb->FindLink("r"))->Link(3, 4);
  EXPECT_TRUE(Plain("ZebraT1003"));
  mDb->ChangeEncryption("", "first");
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->ChangeEncryption("wrong", "second"); }), 326);
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->SetEncryption("second"); }), 326);
  mDb->ChangeEncryption("first", "second");
  mDb.reset();
  EXPECT_FALSE(Plain("ZebraT1003"));
  EXPECT_EQ(OpenCode("first"), 325);
  ASSERT_EQ(OpenCode("second"), 0);
  ExpectReadable("T");
  EXPECT_EQ(static_cast<OBL_BinRelation*>(mDb->FindLink("r"))->GetPairCount(), 1u);
  mDb->ChangeEncryption("second", "");
  ASSERT_EQ(OpenCode(""), 0);
  ExpectReadable("T");
  EXPECT_TRUE(Plain("ZebraT1003"));
}

TEST_F(EncryptionTest, TablesAndFieldsKeepKeysOfTheirOwn) {
  Create();
  MakeTable("T");
  MakeTable("U");
  mDb->ChangeTableEncryption(Table("T"), "", "table key");
  OBL_BaseObject& u = Table("U");
  mDb->ChangeFieldEncryption(u, *u.GetField("v"), "", "field key");
  mDb.reset();
  EXPECT_FALSE(Plain("ZebraT"));
  EXPECT_FALSE(Plain("YakT"));
  EXPECT_FALSE(Plain("ZebraU"));
  EXPECT_TRUE(Plain("YakU1001"));
  ASSERT_EQ(OpenCode(""), 0);
  EXPECT_TRUE(Table("T").IsLocked());
  EXPECT_EQ(ztest::ErrorCode([&] { Table("T").GetStore().FirstRecord(); }), 326);
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->SetTableEncryption(Table("T"), "table kez"); }), 326);
  mDb->SetTableEncryption(Table("T"), "table key");
  ExpectReadable("T");
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->SetFieldEncryption(Table("U"), *Table("U").GetField("v"),
                                                           "other"); }),
            326);
  mDb->SetFieldEncryption(Table("U"), *Table("U").GetField("v"), "field key");
  ExpectReadable("U");
  mDb->ChangeTableEncryption(Table("T"), "table key", "new table key");
  ASSERT_EQ(OpenCode(""), 0);
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->SetTableEncryption(Table("T"), "table key"); }), 326);
  mDb->SetTableEncryption(Table("T"), "new table key");
  ExpectReadable("T");
  // Back to the database's (no) key: plain again.
  mDb->ChangeTableEncryption(Table("T"), "new table key", "");
  ASSERT_EQ(OpenCode(""), 0);
  EXPECT_FALSE(Table("T").IsLocked());
  ExpectReadable("T");
}

TEST_F(EncryptionTest, AnEncipheredStructureOpensWithItsKeyOnly) {
  Create();
  MakeTable("QuokkaTable");
  AddField(Table("QuokkaTable"), "PlatypusColumn", kTypeLong);
  EXPECT_TRUE(Plain("PlatypusColumn"));
  mDb->ChangeStructureEncryption("", "structure");
  EXPECT_TRUE(mDb->IsStructureEncrypted());
  mDb.reset();
  EXPECT_FALSE(Plain("PlatypusColumn"));
  EXPECT_EQ(OpenCode(""), 328);
  EXPECT_EQ(OpenCode("", "structurf"), 328);
  ASSERT_EQ(OpenCode("", "structure"), 0);
  ExpectReadable("QuokkaTable");
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->ChangeStructureEncryption("x", ""); }), 328);
  mDb->ChangeStructureEncryption("structure", "");
  ASSERT_EQ(OpenCode(""), 0);
  ExpectReadable("QuokkaTable");
}

}  // namespace
