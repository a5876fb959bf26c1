// A database per test with an indexed table whose fields get real indexes
// (FBL_SecondaryIndexFactory), and helpers for keys.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kernel/indexes/index_factory.h"
#include "kernel/indexes/secondary_index.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "tests/indexes/index_text_field.h"
#include "tests/support/kernel_fixture.h"

namespace ztest {

class IndexTest : public KernelTest {
 protected:
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
  // A table whose fields the maker adds; kept for reopening.
  void MakeTable(std::function<void(FBL_Table&)> maker) {
    mMaker = std::move(maker);
    mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
    mTable->SetIndexFactory(&mFactory);
    mMaker(*mTable);
    mTable->Open();
  }
  void Reopen(const FBL_EncryptionKeyRef& key = nullptr) {
    mTable.reset();
    mDb->Close();
    mDb->Open(Path(), key);
    MakeTable(mMaker);
  }
  FBL_BaseField& F(uint32_t position) { return *mTable->GetField(position); }
  FBL_SecondaryIndex& Index(uint32_t position) {
    auto* index = dynamic_cast<FBL_SecondaryIndex*>(F(position).GetIndex());
    if (index == nullptr) throw std::runtime_error("field has no index");
    return *index;
  }
  IndexTextField& Text(uint32_t position) { return static_cast<IndexTextField&>(F(position)); }

  static void AddLong(FBL_Table& t, const char* name, uint16_t flags) {
    t.AddField(zv::MakeField(kTypeLong, name, flags));
  }
  static IndexTextField& AddText(FBL_Table& t, const char* name, uint16_t flags) {
    return static_cast<IndexTextField&>(t.AddField(std::make_unique<IndexTextField>(name, flags)));
  }

  static std::string LongKey(int32_t v) { return std::string(reinterpret_cast<char*>(&v), 4); }
  static const uint8_t* K(const std::string& key) {
    return reinterpret_cast<const uint8_t*>(key.data());
  }
  // RecIDs of an array set, in its order.
  static std::vector<REC_ID> Items(const FBL_ArraySet& set) {
    return std::vector<REC_ID>(set.GetItems().begin(), set.GetItems().end());
  }
  static std::vector<REC_ID> Members(const FBL_BitSet& set) {
    std::vector<REC_ID> out;
    for (REC_ID r = set.NextMember(0); r != 0; r = set.NextMember(r)) out.push_back(r);
    return out;
  }

  std::unique_ptr<FBL_DataBase> mDb;
  std::unique_ptr<FBL_IndexedTable> mTable;
  FBL_SecondaryIndexFactory mFactory;
  std::function<void(FBL_Table&)> mMaker;
};

}  // namespace ztest
