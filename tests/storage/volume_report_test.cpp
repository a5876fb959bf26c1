#include <gtest/gtest.h>

#include "kernel/storage/volume_report.h"
#include "tests/storage/volume_fixture.h"

namespace {

using ztest::Pattern;
using ztest::RawFile;

class VolumeReportTest : public ztest::VolumeTest {};

TEST_F(VolumeReportTest, DescribesAVolumeWithoutChangingIt) {
  {
    auto v = NewVolume(1024);
    v->Open();
    PutFile(*v, 7, 3, Pattern(3000, 1));
    PutFile(*v, 8, 0xFFFF, Pattern(100, 2));
    PutFile(*v, 9, 3, Pattern(100, 3));
    FBL_EmbededFile gone(*v, 8, 0xFFFF, 0);
    gone.Remove();
    v->Close();
  }
  RawFile(Path()).SetU32(36, 1);  // looks interrupted: must stay so
  auto before = RawFile(Path()).Read(0, 1 << 20);
  std::string out;
  EXPECT_EQ(zv::WriteVolumeReport(Path(), out), 0);
  EXPECT_EQ(RawFile(Path()).Read(0, 1 << 20), before);
  for (const char* line :
       {"byte order: 2 (little-endian)", "table-format mark: 32", "format version: 400",
        "schema version: 1", "segment size: 1024", "map segments: 1", "live files: 3",
        "table of files first segment: 2", "storage mode: 1", "key check words: 0 0",
        "open flag: 1", "structure encryption flag: 0", "table of files: 4 entries",
        "  0: owner 0, kind 1, sub-index 0, permanent, first segment 2, 1 segments, length 96",
        "  1: owner 7, kind 3, sub-index 0, permanent, first segment 3, 3 segments, length 3000",
        "  2: free"}) {
    EXPECT_NE(out.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << out;
  }
  EXPECT_NE(out.find("segments: 7 (1 free)"), std::string::npos) << out;
}

TEST_F(VolumeReportTest, DamagedVolumeShowsWhatItCouldAndTheCode) {
  NewVolume(1024);
  RawFile(Path()).SetU32(4, 1u << 16 | 401);
  std::string out;
  EXPECT_EQ(zv::WriteVolumeReport(Path(), out), ERR_CANT_OPEN_NEW_VERSION);
  EXPECT_NE(out.find("format version: 401\n"), std::string::npos);
  EXPECT_NE(out.find("error 320\n"), std::string::npos);
  RawFile(Path()).Truncate(20);
  out.clear();
  EXPECT_EQ(zv::WriteVolumeReport(Path(), out), ERR_DATA_FILE);
  EXPECT_NE(out.find("error 301\n"), std::string::npos);
  out.clear();
  EXPECT_EQ(zv::WriteVolumeReport(mDir.File("missing"), out), ENOENT);
}

}  // namespace
