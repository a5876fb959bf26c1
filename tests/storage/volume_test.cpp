#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "kernel/storage/volume_format.h"
#include "kernel/storage/volume_report.h"
#include "tests/storage/volume_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::Pattern;
using ztest::RawFile;

class VolumeFormatTest : public ztest::VolumeTest {};

TEST_F(VolumeFormatTest, NewVolumeLayout) {
  NewVolume(32768);
  RawFile raw(Path());
  EXPECT_EQ(raw.Size(), 1024u + 65536u);
  auto h = raw.Read(0, 44);
  EXPECT_EQ(h[0], 0);
  EXPECT_EQ(h[1], 2);
  EXPECT_EQ(raw.U32(4), 0x00010190u);
  EXPECT_EQ(h[2] | h[3] << 8, 32);
  EXPECT_EQ(raw.U32(8), 32768u);
  EXPECT_EQ(raw.U32(12), 1u);
  EXPECT_EQ(raw.U32(16), 1u);
  EXPECT_EQ(raw.U32(20), 2u);
  EXPECT_EQ(raw.U32(24), 1u);
  EXPECT_EQ(raw.U32(36), 0u);  // cleanly closed
  EXPECT_EQ(raw.U32(1024), 1u);
  EXPECT_EQ(raw.U32(1028), 0xFFFFFFFFu);
  // Entry 0: the table itself, 24 bytes long, identity (0, kind 1).
  uint64_t table = 1024 + 32768;
  EXPECT_EQ(raw.U32(table), 2u);
  EXPECT_EQ(raw.U32(table + 4), 1u);
  EXPECT_EQ(raw.U32(table + 8), 24u);
  EXPECT_EQ(raw.U32(table + 16), 0u);
  EXPECT_EQ(raw.U32(table + 20), 1u);
  auto zeros = raw.Read(44, 980);
  EXPECT_EQ(std::count(zeros.begin(), zeros.end(), 0), 980);
}

TEST_F(VolumeFormatTest, SegmentSizeIsRoundedAndBounded) {
  EXPECT_EQ(zv::NormalizeSegmentSize(5000), 4096u);
  EXPECT_EQ(zv::NormalizeSegmentSize(100), 1024u);
  EXPECT_EQ(zv::NormalizeSegmentSize(100000), 65536u);
  EXPECT_EQ(zv::NormalizeSegmentSize(0), 1024u);
  auto v = NewVolume(5000);
  v->Open();
  EXPECT_EQ(v->GetSegmentSize(), 4096u);
  v->Close();
}

TEST_F(VolumeFormatTest, OpenFlagIsSetWhileOpen) {
  auto v = NewVolume();
  RawFile raw(Path());
  v->Open();
  EXPECT_FALSE(v->WasOpen());
  EXPECT_EQ(raw.Size(), 1024u + 2048u);
  v->Close();
  EXPECT_EQ(raw.U32(36), 0u);
  v->Open();
  v->Open();
  v->Close();
  EXPECT_TRUE(v->IsOpen());
  v->Close();
  raw.SetU32(36, 1);  // as a crashed run leaves it
  v->Open();
  EXPECT_TRUE(v->WasOpen());
  v->Close();
}

TEST_F(VolumeFormatTest, BigEndianVolumeSwapsEveryField) {
  auto data = Pattern(5000, 1);
  {
    auto v = NewVolume(2048, FBL_ByteOrder::kBigEndian);
    v->Open();
    EXPECT_TRUE(v->IsSwapped());
    PutFile(*v, 7, 3, data);
    v->Close();
  }
  RawFile raw(Path());
  EXPECT_EQ(raw.Read(1, 1)[0], 1);
  EXPECT_EQ(raw.U32(4, true), 0x00010190u);  // schema version first on disk
  EXPECT_EQ(raw.Read(4, 2), (std::vector<uint8_t>{0, 1}));
  EXPECT_EQ(raw.U32(8, true), 2048u);
  EXPECT_EQ(raw.U32(16, true), 2u);
  EXPECT_EQ(raw.U32(1028, true), 0xFFFFFFFFu);
  FBL_DataFile v(Path());
  v.Open();
  EXPECT_EQ(GetFile(v, 7, 3), data);
  auto table = v.ReadFileTable();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1].mOwnerId, 7u);
  EXPECT_EQ(table[1].mKind, 3u);
  EXPECT_EQ(table[1].mLength, 5000u);
  v.Close();
}

