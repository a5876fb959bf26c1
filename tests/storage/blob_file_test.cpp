#include <gtest/gtest.h>

#include <vector>

#include "kernel/storage/blob_file.h"
#include "tests/storage/blob_fixture.h"

namespace {

using namespace ztest;

class BlobFormatTest : public BlobFileTest {};

TEST_F(BlobFormatTest, ANewFileIsItsHeaderAlone) {
  FBL_BLOBFile& f = Make(512);
  EXPECT_EQ(f.GetLength(), 1024u);
  EXPECT_TRUE(f.IsEmpty());
  EXPECT_EQ(Word(0, 0), 512u);
  EXPECT_EQ(Word(0, 1), 0u);
  for (uint32_t w = 2; w < 8; ++w) EXPECT_EQ(Word(0, w), 0u);
  // The block size stored in the file wins over the one given.
  FBL_BLOBFile& g = Reopen(4096);
  EXPECT_EQ(g.GetBlockSize(), 512u);
}

TEST_F(BlobFormatTest, BlockCountsFollowTheDataRoom) {
  FBL_BLOBFile& f = Make(512);
  uint32_t a = Put(Pattern(960, 1));
  EXPECT_EQ(f.GetBlockCount(), 2u);
  uint32_t b = Put(Pattern(961, 2));
  EXPECT_EQ(f.GetBlockCount(), 5u);
  uint32_t c = Put({});
  EXPECT_EQ(f.GetBlockCount(), 6u);
  EXPECT_FALSE(f.IsEmpty());
  EXPECT_EQ(f.GetLength(), 1024u + 6 * 512);
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 3u);
  EXPECT_EQ(c, 6u);
  EXPECT_EQ(ReadAll(b), Pattern(961, 2));
  EXPECT_EQ(f.GetValueSize(c), 0u);
}

TEST_F(BlobFormatTest, BlockHeadersCarryChainAndSizes) {
  Make(512);
  uint32_t first = Put(Pattern(1000, 3));  // 480 + 480 + 40
  ASSERT_EQ(first, 1u);
  const uint32_t expect[3][6] = {
      {2, 1, 1, 480, 1000, 0}, {3, 1, 2, 480, 0, 0}, {0, 1, 3, 40, 0, 0}};
  for (uint32_t b = 1; b <= 3; ++b) {
    for (uint32_t w = 0; w < 6; ++w) EXPECT_EQ(Word(b, w), expect[b - 1][w]) << b << " " << w;
    EXPECT_EQ(Word(b, 6), 0u);
    EXPECT_EQ(Word(b, 7), 0u);
  }
  // Data byte 500 is in block 2 at data offset 20.
  uint8_t byte = 0;
  mFile->SetPosition(BlockOffset(2) + 32 + 20);
  mFile->Read(&byte, 1);
  EXPECT_EQ(byte, Pattern(1000, 3)[500]);
}

TEST_F(BlobFormatTest, BigEndianVolumesStoreEveryWordBigEndian) {
  FBL_BLOBFile& f = Make(1024, FBL_ByteOrder::kBigEndian);
  ASSERT_TRUE(Big());
  uint32_t first = Put(Pattern(3000, 4));
  f.SetValueTag(first, 0x01020304);
  uint8_t raw[4];
  mFile->SetPosition(BlockOffset(first) + 20);
  mFile->Read(raw, 4);
  EXPECT_EQ(raw[0], 1);
  EXPECT_EQ(raw[3], 4);
  mFile->SetPosition(0);
  mFile->Read(raw, 4);
  EXPECT_EQ(raw[2], 4);  // 1024 = 00 00 04 00
  FBL_BLOBFile& g = Reopen();
  EXPECT_EQ(g.GetBlockSize(), 1024u);
  EXPECT_EQ(ReadAll(first), Pattern(3000, 4));
  EXPECT_EQ(g.GetValueTag(first), 0x01020304u);
}

class BlobValueTest : public BlobFileTest {};

TEST_F(BlobValueTest, ReadsAnyRangeOfAValue) {
  FBL_BLOBFile& f = Make(512);
  auto data = Pattern(5000, 5);
  uint32_t first = Put(data);
  for (uint32_t offset : {0u, 1u, 479u, 480u, 481u, 2000u, 4999u}) {
    uint32_t n = std::min(700u, 5000 - offset);
    std::vector<uint8_t> part(n);
    f.ReadValue(part.data(), n, first, offset);
    EXPECT_EQ(part, std::vector<uint8_t>(data.begin() + offset, data.begin() + offset + n));
  }
}

