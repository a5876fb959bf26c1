// A database per test with one indexed table whose indexes are made by a
// given factory (the sorted-vector double unless a test installs another).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kernel/indexes/key_sorter.h"
#include "kernel/storage/database.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "tests/indexes/sorted_index_double.h"
#include "tests/support/kernel_fixture.h"

namespace ztest {

class IndexBuildTest : public KernelTest {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    mDb = std::make_unique<FBL_DataBase>();
    mDb->Create(mDir.File("db"), 8192, 4, FBL_ByteOrder::kDefault);
  }
  void TearDown() override {
    FBL_SetSorterBudget(0);
    mTable.reset();
    mDb.reset();
    KernelTest::TearDown();
  }
  // An open table "people" with fields (type, name, flags).
  void MakeTable(const std::vector<std::tuple<uint8_t, std::string, uint16_t>>& fields,
                 FBL_IndexFactory* factory = nullptr) {
    mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
    mTable->SetName("people");
    mTable->SetIndexFactory(factory != nullptr ? factory : &mFactory);
    for (const auto& [type, name, flags] : fields)
      mTable->AddField(zv::MakeField(type, name, flags));
    mTable->Open();
  }
  FBL_BaseField& F(uint32_t position) { return *mTable->GetField(position); }
  // Adds a record whose first field takes value.
  template <typename T>
  REC_ID AddValue(T value) {
    F(1).SetValue(&value);
    return mTable->AddRecord();
  }

  std::unique_ptr<FBL_DataBase> mDb;
  std::unique_ptr<FBL_IndexedTable> mTable;
  SortedIndexFactory mFactory;
};

}  // namespace ztest
