#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/storage/varchar_fixture.h"
#include "tests/support/report_facts.h"

namespace {

using ztest::ErrorCode;
using ztest::States;

class VarCharDamage : public ztest::VarCharTest {
 protected:
  // Three pages and more of 40-byte values (records 1..kRecords).
  static constexpr uint32_t kRecords = 100;
  FBL_VarCharFile& Fill() {
    auto& f = Start(100);
    for (uint32_t r = 1; r <= kRecords; ++r) Write(f, r, Value(40, r));
    EXPECT_GE(f.GetLogicalPageCount(), 3u);
    return f;
  }
  uint64_t PageStart(uint32_t logical) {
    return mFile->GetPageOffset(mFile->GetPhysicalPage(logical));
  }
  // Items on logical page 1.
  uint32_t FirstPageCount() { return mRef->Get(mFile->GetPhysicalPage(2)) - 1; }
  int ReadCode(uint32_t r) {
    return ErrorCode([&] { Read(*mFile, r); });
  }
};

// A page's problems, the RefFile's and an empty file's are compared whole
// once each (ADescendingOffset..., AWrongRefFileEntry..., ALostPage...);
// the other reports are checked by what they state.
TEST_F(VarCharDamage, ACountBeyondThePageIsReportedAndRaises351) {
  Fill();
  Patch(kKind, PageStart(1) + 1022, U16(0xFFFF));
  std::string report;
  EXPECT_FALSE(AllRight(*mFile, &report));
  // 510 = (1024 - 2) / 2 - 1: the most items whose count and n + 1 offsets
  // fit a 1024-byte page. Every offset beyond the data is told too.
  EXPECT_TRUE(States(report, ztest::kAnyLines, {"Page 1\n", "ItemCount =65535", "max possible value =510",
                                 "RefFile is not correct"}));
  EXPECT_EQ(ReadCode(1), 351);
  EXPECT_EQ(ReadCode(kRecords), 0);  // the last page follows an intact one
}

TEST_F(VarCharDamage, AnOffsetOutsideTheDataIsReportedAndRaises351) {
  Fill();
  uint32_t n = FirstPageCount();
  uint32_t limit = 1024 - 2 - (n + 1) * 2;
  Patch(kKind, PageStart(1) + 1024 - 4 - 2 * 3, U16(0xFF00));  // off[3]
  std::string report;
  EXPECT_FALSE(AllRight(*mFile, &report));
  EXPECT_TRUE(States(report, 3,
                     {"Page 1\n", "Offset of record 4 is wrong. It is = 65280",
                      "can be maximum = " + std::to_string(limit) + "\n", "For RecID = 4\n"}));
  EXPECT_EQ(ReadCode(3), 351);
  EXPECT_EQ(ReadCode(4), 351);
  EXPECT_EQ(ReadCode(kRecords), 0);  // other pages still read
  EXPECT_EQ(Read(*mFile, kRecords), Value(40, kRecords));
}

TEST_F(VarCharDamage, ADescendingOffsetIsReported) {
  Fill();
  Patch(kKind, PageStart(1) + 1024 - 4 - 2 * 2, U16(10));  // off[2] below off[1] = 40
  std::string report;
  EXPECT_FALSE(AllRight(*mFile, &report));
  EXPECT_EQ(report,
            "...........Page 1\n(!) Next offset must be >=, but it is less. For RecID = 2\n");
  EXPECT_EQ(ReadCode(2), 351);
  EXPECT_EQ(ErrorCode([&] { Write(*mFile, 2, "x"); }), 351);
}

TEST_F(VarCharDamage, AWrongRefFileEntryIsReportedAndReadsRaise351) {
  Fill();
  uint32_t physical = mFile->GetPhysicalPage(2);
  uint32_t first = mRef->Get(physical);
  Patch(kRefKind, uint64_t{physical - 1} * 4, U32(first - 1));
  std::string report;
  EXPECT_FALSE(AllRight(*mFile, &report));
  EXPECT_EQ(report, "(!) RefFile is not correct. Must be rebuilt.\n");
  // No read answers with a neighbour's value.
  EXPECT_EQ(ReadCode(first - 1), 351);
  EXPECT_EQ(ReadCode(first), 351);
}

TEST_F(VarCharDamage, AnInventoryEntryNamingNoPageRaises348) {
  Fill();
  Patch(kKind, 1024 + 4, U32(999));  // entry of logical page 2
  std::string report;
  EXPECT_FALSE(AllRight(*mFile, &report));
  EXPECT_NE(report.find("(!) Page 2 cannot be read: "), std::string::npos) << report;
  EXPECT_EQ(ReadCode(kRecords / 2), 348);
}

TEST_F(VarCharDamage, ALostPageOfANonEmptyTableIsReported) {
  Start(100);
  FBL_VarCharTableView table;
  table.mRecordCount = 3;
  std::string report;
  EXPECT_FALSE(mFile->Diagnose(report, true, &table));
  EXPECT_EQ(report, "(!) Table is not empty but VarChar file has zero logical pages.\n");
  table.mRecordCount = 0;
  report.clear();
  EXPECT_TRUE(mFile->Diagnose(report, true, &table));
  EXPECT_EQ(report, "");
}

TEST_F(VarCharDamage, ADeletedRecordWithAValueIsReported) {
  auto& f = Start(100);
  Write(f, 1, "a");
  Write(f, 2, "b");
  Write(f, 3, "");
  FBL_VarCharTableView table;
  table.mRecordCount = 3;
  table.mIsAlive = [](uint32_t r) { return r != 2 && r != 3; };
  std::string report;
  EXPECT_FALSE(f.Diagnose(report, true, &table));
  EXPECT_TRUE(States(report, 2, {"Page 1\n", "Length of deleted 2 record is NOT zero"}));
  report.clear();
  EXPECT_FALSE(f.Diagnose(report, false, &table));
  EXPECT_EQ(report, "");
  table.mRecordCount = 1;  // record 2 lies beyond the table
  report.clear();
  EXPECT_FALSE(f.Diagnose(report, true, &table));
}

TEST_F(VarCharDamage, RandomByteFlipsNeverCrash) {
  Fill();
  uint64_t pagesStart = 1024;
  uint64_t pagesEnd = mFile->GetLength();
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    std::vector<uint8_t> flip = {static_cast<uint8_t>(rng())};
    uint64_t at = pagesStart + rng() % (pagesEnd - pagesStart);
    // Aim at page tables most of the time.
    if (round % 4 != 0) at = (at / 1024) * 1024 + 1024 - 1 - rng() % 64;
    Patch(kKind, at, flip);
    std::string report;
    mFile->Diagnose(report, true);
    for (uint32_t r = 1; r <= kRecords; r += 7) {
      int code = ReadCode(r);
      EXPECT_TRUE(code == 0 || code == 351 || code == 348) << code;
    }
  }
}

}  // namespace
