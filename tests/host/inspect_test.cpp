// `zorvane inspect` on volumes and databases made by the kernel.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "kernel/storage/database.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/volume.h"
#include "tests/support/raw_file.h"
#include "tests/support/test_dir.h"

namespace {

struct Outcome {
  int status;
  std::string output;
};

Outcome Inspect(const std::string& path) {
  Outcome outcome{-1, ""};
  FILE* pipe =
      popen((std::string(ZORVANE_HOST_PATH) + " inspect '" + path + "' 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    outcome.output.append(buffer.data(), n);
  }
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class InspectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::StartKernel(1 << 20);
    FBL_DataBase db;
    db.Create(Base(), 8192, 4, FBL_ByteOrder::kDefault);
    db.SetSchemaVersion(3);
    db.Close();
    zv::StopKernel();
  }
  std::string Base() const { return mDir.File("shop"); }
  ztest::TempDir mDir;
};

}  // namespace

TEST_F(InspectTest, ADatabaseListsItsVolumesByMode) {
  for (const std::string& path : {Base(), Base() + ".vdb"}) {
    const Outcome o = Inspect(path);
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_TRUE(Has(o.output, "storage mode 4")) << o.output;
    EXPECT_TRUE(Has(o.output, "== " + Base() + ".vdb (structure)"));
    EXPECT_TRUE(Has(o.output, "== " + Base() + ".dat (records)"));
    EXPECT_TRUE(Has(o.output, "== " + Base() + ".ind (indexes)"));
    EXPECT_TRUE(Has(o.output, Base() + ".blb (BLOBs): not created yet"));
    EXPECT_TRUE(Has(o.output, "schema version: 3"));
    EXPECT_TRUE(Has(o.output, "segment size: 4096"));
    EXPECT_TRUE(Has(o.output, "segment size: 8192"));
  }
}

TEST_F(InspectTest, ASingleVolumeAndADamagedOne) {
  const Outcome one = Inspect(Base() + ".dat");
  EXPECT_EQ(one.status, 0) << one.output;
  EXPECT_TRUE(Has(one.output, "format version: 400"));
  EXPECT_FALSE(Has(one.output, "storage mode 4,"));

  std::filesystem::resize_file(Base() + ".ind", 100);  // cut inside the header
  const Outcome damaged = Inspect(Base());
  EXPECT_EQ(damaged.status, 1);
  EXPECT_TRUE(Has(damaged.output, "error")) << damaged.output;
  EXPECT_TRUE(Has(damaged.output, "== " + Base() + ".dat (records)"));  // the rest still shown

  const Outcome missing = Inspect(mDir.File("nothing"));
  EXPECT_EQ(missing.status, 1);
}

namespace {

// A volume of 1 KB segments whose segments are all in use: the map, the
// table of files, a file of 5 segments (3..7) and one of 20 (8..27).
void MakeFullVolume(const std::string& path) {
  zv::StartKernel(1 << 20);
  {
    FBL_DataFile v(path);
    v.CreateVolume(1024, 1, FBL_ByteOrder::kLittleEndian);
    v.Open();
    for (auto [owner, bytes] : {std::pair{1u, 5000u}, std::pair{2u, 20000u}}) {
      FBL_EmbededFile f(v, owner, 2, 0);
      f.Create();
      f.Open();
      const auto data = ztest::Pattern(bytes, owner);
      f.Write(data.data(), data.size());
      f.Close();
    }
    v.Close();
  }
  zv::StopKernel();
}

}  // namespace

TEST_F(InspectTest, EveryChainIsCheckedAgainstTheVolumesLength) {
  const std::string whole = mDir.File("whole.vdb");
  MakeFullVolume(whole);
  const uint64_t full = std::filesystem::file_size(whole);
  ASSERT_EQ(full, 1024u + 27 * 1024);
  const Outcome sound = Inspect(whole);
  EXPECT_EQ(sound.status, 0) << sound.output;
  EXPECT_TRUE(Has(sound.output, "file chains: 3 files checked, 0 problems")) << sound.output;

  const struct {
    uint64_t length;
    const char* says;
  } kCuts[] = {
      {full - 1, "bytes into segment 27"},
      {full - 512, "bytes into segment 27"},
      {full - 1024, "segment 20 of its chain is 27, past the end"},
      {full - 5 * 1024 - 100, "segment 15 of its chain is 22, past the end"},
      {1024 + 7 * 1024, "segment 1 of its chain is 8, past the end"},
      {1024 + 3 * 1024 + 100, "segment 2 of its chain is 4, past the end"},
      {1024 + 2 * 1024, "file 1 (owner 1, kind 2, sub-index 0): segment 1 of its chain is 3"},
      {1024 + 1024 + 10, "error 301"},
      {500, "error"},
  };
  for (const auto& cut : kCuts) {
    const std::string path = mDir.File("cut.vdb");
    std::filesystem::copy_file(whole, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(path, cut.length);
    const Outcome o = Inspect(path);
    EXPECT_EQ(o.status, 1) << cut.length << "\n" << o.output;
    EXPECT_TRUE(Has(o.output, cut.says)) << cut.length << "\n" << o.output;
    EXPECT_EQ(std::filesystem::file_size(path), cut.length);  // read only
  }

  // Whole but damaged: the second file's chain runs into the first's.
  ztest::RawFile(whole).SetU32(1024 + (10 - 1) * 4, 4);
  const Outcome crossed = Inspect(whole);
  EXPECT_EQ(crossed.status, 1);
  EXPECT_TRUE(Has(crossed.output, "segment 4 is also in the chain of file 1")) << crossed.output;
}