TEST_F(VolumeFormatTest, FilesPersistAcrossReopen) {
  std::vector<std::vector<uint8_t>> data;
  {
    auto v = NewVolume(1024);
    v->Open();
    for (uint32_t i = 0; i < 6; ++i) {
      data.push_back(Pattern(700 * i * i + 1, i));
      PutFile(*v, 100 + i, 2, data.back());
    }
    v->Close();
  }
  FBL_DataFile v(Path());
  v.Open();
  EXPECT_EQ(v.GetHeader().mLiveFiles, 7u);
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(GetFile(v, 100 + i, 2), data[i]) << i;
  EXPECT_TRUE(GetFile(v, 999, 2).empty());
  v.Close();
}

// The live count in the header is a hint: a damaged one, too low or far
// too high, must not put a new file's entry over another file's nor grow
// the table of files past its end (a fuzzed volume once grew it to 400 MB).
TEST_F(VolumeFormatTest, DamagedLiveCountNeitherOverwritesNorGrowsTheTable) {
  for (const uint32_t live : {1u, 3u, 0x00FFFFFFu}) {
    std::vector<std::vector<uint8_t>> data;
    {
      auto v = NewVolume(1024);
      v->Open();
      for (uint32_t i = 0; i < 4; ++i) {
        data.push_back(Pattern(900 * i + 1, i));
        PutFile(*v, 100 + i, 2, data.back());
      }
      v->Close();
    }
    RawFile(Path()).SetU32(16, live);
    FBL_DataFile v(Path());
    v.Open();
    PutFile(v, 200, 2, Pattern(3000, 9));
    const auto table = v.ReadFileTable();
    EXPECT_EQ(table.size(), 6u) << live;
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(GetFile(v, 100 + i, 2), data[i]) << live;
    EXPECT_EQ(GetFile(v, 200, 2), Pattern(3000, 9)) << live;
    v.Close();
  }
}

TEST_F(VolumeFormatTest, FullMapGrowsByMovingTheFirstDataSegment) {
  auto v = NewVolume(1024);  // one map segment describes 256 segments
  v->Open();
  auto a = Pattern(254 * 1024, 3);  // segments 3..256: the map is full
  PutFile(*v, 1, 2, a);
  EXPECT_EQ(v->GetSegmentCount(), 256u);
  EXPECT_EQ(v->GetHeader().mMapSegments, 1u);
  auto b = Pattern(10, 4);
  PutFile(*v, 2, 2, b);
  // Segment 2 (the table) moved to 257 and became map segment 2; the new
  // file got 258.
  EXPECT_EQ(v->GetHeader().mMapSegments, 2u);
  EXPECT_EQ(v->GetHeader().mTableSegment, 257u);
  EXPECT_EQ(v->GetLink(2), 2u);
  auto table = v->ReadFileTable();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].mFirstSegment, 257u);
  EXPECT_EQ(table[2].mFirstSegment, 258u);
  EXPECT_EQ(GetFile(*v, 1, 2), a);
  v->Close();
  FBL_DataFile w(Path());
  w.Open();
  EXPECT_EQ(GetFile(w, 1, 2), a);
  EXPECT_EQ(GetFile(w, 2, 2), b);
  w.Close();
}

TEST_F(VolumeFormatTest, GrowingPastSeveralMapsKeepsEveryFile) {
  std::vector<std::vector<uint8_t>> data(5);
  {
    auto v = NewVolume(1024);
    v->Open();
    // Interleaved growth so chains cross the map segments.
    std::vector<std::unique_ptr<FBL_EmbededFile>> files;
    for (uint32_t i = 0; i < 5; ++i) {
      files.push_back(std::make_unique<FBL_EmbededFile>(*v, i + 1, 2, 0));
      files[i]->Create();
      files[i]->Open();
    }
    for (int round = 0; round < 30; ++round) {
      for (uint32_t i = 0; i < 5; ++i) {
        auto chunk = Pattern(4000 + 37 * i, round * 5 + i);
        files[i]->Write(chunk.data(), chunk.size());
        data[i].insert(data[i].end(), chunk.begin(), chunk.end());
      }
      if (round % 7 == 0) FBL_MainCache()->FlushAll();
    }
    for (auto& f : files) f->Close();
    EXPECT_GE(v->GetHeader().mMapSegments, 3u);
    v->Close();
  }
  FBL_DataFile v(Path());
  v.Open();
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(GetFile(v, i + 1, 2), data[i]) << i;
  v.Close();
}

