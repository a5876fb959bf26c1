// A database per test and an indexed table (number 1) over it, made again by
// the same call when the test reopens both. The index factory is the
// layer's choice: a double that records its calls, or the real indexes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "tests/support/kernel_fixture.h"

namespace ztest {

// A field of a test table; the table names its fields "f1", "f2", ... in
// order.
struct Column {
  Column(uint8_t t, uint16_t f = 0, uint32_t l = 0, std::string lang = {})
      : type(t), flags(f), length(l), language(std::move(lang)) {}
  uint8_t type;
  uint16_t flags;
  uint32_t length;
  std::string language;
};

template <typename IndexFactory>
class TableFixture : public KernelTest {
 protected:
  using FieldMaker = std::function<void(FBL_Table&)>;

  void TearDown() override {
    mTable.reset();
    mDb.reset();
    KernelTest::TearDown();
  }
  std::string Path() const { return mDir.File("db"); }
  void CreateDb(FBL_ByteOrder byteOrder = FBL_ByteOrder::kDefault) {
    mDb = std::make_unique<FBL_DataBase>();
    mDb->Create(Path(), 8192, 4, byteOrder);
  }
  // Opens table 1 with the fields maker adds and indexes from factory
  // (mFactory when null); both are kept for Reopen.
  void MakeTable(FieldMaker maker, FBL_IndexFactory* factory = nullptr) {
    mMaker = std::move(maker);
    mTableFactory = factory != nullptr ? factory : &mFactory;
    mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
    mTable->SetIndexFactory(mTableFactory);
    mMaker(*mTable);
    mTable->Open();
  }
  void MakeTable(const std::vector<Column>& columns) {
    mColumns = columns;
    MakeTable([columns](FBL_Table& table) {
      int i = 0;
      for (const Column& c : columns) {
        table.AddField(
            zv::MakeField(c.type, "f" + std::to_string(++i), c.flags, c.length, c.language));
      }
    });
  }
  // Closes the table and the database and opens both again; the table gets
  // the fields and factory of the last MakeTable.
  void Reopen(const FBL_EncryptionKeyRef& key = nullptr) {
    mTable.reset();
    mDb->Close();
    mDb->Open(Path(), key);
    MakeTable(mMaker, mTableFactory);
  }
  FBL_BaseField& Add(uint8_t type, const std::string& name, uint16_t flags = 0) {
    return mTable->AddField(zv::MakeField(type, name, flags));
  }
  FBL_BaseField& F(uint32_t position) { return *mTable->GetField(position); }
  template <typename T>
  T& As(uint32_t position) {
    return dynamic_cast<T&>(F(position));
  }

  static std::vector<REC_ID> Members(const FBL_BitSet& set) {
    std::vector<REC_ID> out;
    for (REC_ID r = set.NextMember(0); r != 0; r = set.NextMember(r)) out.push_back(r);
    return out;
  }
  static std::vector<REC_ID> Members(const FBL_Set& set) {
    if (const auto* bits = dynamic_cast<const FBL_BitSet*>(&set)) return Members(*bits);
    return Items(dynamic_cast<const FBL_ArraySet&>(set));
  }
  // RecIDs of an array set, in its order.
  static std::vector<REC_ID> Items(const FBL_ArraySet& set) {
    return std::vector<REC_ID>(set.GetItems().begin(), set.GetItems().end());
  }

  std::unique_ptr<FBL_DataBase> mDb;
  std::unique_ptr<FBL_IndexedTable> mTable;
  IndexFactory mFactory;
  std::vector<Column> mColumns;  // of the last MakeTable by columns
  FieldMaker mMaker;

 private:
  FBL_IndexFactory* mTableFactory = nullptr;
};

}  // namespace ztest
