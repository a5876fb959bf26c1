// `zorvane inspect` on volumes and databases made by the kernel.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "platform/env.h"

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
    mDir = platform::Env::Default()->CreateTempDirectory();
    StartKernel(1 << 20);
    FBL_DataBase db;
    db.Create(Base(), 8192, 4, FBL_ByteOrder::kDefault);
    db.SetSchemaVersion(3);
    db.Close();
    StopKernel();
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }
  std::string Base() const { return mDir + "/shop"; }
  std::string mDir;
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

  const Outcome missing = Inspect(mDir + "/nothing");
  EXPECT_EQ(missing.status, 1);
}