TEST_F(BlobValueTest, ReadingAtTheEndCopiesNothingAndPastItRaises38) {
  FBL_BLOBFile& f = Make(512);
  uint32_t first = Put(Pattern(960, 6));
  std::vector<uint8_t> buf(10, 0xAA);
  EXPECT_EQ(ErrorCode([&] { f.ReadValue(buf.data(), 10, first, 960); }), 0);
  EXPECT_EQ(buf, std::vector<uint8_t>(10, 0xAA));
  EXPECT_EQ(ErrorCode([&] { f.ReadValue(buf.data(), 10, first, 961); }), 38);
  EXPECT_EQ(ErrorCode([&] { f.ReadValue(buf.data(), 10, first, 955); }), 38);
  EXPECT_EQ(ErrorCode([&] { f.ReadValue(buf.data(), 10, 0, 0); }), 0);
}

TEST_F(BlobValueTest, WritesOverwriteAndExtendInPlace) {
  FBL_BLOBFile& f = Make(512);
  auto data = Pattern(960, 7);  // two full blocks
  uint32_t first = Put(data);
  auto patch = Pattern(100, 8);
  EXPECT_EQ(f.WriteValue(patch.data(), 100, first, 450), first);
  std::copy(patch.begin(), patch.end(), data.begin() + 450);
  EXPECT_EQ(ReadAll(first), data);
  // At the end of a full last block the value grows into a new block.
  auto more = Pattern(700, 9);
  f.WriteValue(more.data(), 700, first, 960);
  data.insert(data.end(), more.begin(), more.end());
  EXPECT_EQ(ReadAll(first), data);
  EXPECT_EQ(f.GetBlockCount(), 4u);
  // Overlapping the end.
  f.WriteValue(more.data(), 700, first, 1500);
  data.resize(1500);
  data.insert(data.end(), more.begin(), more.end());
  EXPECT_EQ(ReadAll(first), data);
  EXPECT_EQ(ErrorCode([&] { f.WriteValue(more.data(), 1, first, 2201); }), 38);
  EXPECT_EQ(ErrorCode([&] { f.WriteValue(more.data(), 1, 0, 5); }), 38);
}

TEST_F(BlobValueTest, TagsLiveInTheFirstBlock) {
  FBL_BLOBFile& f = Make(512);
  uint32_t first = Put(Pattern(2000, 10));
  EXPECT_EQ(f.GetValueTag(first), 0u);
  f.SetValueTag(first, 77);
  EXPECT_EQ(f.GetValueTag(first), 77u);
  EXPECT_EQ(Word(first, kTag), 77u);
  EXPECT_EQ(ReadAll(first), Pattern(2000, 10));
  // Only a first block has a tag.
  EXPECT_EQ(ErrorCode([&] { f.GetValueTag(first + 1); }), 38);
  EXPECT_EQ(ErrorCode([&] { f.SetValueTag(first + 1, 1); }), 38);
}

TEST_F(BlobValueTest, OperationsNeedAnOpenFile) {
  FBL_BLOBFile& f = Make(512);
  f.Close();
  EXPECT_EQ(ErrorCode([&] { f.GetValueSize(1); }), ERR_ASSERTION_FAIL);
  EXPECT_EQ(ErrorCode([&] { Put({1, 2}); }), ERR_ASSERTION_FAIL);
  FBL_BLOBFile tiny(*mVolume, 9, 7, 0, 32);
  EXPECT_EQ(ErrorCode([&] { tiny.Create(); }), ERR_WRONG_PARAMETER);
}

class BlobReuseTest : public BlobFileTest {};

TEST_F(BlobReuseTest, DeletedBlocksFormADoublyLinkedChain) {
  FBL_BLOBFile& f = Make(512);
  uint32_t a = Put(Pattern(1000, 1));  // blocks 1..3
  uint32_t b = Put(Pattern(1000, 2));  // 4..6
  uint32_t c = Put(Pattern(10, 3));    // 7
  f.DeleteValue(a);
  EXPECT_EQ(f.GetFirstDeleted(), 1u);
  f.DeleteValue(b);
  EXPECT_EQ(f.GetFirstDeleted(), 4u);
  EXPECT_EQ(Word(0, 1), 4u);
  // 4 -> 5 -> 6 -> 1 -> 2 -> 3
  const uint32_t next[] = {0, 2, 3, 0, 5, 6, 1};
  const uint32_t prev[] = {0, 6, 1, 2, 0, 4, 5};
  for (uint32_t blk = 1; blk <= 6; ++blk) {
    EXPECT_EQ(Word(blk, kNext), next[blk]) << blk;
    EXPECT_EQ(Word(blk, kPrev), prev[blk]) << blk;
    EXPECT_EQ(Word(blk, kIndex), 0u);
    EXPECT_EQ(Word(blk, kBytes), 0u);
    EXPECT_EQ(Word(blk, kTotal), 0u);
  }
  EXPECT_EQ(ReadAll(c), Pattern(10, 3));
  bool ok = false;
  EXPECT_EQ(Diagnose({{3, c}}, &ok), "");
  EXPECT_TRUE(ok);
}