TEST_F(VolumeFormatTest, RemovingEntriesShortensOrZeroesTheTable) {
  auto v = NewVolume();
  v->Open();
  for (uint32_t i = 1; i <= 3; ++i) PutFile(*v, i, 2, Pattern(100, i));
  EXPECT_EQ(v->ReadFileTable().size(), 4u);
  {
    FBL_EmbededFile last(*v, 3, 2, 0);
    last.Remove();
    EXPECT_FALSE(last.Exists());
  }
  EXPECT_EQ(v->ReadFileTable().size(), 3u);
  {
    FBL_EmbededFile middle(*v, 1, 2, 0);
    middle.Remove();
  }
  auto table = v->ReadFileTable();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_TRUE(table[1].IsFree());
  EXPECT_EQ(v->GetHeader().mLiveFiles, 2u);
  PutFile(*v, 9, 2, Pattern(10, 9));
  table = v->ReadFileTable();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[1].mOwnerId, 9u);
  EXPECT_EQ(GetFile(*v, 2, 2), Pattern(100, 2));
  v->Close();
}

TEST_F(VolumeFormatTest, UncleanCloseRemovesTemporaryFilesOnly) {
  {
    auto v = NewVolume();
    v->Open();
    PutFile(*v, 1, 0xFFFB, Pattern(3000, 1));
    PutFile(*v, 2, 5, Pattern(3000, 2));
    PutFile(*v, 3, 0xFFFF, Pattern(3000, 3));
    PutFile(*v, 4, 0x8005, Pattern(3000, 4));
    PutFile(*v, 5, 7, Pattern(3000, 5));
    PutFile(*v, static_cast<uint32_t>(-3), 8, Pattern(3000, 6));  // a temporary table's column
    v->Close();
  }
  RawFile(Path()).SetU32(36, 1);
  FBL_DataFile v(Path());
  v.Open();
  EXPECT_TRUE(v.WasOpen());
  EXPECT_EQ(v.GetHeader().mLiveFiles, 3u);
  EXPECT_TRUE(GetFile(v, static_cast<uint32_t>(-3), 8).empty());
  EXPECT_TRUE(GetFile(v, 1, 0xFFFB).empty());
  EXPECT_TRUE(GetFile(v, 3, 0xFFFF).empty());
  EXPECT_TRUE(GetFile(v, 4, 0x8005).empty());
  EXPECT_EQ(GetFile(v, 2, 5), Pattern(3000, 2));
  EXPECT_EQ(GetFile(v, 5, 7), Pattern(3000, 5));
  v.Close();
}

TEST_F(VolumeFormatTest, CleanCloseKeepsTemporaryFiles) {
  {
    auto v = NewVolume();
    v->Open();
    PutFile(*v, 1, 0xFFFF, Pattern(10, 1));
    v->Close();
  }
  FBL_DataFile v(Path());
  v.Open();
  EXPECT_EQ(GetFile(v, 1, 0xFFFF), Pattern(10, 1));
  v.Close();
}

TEST_F(VolumeFormatTest, CompactShortensAndKeepsTheRest) {
  auto v = NewVolume(1024);
  v->Open();
  for (uint32_t i = 1; i <= 6; ++i) PutFile(*v, i, 2, Pattern(3000 * i, i));
  uint64_t before = RawFile(Path()).Size();
  for (uint32_t i : {2u, 4u}) {
    FBL_EmbededFile f(*v, i, 2, 0);
    f.Remove();
  }
  v->Compact();
  v->Close();
  uint64_t after = RawFile(Path()).Size();
  EXPECT_EQ(before - after, (6 + 12) * 1024u);  // the removed files' segments
  FBL_DataFile w(Path());
  w.Open();
  for (uint32_t i : {1u, 3u, 5u, 6u}) EXPECT_EQ(GetFile(w, i, 2), Pattern(3000 * i, i)) << i;
  EXPECT_EQ(w.FindLink(0, 2), w.GetSegmentCount() + 1);  // no free segment inside
  w.Close();
}

