// Sequential throughput of one embedded file against raw env transfers of
// the same 256 MiB in 64 KiB calls: writing (then flushing) and reading back
// through a dropped cache. Each figure is the best of three runs; the
// embedded file should reach at least half the raw throughput.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "platform/env.h"

namespace {

constexpr uint64_t kTotal = 256ull << 20;
constexpr size_t kChunk = 64 << 10;

double MiBps(double seconds) {
  return static_cast<double>(kTotal >> 20) / seconds;
}

struct Figures {
  double write;
  double read;
};

Figures Raw(const std::string& dir, const std::vector<uint8_t>& chunk) {
  std::vector<uint8_t> back(kChunk);
  auto f = platform::Env::Default()->CreateFile(dir + "/raw");
  auto t = BenchClock::now();
  for (uint64_t at = 0; at < kTotal; at += kChunk) f->WriteAt(at, chunk.data(), kChunk);
  f->Sync();
  const double write = SecondsSince(t);
  t = BenchClock::now();
  for (uint64_t at = 0; at < kTotal; at += kChunk) f->ReadAt(at, back.data(), kChunk);
  const double read = SecondsSince(t);
  f.reset();
  platform::Env::Default()->DeleteFile(dir + "/raw");
  return {write, read};
}

Figures Embedded(const std::string& dir, const std::vector<uint8_t>& chunk) {
  std::vector<uint8_t> back(kChunk);
  zv::StartKernel(64ull << 20);
  Figures figures{};
  {
    FBL_DataFile v(dir + "/v.vdb");
    v.CreateVolume(32768, 1, FBL_ByteOrder::kDefault);
    v.Open();
    FBL_EmbededFile f(v, 1, 2, 0);
    f.Create();
    f.Open();
    auto t = BenchClock::now();
    for (uint64_t at = 0; at < kTotal; at += kChunk) f.Write(chunk.data(), kChunk);
    f.Flush();
    v.Sync();
    figures.write = SecondsSince(t);
    FBL_MainCache()->DropFile(f);
    f.SetPosition(0);
    t = BenchClock::now();
    for (uint64_t at = 0; at < kTotal; at += kChunk) f.Read(back.data(), kChunk);
    figures.read = SecondsSince(t);
    if (back != chunk) std::printf("embedded file read back different bytes\n");
    f.Close();
    v.Close();
  }
  zv::StopKernel();
  std::filesystem::remove(dir + "/v.vdb");
  return figures;
}

}  // namespace

int main() {
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  std::vector<uint8_t> chunk(kChunk);
  for (size_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<uint8_t>(i * 13);
  Figures raw{1e9, 1e9}, embedded{1e9, 1e9};
  for (int run = 0; run < 3; ++run) {
    const Figures r = Raw(dir, chunk);
    const Figures e = Embedded(dir, chunk);
    raw = {std::min(raw.write, r.write), std::min(raw.read, r.read)};
    embedded = {std::min(embedded.write, e.write), std::min(embedded.read, e.read)};
  }
  std::filesystem::remove_all(dir);
  const bool writeOk = MiBps(embedded.write) >= MiBps(raw.write) / 2;
  const bool readOk = MiBps(embedded.read) >= MiBps(raw.read) / 2;
  std::printf("raw env:       write %6.0f MiB/s, read %6.0f MiB/s\n", MiBps(raw.write),
              MiBps(raw.read));
  std::printf("embedded file: write %6.0f MiB/s (%s), read %6.0f MiB/s (%s)  bound: half of raw\n",
              MiBps(embedded.write), writeOk ? "ok" : "MISSED", MiBps(embedded.read),
              readOk ? "ok" : "MISSED");
  return writeOk && readOk ? 0 : 1;
}
