// Damaged volumes: each on-disk structure corrupted in turn must raise the
// exact error, never crash or loop, and leave the undamaged parts readable.
#include <gtest/gtest.h>

#include <functional>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/volume.h"
#include "tests/storage/volume_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::Pattern;
using ztest::RawFile;

constexpr uint32_t kS = 1024;
uint64_t SegmentAt(uint32_t n) {
  return 1024 + uint64_t{n - 1} * kS;
}
uint64_t LinkAt(uint32_t n) {
  return 1024 + uint64_t{n - 1} * 4;
}

class VolumeDamageTest : public ztest::VolumeTest {
 protected:
  // A closed volume: table at segment 2, file 1 (3 segments: 3, 4, 5) and
  // file 2 (one segment: 6).
  void SetUp() override {
    VolumeTest::SetUp();
    auto v = NewVolume(kS);
    v->Open();
    PutFile(*v, 1, 2, Pattern(3000, 1));
    PutFile(*v, 2, 2, Pattern(500, 2));
    v->Close();
    RawFile raw(Path());
    ASSERT_EQ(raw.U32(LinkAt(3)), 4u);
    ASSERT_EQ(raw.U32(LinkAt(5)), 0xFFFFFFFFu);
    ASSERT_EQ(raw.U32(SegmentAt(2) + 48), 6u);  // entry 2's first segment
  }
  int OpenCode() {
    FBL_DataFile v(Path());
    return ErrorCode([&] { v.Open(); });
  }
  int ReadCode(uint32_t owner) {
    FBL_DataFile v(Path());
    v.Open();
    return ErrorCode([&] { GetFile(v, owner, 2); });
  }
  bool OtherFileReads() {
    FBL_DataFile v(Path());
    v.Open();
    return GetFile(v, 2, 2) == Pattern(500, 2);
  }
  RawFile raw{Path()};
};

TEST_F(VolumeDamageTest, HeaderSegmentSizeZero) {
  raw.SetU32(8, 0);
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(8, 1500);  // not whole kilobytes
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(8, 1u << 20);
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
}

TEST_F(VolumeDamageTest, HeaderNewerVersion) {
  raw.SetU32(4, 1u << 16 | 401);
  EXPECT_EQ(OpenCode(), ERR_CANT_OPEN_NEW_VERSION);
}

TEST_F(VolumeDamageTest, HeaderMapAndTableOutOfRange) {
  raw.SetU32(12, 0);
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(12, 100);  // more map segments than the file has
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(12, 1);
  raw.SetU32(20, 1);  // the table in the map
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(20, 0);
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(20, 77);
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
}

TEST_F(VolumeDamageTest, TruncatedFiles) {
  // File 2's segment ends the closed volume: the free segments it grew
  // ahead are trimmed at the close.
  ASSERT_EQ(raw.Size(), SegmentAt(7));
  raw.Truncate(SegmentAt(6) + 100);  // into file 2's segment
  EXPECT_EQ(ReadCode(2), ERR_DATA_FILE);
  raw.Truncate(30);  // into the header
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.Truncate(1024 + 500);  // into the map
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
}

TEST_F(VolumeDamageTest, TableOfFilesEntryZero) {
  raw.SetU32(SegmentAt(2) + 8, 25);  // length not a whole number of entries
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(SegmentAt(2) + 8, 24 * 1000);  // longer than its one segment
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
  raw.SetU32(SegmentAt(2) + 8, 72);
  raw.SetU32(SegmentAt(2) + 4, 0);  // no segments
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
}

TEST_F(VolumeDamageTest, EntryFirstSegmentZeroOrOutOfRange) {
  uint64_t first = SegmentAt(2) + 24;  // entry 1
  for (uint32_t bad : {0u, 1u, 7u, 99999u, 0xFFFFFFFFu}) {
    raw.SetU32(first, bad);
    EXPECT_EQ(ReadCode(1), ERR_DATA_FILE) << bad;
    EXPECT_TRUE(OtherFileReads()) << bad;
  }
}

TEST_F(VolumeDamageTest, EntryCountAndLengthOutOfRange) {
  uint64_t entry = SegmentAt(2) + 24;
  raw.SetU32(entry + 4, 0);
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  raw.SetU32(entry + 4, 1000000);
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  raw.SetU32(entry + 4, 3);
  raw.SetU32(entry + 8, 3 * kS + 1);  // longer than its segments
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  EXPECT_TRUE(OtherFileReads());
}

TEST_F(VolumeDamageTest, LinkPastTheEnd) {
  raw.SetU32(LinkAt(3), 200);  // within the map, beyond the file
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  raw.SetU32(LinkAt(3), 5000);  // beyond what the map describes
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  raw.SetU32(LinkAt(3), 1);  // into the map
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  EXPECT_TRUE(OtherFileReads());
}

TEST_F(VolumeDamageTest, LinkCycleEndsInAnError) {
  raw.SetU32(LinkAt(5), 3);  // 3 -> 4 -> 5 -> 3 ...
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  raw.SetU32(LinkAt(5), 5);  // a segment linked to itself
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  raw.SetU32(LinkAt(5), 6);           // into another file's chain, which ends
  EXPECT_EQ(ReadCode(1), 0);          // tolerated as a leftover tail
  raw.SetU32(LinkAt(4), 0xFFFFFFFF);  // the chain ends too early
  EXPECT_EQ(ReadCode(1), ERR_DATA_FILE);
  EXPECT_TRUE(OtherFileReads());
}

TEST_F(VolumeDamageTest, LeftoverTailOfAnInterruptedGrowthIsTolerated) {
  // As a run that linked segment 7 but died before counting it leaves it.
  raw.Truncate(raw.Size() + kS);
  raw.SetU32(LinkAt(5), 7);
  raw.SetU32(LinkAt(7), 0xFFFFFFFF);
  EXPECT_EQ(ReadCode(1), 0);
  FBL_DataFile v(Path());
  v.Open();
  EXPECT_EQ(GetFile(v, 1, 2), Pattern(3000, 1));
  FBL_EmbededFile f(v, 1, 2, 0);
  f.Remove();  // frees the counted segments; the uncounted tail stays aside
  EXPECT_EQ(v.GetLink(5), 0u);
  EXPECT_EQ(v.GetLink(7), 0xFFFFFFFFu);
  v.Close();
}

TEST_F(VolumeDamageTest, CrossLinkedChainDoesNotFreeTheOtherFile) {
  raw.SetU32(LinkAt(5), 6);  // file 1 runs on into file 2's segment
  FBL_DataFile v(Path());
  v.Open();
  EXPECT_EQ(GetFile(v, 1, 2), Pattern(3000, 1));
  FBL_EmbededFile f(v, 1, 2, 0);
  f.Remove();
  EXPECT_EQ(GetFile(v, 2, 2), Pattern(500, 2));
  v.Close();
}

TEST_F(VolumeDamageTest, CycleInTheTableOfFiles) {
  raw.SetU32(LinkAt(2), 2);
  EXPECT_EQ(OpenCode(), ERR_DATA_FILE);
}

TEST_F(VolumeDamageTest, DamageDoesNotStopCleanClose) {
  raw.SetU32(SegmentAt(2) + 24, 0);  // entry 1 damaged
  {
    FBL_DataFile v(Path());
    v.Open();
    EXPECT_EQ(ErrorCode([&] { GetFile(v, 1, 2); }), ERR_DATA_FILE);
    v.Close();
  }
  EXPECT_EQ(raw.U32(36), 0u);
}

}  // namespace
