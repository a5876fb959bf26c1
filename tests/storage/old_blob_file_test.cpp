#include <gtest/gtest.h>

#include <vector>

#include "kernel/storage/old_blob_file.h"
#include "tests/storage/blob_fixture.h"

namespace {

using namespace ztest;

class OldBlobFileTest : public BlobFileTest {
 protected:
  // An older file of 64-byte blocks: 1 -> 3 -> 2 holds a value, 4 is free.
  void MakeOld(uint32_t linkOf2 = 0) {
    mVolume = NewVolume(kDefaultSegmentSize, FBL_ByteOrder::kLittleEndian);
    std::vector<uint8_t> bytes(1024 + 4 * 64, 0);
    auto put = [&](size_t at, uint32_t v) { zorder::StoreU32(&bytes[at], v, false); };
    put(0, 64);
    put(4, 4);
    put(1024, 3);
    put(1024 + 128, 2);
    put(1024 + 64, linkOf2);
    auto data = Pattern(3 * 60, 1);
    const size_t order[] = {0, 2, 1};  // block numbers - 1 along the chain
    for (size_t i = 0; i < 3; ++i)
      std::copy(data.begin() + 60 * i, data.begin() + 60 * (i + 1),
                bytes.begin() + 1024 + 64 * order[i] + 4);
    PutFile(*mVolume, 3, 7, bytes);
  }
};

TEST_F(OldBlobFileTest, ReadsChainsOfTheOlderLayout) {
  MakeOld();
  FBL_oldBLOBFile old(*mVolume, 3, 7, 0);
  old.Open();
  EXPECT_EQ(old.GetBlockSize(), 64u);
  EXPECT_EQ(old.GetFirstDeleted(), 4u);
  EXPECT_EQ(old.GetBlockCount(), 4u);
  EXPECT_FALSE(old.IsEmpty());
  const auto data = Pattern(180, 1);
  EXPECT_EQ(old.ReadChain(1, 150, true), std::vector<uint8_t>(data.begin(), data.begin() + 150));
  EXPECT_EQ(ErrorCode([&] { old.ReadChain(1, 181, true); }), 38);
  // Conversion into the current layout.
  FBL_BLOBFile current(*mVolume, 3, 7, 1, 512);
  current.Create();
  current.Open();
  uint32_t first = old.CopyValue(1, 170, current);
  std::vector<uint8_t> back(170);
  current.ReadValue(back.data(), 170, first, 0);
  EXPECT_EQ(back, std::vector<uint8_t>(data.begin(), data.begin() + 170));
  current.Close();
  old.Close();
}

TEST_F(OldBlobFileTest, LoopsAndLinksPastTheEndRaise38) {
  MakeOld(1);  // 1 -> 3 -> 2 -> 1
  FBL_oldBLOBFile old(*mVolume, 3, 7, 0);
  old.Open();
  EXPECT_EQ(ErrorCode([&] { old.ReadChain(1, 100000, false); }), 38);
  EXPECT_EQ(ErrorCode([&] { old.ReadChain(9, 10, false); }), 38);
  old.Close();
}

TEST_F(OldBlobFileTest, AnEmptyOldFileIsItsHeaderArea) {
  mVolume = NewVolume(kDefaultSegmentSize, FBL_ByteOrder::kLittleEndian);
  std::vector<uint8_t> bytes(1024, 0);
  zorder::StoreU32(bytes.data(), 3, false);  // no room for data
  PutFile(*mVolume, 3, 7, bytes);
  FBL_oldBLOBFile old(*mVolume, 3, 7, 0);
  EXPECT_EQ(ErrorCode([&] { old.Open(); }), 38);
  zorder::StoreU32(bytes.data(), 64, false);
  PutFile(*mVolume, 3, 7, bytes);
  FBL_oldBLOBFile again(*mVolume, 3, 7, 0);
  again.Open();
  EXPECT_TRUE(again.IsEmpty());
  again.Close();
}

}  // namespace
