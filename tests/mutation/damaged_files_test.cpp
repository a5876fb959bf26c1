// Damage the mutation harness found, made by hand and checked by its code:
// missing volumes, a record map that disagrees with its bits or lost its
// file, and NaN in floating indexes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "kernel/indexes/index_factory.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/record_map.h"
#include "tests/support/error_code.h"
#include "tests/support/table_fixture.h"

namespace {

using ztest::Column;
using ztest::ErrorCode;

class DamagedFiles : public ztest::TableFixture<FBL_SecondaryIndexFactory> {
 protected:
  // 20 records of (id unique, n non-unique), then closed.
  void MakeClosedDatabase() {
    CreateDb();
    MakeTable({Column(kTypeLong, kFieldIndexed | kFieldUnique), Column(kTypeLong, kFieldIndexed)});
    for (int i = 1; i <= 20; ++i) {
      F(1).SetString(std::to_string(i));
      F(2).SetString(std::to_string(i % 4));
      mTable->AddRecord();
    }
    mTable.reset();
    mDb->Close();
  }
  int OpenBoth() {
    return ErrorCode([&] {
      mDb->Open(Path(), nullptr);
      MakeTable(mMaker);
    });
  }
  void PatchByte(const std::string& file, std::streamoff at, uint8_t value) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.put(char(value));
  }
  // Rewrites the record map's header of table 1 through the kernel.
  void SetMapHeader(uint32_t count, uint32_t maxRecID) {
    mDb->Open(Path(), nullptr);
    {
      FBL_RecordMap map(*mDb->GetRecordVolume(), 1);
      map.Open();
      map.WriteHeader(count, maxRecID);
      map.Close();
    }
    mDb->Close();
  }
};

TEST_F(DamagedFiles, MissingVolumesNeverOpenEmpty) {
  struct Case {
    const char* removed;
    int code;
  };
  for (const Case& c : {Case{".dat", ERR_FILE_NOT_FOUND}, Case{".vdb", ERR_FILE_NOT_FOUND},
                        Case{".ind", 0}}) {
    SCOPED_TRACE(c.removed);
    MakeClosedDatabase();
    std::filesystem::remove(Path() + c.removed);
    ASSERT_EQ(OpenBoth(), c.code);
    if (c.code != 0) continue;
    // The index volume was made anew and every index built from the records.
    EXPECT_EQ(mTable->GetRecordCount(), 20u);
    int32_t two = 2;
    EXPECT_EQ(F(2).FindValue(&two)->Count(), 5u);
    int32_t seven = 7;
    EXPECT_EQ(Items(*F(1).FindValueAsSet(&seven)), std::vector<REC_ID>{7});
    mTable.reset();
    mDb->Close();
  }
}

TEST_F(DamagedFiles, InvalidStorageModeFailsTheOpen) {
  MakeClosedDatabase();
  PatchByte(Path() + ".vdb", 24, 9);  // the storage mode's low byte
  EXPECT_EQ(OpenBoth(), ERR_DATA_FILE);
}

TEST_F(DamagedFiles, RecordMapThatDisagreesIsACorruptTable) {
  constexpr int kCorrupt = 361;
  struct Case {
    const char* what;
    uint32_t count, maxRecID;
  };
  for (const Case& c : {Case{"count above the bits", 21, 20}, Case{"count below the bits", 19, 20},
                        Case{"MaxRecID past the map", 20, 100000},
                        Case{"zeroed header over stored values", 0, 0}}) {
    SCOPED_TRACE(c.what);
    MakeClosedDatabase();
    SetMapHeader(c.count, c.maxRecID);
    EXPECT_EQ(OpenBoth(), kCorrupt);
    mTable.reset();
    mDb->Close();
  }
}

TEST_F(DamagedFiles, LostRecordMapIsNotMadeAgain) {
  MakeClosedDatabase();
  mDb->Open(Path(), nullptr);
  FBL_RecordMap(*mDb->GetRecordVolume(), 1).Remove();
  mDb->Close();
  EXPECT_EQ(OpenBoth(), 361);
}

// NaN sorts after every number: never found by a number, found by NaN,
// never in a range.
TEST_F(DamagedFiles, NaNKeysStayOutOfNumberSearches) {
  for (uint8_t type : {kTypeDouble, kTypeFloat}) {
    SCOPED_TRACE(int(type));
    CreateDb();
    MakeTable({Column(type, kFieldIndexed)});
    auto put = [&](double v) {
      F(1).SetFromDouble(v);
      mTable->AddRecord();
    };
    for (int i = 0; i < 100; ++i) put(i % 10 == 0 ? std::numeric_limits<double>::quiet_NaN() : i % 7);
    auto bound = [&](double v) {
      std::vector<uint8_t> b(8);
      if (type == kTypeFloat) {
        const float f = float(v);
        std::memcpy(b.data(), &f, 4);
      } else {
        std::memcpy(b.data(), &v, 8);
      }
      return b;
    };
    // Records 1, 11, ... 91 hold NaN; i % 7 == 3 for the others.
    uint32_t threes = 0, atLeastThree = 0, belowThree = 0;
    for (int i = 0; i < 100; ++i) {
      if (i % 10 == 0) continue;
      threes += i % 7 == 3;
      atLeastThree += i % 7 >= 3;
      belowThree += i % 7 < 3;
    }
    const auto three = bound(3), nan = bound(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(F(1).FindValue(three.data())->Count(), threes);
    EXPECT_EQ(Members(*F(1).FindValue(nan.data())),
              (std::vector<REC_ID>{1, 11, 21, 31, 41, 51, 61, 71, 81, 91}));
    EXPECT_EQ(F(1).FindRange(three.data(), true, nullptr, false)->Count(), atLeastThree);
    EXPECT_EQ(F(1).FindRangeAsSet(three.data(), true, nan.data(), true)->Count(), atLeastThree);
    EXPECT_EQ(F(1).FindRange(nullptr, false, three.data(), false)->Count(), belowThree);
    mTable.reset();
    mDb->Close();
  }
}

}  // namespace