TEST_F(BlobReuseTest, FreedBlocksAreReusedBeforeTheFileGrows) {
  FBL_BLOBFile& f = Make(512);
  uint32_t a = Put(Pattern(2000, 1));
  uint32_t b = Put(Pattern(3000, 2));
  uint32_t c = Put(Pattern(10, 3));
  uint64_t length = f.GetLength();
  f.DeleteValue(b);
  EXPECT_EQ(f.GetLength(), length);  // not at the end: kept
  uint32_t d = Put(Pattern(3000, 4));
  EXPECT_EQ(d, b);
  EXPECT_EQ(f.GetLength(), length);
  EXPECT_EQ(f.GetFirstDeleted(), 0u);
  // A smaller value leaves the rest of the chain, whose new head has no
  // predecessor.
  f.DeleteValue(d);
  uint32_t e = Put(Pattern(500, 5));
  EXPECT_EQ(e, b);
  EXPECT_EQ(f.GetFirstDeleted(), b + 2);
  EXPECT_EQ(Word(b + 2, kPrev), 0u);
  EXPECT_EQ(f.GetLength(), length);
  EXPECT_EQ(ReadAll(a), Pattern(2000, 1));
  EXPECT_EQ(ReadAll(c), Pattern(10, 3));
  EXPECT_EQ(ReadAll(e), Pattern(500, 5));
  bool ok = false;
  EXPECT_EQ(Diagnose({{1, a}, {2, c}, {3, e}}, &ok), "");
  EXPECT_TRUE(ok);
}

TEST_F(BlobReuseTest, AValueGrowingPastTheFreedBlocksAppendsTheRest) {
  FBL_BLOBFile& f = Make(512);
  uint32_t a = Put(Pattern(900, 1));
  uint32_t keep = Put(Pattern(10, 2));
  f.DeleteValue(a);
  uint32_t big = Put(Pattern(3000, 3));  // 2 freed blocks, then 5 new ones
  EXPECT_EQ(big, a);
  EXPECT_EQ(f.GetBlockCount(), 3u + 5);
  EXPECT_EQ(ReadAll(big), Pattern(3000, 3));
  EXPECT_EQ(Diagnose({{1, big}, {2, keep}}), "");
}

TEST_F(BlobReuseTest, DeletingTheValueAtTheEndShortensTheFile) {
  FBL_BLOBFile& f = Make(512);
  uint32_t a = Put(Pattern(2000, 1));
  uint32_t b = Put(Pattern(2000, 2));
  uint64_t afterA = 1024 + 512 * uint64_t{f.GetBlockCount() / 2};
  f.DeleteValue(b);
  EXPECT_EQ(f.GetLength(), afterA);
  EXPECT_EQ(f.GetFirstDeleted(), 0u);
  // Freed blocks in the middle that end up last go too.
  uint32_t c = Put(Pattern(2000, 3));
  f.DeleteValue(a);
  f.DeleteValue(c);
  EXPECT_EQ(f.GetLength(), 1024u);
  EXPECT_EQ(f.GetFirstDeleted(), 0u);
  EXPECT_EQ(Diagnose({}, nullptr, true), "");
}

TEST_F(BlobReuseTest, TrimTailUnlinksFromTheMiddleOfTheChain) {
  FBL_BLOBFile& f = Make(512);
  uint32_t a = Put(Pattern(10, 1));
  uint32_t b = Put(Pattern(10, 2));
  uint32_t c = Put(Pattern(10, 3));
  uint32_t d = Put(Pattern(10, 4));
  f.DeleteValue(c);  // chain: c
  f.DeleteValue(a);  // chain: a -> c
  EXPECT_EQ(f.GetBlockCount(), 4u);
  f.DeleteValue(d);  // d -> a -> c; d and c end the file: both go
  EXPECT_EQ(f.GetBlockCount(), 2u);
  EXPECT_EQ(f.GetFirstDeleted(), a);
  EXPECT_EQ(Word(a, kNext), 0u);
  EXPECT_EQ(Word(a, kPrev), 0u);
  EXPECT_EQ(Diagnose({{2, b}}), "");
}

TEST_F(BlobReuseTest, DeletedValuesStayDeletedAcrossReopening) {
  Make(1024);
  uint32_t a = Put(Pattern(5000, 1));
  uint32_t b = Put(Pattern(100, 2));
  mFile->DeleteValue(a);
  FBL_BLOBFile& g = Reopen();
  EXPECT_EQ(g.GetFirstDeleted(), a);
  EXPECT_EQ(Put(Pattern(4000, 3)), a);
  EXPECT_EQ(ReadAll(b), Pattern(100, 2));
  EXPECT_EQ(ReadAll(a), Pattern(4000, 3));
}

}  // namespace
