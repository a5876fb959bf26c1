#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <set>

#include "kernel/storage/file_stream.h"
#include "kernel/storage/small_files.h"
#include "tests/storage/volume_fixture.h"

namespace {

using ztest::ErrorCode;

class SmallFilesTest : public ztest::VolumeTest {};

TEST_F(SmallFilesTest, StreamStringsInTheVolumeByteOrder) {
  for (FBL_ByteOrder order : {FBL_ByteOrder::kLittleEndian, FBL_ByteOrder::kBigEndian}) {
    auto v = NewVolume(1024, order);
    v->Open();
    {
      FBL_FileStream s(*v, 1, 2, 0);
      s.Create();
      s.Open();
      EXPECT_EQ(s.WriteString("hello"), 9u);
      EXPECT_EQ(s.WriteString(""), 4u);
      EXPECT_EQ(s.WriteString(std::string(3000, 'x')), 3004u);
      s.Close();
    }
    FBL_FileStream s(*v, 1, 2, 0);
    s.Open();
    uint8_t raw[4];
    s.Read(raw, 4);
    EXPECT_EQ(raw[order == FBL_ByteOrder::kLittleEndian ? 0 : 3], 5);
    s.SetPosition(0);
    std::string text;
    EXPECT_EQ(s.ReadString(text), 9u);
    EXPECT_EQ(text, "hello");
    s.ReadString(text);
    EXPECT_EQ(text, "");
    s.ReadString(text);
    EXPECT_EQ(text, std::string(3000, 'x'));
    s.SetPosition(0);
    s.WriteU32(1000000);  // a length past the end
    s.SetPosition(0);
    EXPECT_EQ(ErrorCode([&] { s.ReadString(text); }), ERR_ASSERTION_FAIL);
    s.Close();
    v->Close();
  }
}

TEST_F(SmallFilesTest, ArrayFiles) {
  auto v = NewVolume();
  v->Open();
  FBL_SM sm(*v, 7, 3);
  sm.Create(100);
  EXPECT_EQ(sm.GetSize(), 100u);
  EXPECT_EQ(sm.GetEntry().mKind, 6u);
  EXPECT_EQ(sm.Get(50), 0u);
  sm.Set(50, 0xDEADBEEF);
  sm.Set(150, 9);
  EXPECT_EQ(sm.GetCount(), 150u);
  EXPECT_EQ(sm.Get(50), 0xDEADBEEFu);
  EXPECT_EQ(sm.Get(149), 0u);
  EXPECT_EQ(sm.Get(151), 0u);
  sm.TruncateTo(60);
  EXPECT_EQ(sm.GetCount(), 60u);
  sm.TruncateTo(80);
  EXPECT_EQ(sm.GetCount(), 60u);
  sm.Close();
  FBL_SM again(*v, 7, 3);
  again.Open();
  EXPECT_EQ(again.GetSize(), 60u);
  EXPECT_EQ(again.Get(50), 0xDEADBEEFu);
  again.Close();
  v->Close();
}

TEST_F(SmallFilesTest, BitSetMatchesAModel) {
  auto v = NewVolume();
  v->Open();
  FBL_DataBaseFile bits(*v, 1, 9, 0);
  bits.Create();
  bits.Open();
  EXPECT_EQ(bits.FirstSet(), 0u);
  EXPECT_EQ(bits.LastSet(), 0u);
  std::set<uint32_t> model;
  std::mt19937 rng(5);
  for (int step = 0; step < 3000; ++step) {
    uint32_t r = 1 + rng() % 70000;
    bool on = rng() % 3 != 0;
    bits.SetBit(r, on);
    if (on) {
      model.insert(r);
    } else {
      model.erase(r);
    }
    if (step % 50 == 0) {
      uint32_t probe = rng() % 72000;
      auto next = model.upper_bound(probe);
      EXPECT_EQ(bits.NextSet(probe), next == model.end() ? 0 : *next) << probe;
      auto prev = model.lower_bound(probe);
      EXPECT_EQ(bits.PrevSet(probe), prev == model.begin() ? 0 : *std::prev(prev)) << probe;
      EXPECT_EQ(bits.GetBit(r), on);
    }
  }
  EXPECT_EQ(bits.FirstSet(), *model.begin());
  EXPECT_EQ(bits.LastSet(), *model.rbegin());
  uint32_t count = 0;
  for (uint32_t r = bits.FirstSet(); r != 0; r = bits.NextSet(r)) ++count;
  EXPECT_EQ(count, model.size());
  // Record 1 is the lowest bit of the byte after the 8-byte header.
  bits.SetBit(1, true);
  uint8_t byte = 0;
  bits.SetPosition(8);
  bits.Read(&byte, 1);
  EXPECT_EQ(byte & 1, 1);
  bits.Close();
  v->Close();
}

// A database that offers a writable volume for files of a read-only one.
struct TwoVolumes : FBL_VolumeOwner {
  FBL_DataFile* spare = nullptr;
  FBL_DataFile* GetIndexVolume(bool forWriting) override { return forWriting ? spare : nullptr; }
};

TEST_F(SmallFilesTest, ArrayFileOfAReadOnlyVolumeMovesToAWritableOne) {
  NewVolume();
  ::chmod(Path().c_str(), 0444);
  FBL_DataFile ro(Path());
  FBL_DataFile spare(mDir.File("spare.vdb"));
  spare.CreateVolume(1024, 1, FBL_ByteOrder::kDefault);
  TwoVolumes owner;
  owner.spare = &spare;
  ro.SetOwner(&owner);
  ro.Open();
  EXPECT_TRUE(ro.IsReadOnly());
  FBL_SM sm(ro, 3, 1);
  sm.Create(10);
  EXPECT_EQ(&sm.GetVolume(), &spare);
  sm.Set(3, 33);
  sm.Close();
  ro.Close();
  spare.Open();
  EXPECT_EQ(spare.ReadFileTable().size(), 2u);
  spare.Close();
}

}  // namespace
