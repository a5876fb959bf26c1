// The index build tests' fixture: a database made at set-up with one table
// "people", whose indexes the sorted-vector double makes unless a test
// passes another factory.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "kernel/indexes/key_sorter.h"
#include "tests/indexes/sorted_index_double.h"
#include "tests/support/table_fixture.h"

namespace ztest {

class IndexBuildTest : public TableFixture<SortedIndexFactory> {
 protected:
  void SetUp() override {
    TableFixture::SetUp();
    CreateDb();
  }
  void TearDown() override {
    FBL_SetSorterBudget(0);
    TableFixture::TearDown();
  }
  // An open table "people" with fields (type, name, flags).
  void MakeTable(const std::vector<std::tuple<uint8_t, std::string, uint16_t>>& fields,
                 FBL_IndexFactory* factory = nullptr) {
    TableFixture::MakeTable(
        [fields](FBL_Table& t) {
          t.SetName("people");
          for (const auto& [type, name, flags] : fields)
            t.AddField(zv::MakeField(type, name, flags));
        },
        factory);
  }
  // Adds a record whose first field takes value.
  template <typename T>
  REC_ID AddValue(T value) {
    F(1).SetValue(&value);
    return mTable->AddRecord();
  }
};

}  // namespace ztest
