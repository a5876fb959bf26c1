// Sequential throughput of one embedded file against raw env transfers.
// Disabled by default (it moves 1 GiB); run with
//   test_storage --gtest_also_run_disabled_tests --gtest_filter='*Throughput*'
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "platform/env.h"
#include "tests/storage/test_dir.h"

namespace {

constexpr uint64_t kTotal = 256ull << 20;
constexpr size_t kChunk = 64 << 10;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double MiBps(double seconds) {
  return static_cast<double>(kTotal >> 20) / seconds;
}

TEST(Throughput, DISABLED_EmbeddedFileAgainstRawEnv) {
  ztest::TempDir dir;
  std::vector<uint8_t> chunk(kChunk);
  for (size_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<uint8_t>(i * 13);
  std::vector<uint8_t> back(kChunk);

  double rawWrite, rawRead;
  {
    auto f = platform::Env::Default()->CreateFile(dir.File("raw"));
    auto t = std::chrono::steady_clock::now();
    for (uint64_t at = 0; at < kTotal; at += kChunk) f->WriteAt(at, chunk.data(), kChunk);
    f->Sync();
    rawWrite = Seconds(t);
    t = std::chrono::steady_clock::now();
    for (uint64_t at = 0; at < kTotal; at += kChunk) f->ReadAt(at, back.data(), kChunk);
    rawRead = Seconds(t);
  }
  platform::Env::Default()->DeleteFile(dir.File("raw"));

  StartKernel(64ull << 20);
  double embWrite, embRead;
  {
    FBL_DataFile v(dir.File("v.vdb"));
    v.CreateVolume(32768, 1, 0);
    v.Open();
    FBL_EmbededFile f(v, 1, 2, 0);
    f.Create();
    f.Open();
    auto t = std::chrono::steady_clock::now();
    for (uint64_t at = 0; at < kTotal; at += kChunk) f.Write(chunk.data(), kChunk);
    f.Flush();
    v.Sync();
    embWrite = Seconds(t);
    FBL_MainCache()->DropFile(f);
    f.SetPosition(0);
    t = std::chrono::steady_clock::now();
    for (uint64_t at = 0; at < kTotal; at += kChunk) f.Read(back.data(), kChunk);
    embRead = Seconds(t);
    EXPECT_EQ(back, chunk);
    f.Close();
    v.Close();
  }
  StopKernel();
  std::printf("raw env:       write %.0f MiB/s, read %.0f MiB/s\n", MiBps(rawWrite),
              MiBps(rawRead));
  std::printf("embedded file: write %.0f MiB/s, read %.0f MiB/s\n", MiBps(embWrite),
              MiBps(embRead));
  EXPECT_GE(MiBps(embWrite), MiBps(rawWrite) / 2);
  EXPECT_GE(MiBps(embRead), MiBps(rawRead) / 2);
}

}  // namespace
