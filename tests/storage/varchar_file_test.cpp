#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/varchar_format.h"
#include "tests/storage/varchar_fixture.h"

namespace {

using ztest::ErrorCode;

class VarCharLayout : public ztest::VarCharTest {};
class VarCharValues : public ztest::VarCharTest {};
class VarCharCursor : public ztest::VarCharTest {};

// ---- layout ----------------------------------------------------------------------

TEST_F(VarCharLayout, PageKindAndSizeFollowTheMaximumLength) {
  EXPECT_EQ(zvarchar::PageSizeFor(100), 1024u);
  EXPECT_EQ(zvarchar::PageSizeFor(600), 2048u);     // 1208 rounded up
  EXPECT_EQ(zvarchar::PageSizeFor(16383), 33792u);  // 32774 rounded up
  EXPECT_EQ(zvarchar::PageSizeFor(16384), 33792u);  // 32784, 32-bit offsets
  EXPECT_EQ(zvarchar::PageSizeFor(20000), 40960u);
  auto& small = Start(100);
  EXPECT_NE(dynamic_cast<FBL_VarCharPage_2*>(&small.GetPage()), nullptr);
  EXPECT_EQ(small.GetPageSize(), 1024u);
  EXPECT_EQ(small.GetPage().MaxCount(), 510u);
}

TEST_F(VarCharLayout, LargeValuesUseThirtyTwoBitOffsets) {
  auto& f = Start(16384);
  EXPECT_NE(dynamic_cast<FBL_VarCharPage_4*>(&f.GetPage()), nullptr);
  EXPECT_EQ(f.GetPageSize(), 33792u);
  EXPECT_EQ(f.GetPage().MaxCount(), (33792u - 8) / 4);
  std::string big = Value(16384, 3);
  Write(f, 1, big);
  Write(f, 2, big);
  EXPECT_EQ(f.GetLogicalPageCount(), 1u);  // two values of maximum length share a page
  EXPECT_EQ(Read(f, 2), big);
}

TEST_F(VarCharLayout, CreateWritesHeaderAndOneInventoryPage) {
  auto& f = Start(100);
  EXPECT_EQ(f.GetLength(), 1024u + 1024u);
  EXPECT_EQ(f.GetLogicalPageCount(), 0u);
  uint8_t header[8];
  ASSERT_EQ(f.ReadAt(header, 0, 8), 8u);
  EXPECT_EQ(zorder::LoadU16(header, false), 1u);
  EXPECT_EQ(zorder::LoadU32(header + 4, false), 1024u);
}

TEST_F(VarCharLayout, FirstWriteMakesThePageWithItsTable) {
  auto& f = Start(100);
  Write(f, 1, "hello");
  ASSERT_EQ(f.GetLogicalPageCount(), 1u);
  uint32_t physical = f.GetPhysicalPage(1);
  EXPECT_EQ(mRef->Get(physical), 1u);
  f.Flush();
  std::vector<uint8_t> page(1024);
  ASSERT_EQ(f.ReadAt(page.data(), f.GetPageOffset(physical), 1024), 1024u);
  EXPECT_EQ(zorder::LoadU16(&page[1022], false), 1u);  // count
  EXPECT_EQ(zorder::LoadU16(&page[1020], false), 0u);  // off[0]
  EXPECT_EQ(zorder::LoadU16(&page[1018], false), 5u);  // off[1]
  EXPECT_EQ(std::string(page.begin(), page.begin() + 5), "hello");
}

TEST_F(VarCharLayout, BigEndianVolumeStoresTheTableBigEndianAndReadsBack) {
  auto& f = Start(100, FBL_ByteOrder::kBigEndian);
  Write(f, 1, "abc");
  Write(f, 2, "defgh");
  f.Flush();
  uint32_t physical = f.GetPhysicalPage(1);
  std::vector<uint8_t> page(1024);
  ASSERT_EQ(f.ReadAt(page.data(), f.GetPageOffset(physical), 1024), 1024u);
  EXPECT_EQ(zorder::LoadU16(&page[1022], true), 2u);
  EXPECT_EQ(zorder::LoadU16(&page[1016], true), 8u);  // off[2]
  uint8_t header[8];
  ASSERT_EQ(f.ReadAt(header, 0, 8), 8u);
  EXPECT_EQ(zorder::LoadU32(header + 4, true), 1024u);
  auto& g = Reopen();
  EXPECT_EQ(Read(g, 1), "abc");
  EXPECT_EQ(Read(g, 2), "defgh");
  EXPECT_TRUE(AllRight(g));
}

TEST_F(VarCharLayout, StoredPageSizeWinsAndABadOneIsRefused) {
  Start(100);
  Write(*mFile, 1, "x");
  mFile.reset();
  mRef.reset();
  {
    FBL_EmbededFile raw(*mVolume, kOwner, kKind, 1);
    raw.Open();
    raw.SetPosition(4);
    std::vector<uint8_t> size = U32(3000);  // not whole kilobytes
    raw.Write(size.data(), size.size());
    raw.Close();
  }
  Attach(100);
  EXPECT_EQ(ErrorCode([&] { mFile->Open(); }), 348);
  EXPECT_FALSE(mFile->IsOpen());
}

// ---- values -------------------------------------------------------------------------

TEST_F(VarCharValues, ValuesOfEveryLengthReadBackAndSurviveReopening) {
  auto& f = Start(100);
  for (uint32_t r = 1; r <= 300; ++r) Write(f, r, Value(r % 101, r));
  EXPECT_GT(f.GetLogicalPageCount(), 10u);
  EXPECT_EQ(f.GetRecordCount(), 300u);
  auto& g = Reopen();
  EXPECT_EQ(g.GetRecordCount(), 300u);
  for (uint32_t r = 300; r >= 1; --r) ASSERT_EQ(Read(g, r), Value(r % 101, r)) << r;
  EXPECT_TRUE(AllRight(g));
}

TEST_F(VarCharValues, ReadCopiesAtMostTheBufferAndBeyondTheEndIsEmpty) {
  auto& f = Start(100);
  Write(f, 1, "abcdef");
  char buffer[4] = {};
  EXPECT_EQ(f.ReadValue(1, buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(f.GetValueLength(1), 6u);
  EXPECT_EQ(f.ReadValue(2, buffer, 3), 0u);
  EXPECT_EQ(f.ReadValue(0, buffer, 3), 0u);
}

TEST_F(VarCharValues, WritingPastTheEndFillsEmptyRecordsFromOne) {
  auto& f = Start(100);
  Write(f, 700, "late");
  EXPECT_EQ(f.GetRecordCount(), 700u);
  EXPECT_EQ(mRef->Get(f.GetPhysicalPage(1)), 1u);
  EXPECT_EQ(Read(f, 1), "");
  EXPECT_EQ(Read(f, 699), "");
  EXPECT_EQ(Read(f, 700), "late");
  Write(f, 3, "early");
  EXPECT_EQ(Read(f, 3), "early");
  EXPECT_TRUE(AllRight(f));
}

TEST_F(VarCharValues, GrowingAValueThatNoLongerFitsSplitsThePage) {
  auto& f = Start(100);
  for (uint32_t r = 1; r <= 12; ++r) Write(f, r, Value(82, r));  // 12 bytes free
  ASSERT_EQ(f.GetLogicalPageCount(), 1u);
  Write(f, 3, Value(100, 99));
  EXPECT_EQ(f.GetLogicalPageCount(), 2u);
  for (uint32_t r = 1; r <= 12; ++r) EXPECT_EQ(Read(f, r), r == 3 ? Value(100, 99) : Value(82, r));
  EXPECT_TRUE(AllRight(f));
  // The page that received the upper items starts where they begin.
  uint32_t first2 = mRef->Get(f.GetPhysicalPage(2));
  EXPECT_GT(first2, 1u);
  EXPECT_LE(first2, 12u);
}

TEST_F(VarCharValues, ShrinkingInTheMiddleKeepsLaterValuesAndZeroesTheTail) {
  auto& f = Start(100);
  for (uint32_t r = 1; r <= 5; ++r) Write(f, r, Value(50, r));
  Write(f, 2, "xy");
  for (uint32_t r = 1; r <= 5; ++r) EXPECT_EQ(Read(f, r), r == 2 ? "xy" : Value(50, r));
  f.Flush();
  std::vector<uint8_t> page(1024);
  ASSERT_EQ(f.ReadAt(page.data(), f.GetPageOffset(f.GetPhysicalPage(1)), 1024), 1024u);
  uint32_t end = 4 * 50 + 2;
  EXPECT_EQ(zorder::LoadU16(&page[1024 - 4 - 2 * 5], false), end);  // off[5]
  for (uint32_t i = end; i < 1024 - 14; ++i) ASSERT_EQ(page[i], 0) << i;
}

TEST_F(VarCharValues, SetRecordCountCutsAndGrowsWithEmptyItems) {
  auto& f = Start(100);
  for (uint32_t r = 1; r <= 400; ++r) Write(f, r, Value(60, r));
  uint32_t pages = f.GetLogicalPageCount();
  f.SetRecordCount(30);
  EXPECT_EQ(f.GetRecordCount(), 30u);
  EXPECT_LT(f.GetLogicalPageCount(), pages);
  EXPECT_EQ(Read(f, 30), Value(60, 30));
  EXPECT_EQ(Read(f, 31), "");
  EXPECT_EQ(mRef->GetCount(), f.GetPageCount());
  EXPECT_TRUE(AllRight(f));
  f.SetRecordCount(5000);
  EXPECT_EQ(f.GetRecordCount(), 5000u);
  EXPECT_EQ(Read(f, 4999), "");
  Write(f, 4000, "mid");
  EXPECT_EQ(Read(f, 4000), "mid");
  EXPECT_EQ(Read(f, 29), Value(60, 29));
  EXPECT_TRUE(AllRight(f));
  f.SetRecordCount(0);
  EXPECT_EQ(f.GetLogicalPageCount(), 0u);
  Write(f, 1, "again");
  EXPECT_EQ(Read(f, 1), "again");
  auto& g = Reopen();
  EXPECT_EQ(g.GetRecordCount(), 1u);
}

TEST_F(VarCharValues, TooLongAValueIsRefusedAndNothingChanges) {
  auto& f = Start(100);
  Write(f, 1, "keep");
  std::string huge(f.GetMaxItemBytes() + 1, 'z');
  EXPECT_EQ(ErrorCode([&] { Write(f, 1, huge); }), 310);
  EXPECT_EQ(ErrorCode([&] { Write(f, 0, "x"); }), 310);
  EXPECT_EQ(Read(f, 1), "keep");
}

TEST_F(VarCharValues, DefragmentKeepsValuesAndRewritesTheRefFile) {
  auto& f = Start(100);
  for (uint32_t r = 1; r <= 120; ++r) Write(f, r, Value(20, r));
  // Growing early values splits early pages: the new pages lie at the end.
  for (uint32_t r = 1; r <= 120; r += 4) Write(f, r, Value(100, r + 1000));
  ASSERT_TRUE(f.IsOutOfOrder());
  f.Defragment();
  EXPECT_FALSE(f.IsOutOfOrder());
  for (uint32_t r = 1; r <= 120; ++r)
    ASSERT_EQ(Read(f, r), r % 4 == 1 ? Value(100, r + 1000) : Value(20, r)) << r;
  EXPECT_TRUE(AllRight(f));
}

// ---- the cursor and the cache -----------------------------------------------------------

TEST_F(VarCharCursor, StaysValidWhenTheCacheWritesMovesAndDropsItsPage) {
  auto& f = Start(100, FBL_ByteOrder::kBigEndian);  // big-endian: writing converts the held page
  for (uint32_t r = 1; r <= 200; ++r) Write(f, r, Value(30, r));
  FBL_Cache& cache = *f.GetCache();
  EXPECT_EQ(Read(f, 150), Value(30, 150));
  cache.FlushAll();  // code 3: the held page goes to disk order first
  EXPECT_EQ(Read(f, 151), Value(30, 151));
  Write(f, 152, "changed");
  cache.Compact();  // code 1
  EXPECT_EQ(Read(f, 152), "changed");
  {
    // Another cursor takes the page over: codes 3 and 2 for ours.
    FBL_LogicalPage other(f);
    other.Select(f.GetPage().GetLogicalPage());
    uint32_t diskCount = zorder::LoadU16(other.GetData() + 1022, true);
    EXPECT_GT(diskCount, 1u);
    EXPECT_LE(diskCount, 34u);
  }
  EXPECT_EQ(Read(f, 152), "changed");
  EXPECT_EQ(Read(f, 153), Value(30, 153));
  auto& g = Reopen();
  for (uint32_t r = 1; r <= 200; ++r) ASSERT_EQ(Read(g, r), r == 152 ? "changed" : Value(30, r));
  EXPECT_TRUE(AllRight(g));
}

}  // namespace