TEST_F(VolumeFormatTest, ShrinkAndRegrowReadsZeros) {
  auto v = NewVolume(1024);
  v->Open();
  PutFile(*v, 1, 2, Pattern(5000, 1));
  PutFile(*v, 2, 2, Pattern(5000, 2));
  {
    FBL_EmbededFile f(*v, 1, 2, 0);
    f.Open();
    f.SetLength(100);
    f.Close();
  }
  PutFile(*v, 3, 2, Pattern(5000, 3));  // reuses the freed segments
  FBL_EmbededFile f(*v, 1, 2, 0);
  f.Open();
  f.SetLength(4000);
  std::vector<uint8_t> back(4000);
  f.Read(back.data(), back.size());
  auto p = Pattern(5000, 1);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 100, p.begin()));
  EXPECT_EQ(std::count(back.begin() + 100, back.end(), 0), 3900);
  f.Close();
  v->Close();
}

}  // namespace

namespace {

using ztest::Pattern;
using ztest::RawFile;

class VolumeConversionTest : public ztest::VolumeTest {};

// Rewrites a volume as the older format: version 393 and 20-byte entries,
// all in the table's first segment (its other segments freed).
void MakeOldFormat(const std::string& path, const std::vector<FBL_FileEntry>& entries) {
  RawFile raw(path);
  uint32_t n = static_cast<uint32_t>(entries.size());
  std::vector<uint8_t> old(1024, 0);
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* o = old.data() + i * 20;
    FBL_FileEntry e = entries[i];
    if (i == 0) e = FBL_FileEntry{2, 1, n * 20u, 0, 1, 0};
    zorder::StoreU32(o, e.mFirstSegment, false);
    zorder::StoreU32(o + 4, e.mSegmentCount, false);
    zorder::StoreU32(o + 8, static_cast<uint32_t>(e.mLength), false);
    zorder::StoreU32(o + 12, e.mOwnerId, false);
    zorder::StoreU16(o + 16, e.mKind, false);
    zorder::StoreU16(o + 18, e.mSubIndex, false);
  }
  raw.Write(1024 + 1024, old);  // segment 2
  uint32_t next = raw.U32(1024 + 4);
  if (next != 0xFFFFFFFF) raw.SetU32(1024 + (next - 1) * 4, 0);
  raw.SetU32(1024 + 4, 0xFFFFFFFF);
  raw.SetU32(4, 1u << 16 | 393);
}

TEST_F(VolumeConversionTest, Version393TableIsWidenedOnce) {
  std::vector<std::vector<uint8_t>> data;
  std::vector<FBL_FileEntry> entries;
  {
    auto v = NewVolume(1024);
    v->Open();
    for (uint32_t i = 1; i <= 45; ++i) {  // 46 entries: 920 bytes old, 1104 new
      data.push_back(Pattern(100 * i, i));
      PutFile(*v, i, 3, data.back());
    }
    entries = v->ReadFileTable();
    v->Close();
  }
  MakeOldFormat(Path(), entries);
  for (int round = 0; round < 2; ++round) {
    FBL_DataFile v(Path());
    v.Open();
    EXPECT_EQ(v.GetHeader().mTableFormat, 64u);
    auto table = v.ReadFileTable();
    ASSERT_EQ(table.size(), 46u);
    EXPECT_EQ(table[0].mLength, 46u * 24);
    EXPECT_EQ(table[0].mSegmentCount, 2u);
    for (uint32_t i = 1; i <= 45; ++i) EXPECT_EQ(GetFile(v, i, 3), data[i - 1]) << i;
    v.Close();
  }
  RawFile raw(Path());
  auto mark = raw.Read(2, 2);
  EXPECT_EQ(mark[0] | mark[1] << 8, 64);
}

TEST_F(VolumeConversionTest, ReadOnlyOldVolumeIsReadAsItIs) {
  std::vector<FBL_FileEntry> entries;
  {
    auto v = NewVolume(1024);
    v->Open();
    PutFile(*v, 4, 3, Pattern(2500, 4));
    entries = v->ReadFileTable();
    v->Close();
  }
  MakeOldFormat(Path(), entries);
  auto before = RawFile(Path()).Read(0, 1 << 20);
  std::string out;
  EXPECT_EQ(zv::WriteVolumeReport(Path(), out), 0);
  EXPECT_NE(out.find("  1: owner 4, kind 3, sub-index 0, permanent, first segment 3, 3 "
                     "segments, length 2500\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(RawFile(Path()).Read(0, 1 << 20), before);
}

}  // namespace
