// A database of the object layer per test, with helpers to reopen it and
// to read and write records of its tables.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "tests/support/kernel_fixture.h"
#include "tests/objects/schema_description.h"

namespace ztest {

class ObjectTest : public KernelTest {
 protected:
  void TearDown() override {
    mDb.reset();
    KernelTest::TearDown();
  }
  std::string Path() const { return mDir.File("db"); }
  // env: where the files live (null: the default).
  void Create(uint32_t mode = 4, platform::Env* env = nullptr) {
    mDb = std::make_unique<OBL_DataBase>(env);
    mDb->Create(Path(), 8192, mode, FBL_ByteOrder::kDefault);
  }
  // Closes the database and opens it again (with a data key when given).
  void Reopen(const std::string& key = {}, platform::Env* env = nullptr) {
    mDb.reset();
    mDb = std::make_unique<OBL_DataBase>(env);
    mDb->Open(Path(), key.empty() ? nullptr : zv::MakeEncryptionKey(key.c_str()));
  }
  OBL_BaseObject& Table(const std::string& name) {
    OBL_BaseObject* table = mDb->FindBaseObject(name);
    if (table == nullptr) throw std::runtime_error("no table " + name);
    return *table;
  }
  FBL_BaseField& Field(const std::string& table, const std::string& field) {
    FBL_BaseField* f = Table(table).GetField(field);
    if (f == nullptr) throw std::runtime_error("no field " + table + "." + field);
    return *f;
  }
  FBL_BaseField& AddField(OBL_BaseObject& table, const std::string& name, uint8_t type,
                          uint32_t size = 0, uint16_t flags = 0) {
    OBL_FieldSpec fieldSpec;
    fieldSpec.mName = name;
    fieldSpec.mType = type;
    fieldSpec.mSize = size;
    fieldSpec.mFlags = flags;
    return table.MakeNewField(fieldSpec);
  }
  FBL_BaseField& AddPointer(OBL_BaseObject& table, const std::string& name, OBL_BaseObject& target,
                            OBL_DeletionControl control) {
    OBL_FieldSpec fieldSpec;
    fieldSpec.mName = name;
    fieldSpec.mType = 15;
    fieldSpec.mTarget = &target;
    fieldSpec.mDeletionControl = control;
    return table.MakeNewField(fieldSpec);
  }
  // Adds a record with the values given as text, field by field (user
  // fields, in order); returns its RecID.
  REC_ID Add(OBL_BaseObject& table, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i) table.GetField(i + 1)->SetString(values[i]);
    return table.GetStore().AddRecord();
  }
  // The text of a field of a record (the table is moved to it).
  std::string Value(OBL_BaseObject& table, REC_ID rec, const std::string& field) {
    if (!table.GetStore().GoToRecord(rec)) return "<dead>";
    return table.GetField(field)->GetString();
  }
  std::vector<REC_ID> Alive(OBL_BaseObject& table) {
    std::vector<REC_ID> all;
    auto set = table.GetStore().SelectAllRecords();
    for (REC_ID r = set->NextMember(0); r != 0; r = set->NextMember(r)) all.push_back(r);
    return all;
  }

  // Everything the schema says of the user tables, as text.
  std::string Describe() { return DescribeSchema(*mDb); }

  std::unique_ptr<OBL_DataBase> mDb;
};

}  // namespace ztest
