// FBL_VarCharFile reads and writes one value at a time: 1,000,000 texts of
// 10 to 40 bytes in a VarChar(40) file, read in RecID order and at random
// RecIDs, and written in RecID order into a new file.
//
//   bench_varchar_read [benchmark flags]
//
// The read file is written once before the first benchmark; its pages fit
// in the 128 MB cache beside a written file, so reads measure the page
// search and copy, not the disk. A write run fills a fresh volume and stops
// the clock before the file is flushed and closed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_texts.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/varchar_file.h"
#include "kernel/storage/volume.h"
#include "platform/env.h"

namespace {

constexpr uint32_t kValues = 1'000'000;
constexpr uint32_t kMaxLength = 40;

// A volume holding one VarChar file and its RefFile, open.
struct VarCharVolume {
  explicit VarCharVolume(const std::string& path) {
    volume = std::make_unique<FBL_DataFile>(path);
    volume->CreateVolume(32768, 1, FBL_ByteOrder::kLittleEndian);
    volume->Open();
    ref = std::make_unique<FBL_ULongFile>(*volume, 1, 9, 1);
    file = std::make_unique<FBL_VarCharFile>(*volume, 1, 8, 1, kMaxLength);
    file->SetRefFile(ref.get());
    ref->Create();
    file->Create();
    file->Open();
  }
  ~VarCharVolume() {
    file->Close();
    file.reset();
    ref.reset();
    volume->Close();
  }
  std::unique_ptr<FBL_DataFile> volume;
  std::unique_ptr<FBL_ULongFile> ref;
  std::unique_ptr<FBL_VarCharFile> file;
};

struct Environment {
  Environment()
      : dir(platform::Env::Default()->CreateTempDirectory()), texts(MakeBenchTexts(kValues)) {
    zv::StartKernel(128u << 20);
    read = std::make_unique<VarCharVolume>(dir + "/read.vdb");
    uint32_t id = 0;
    for (const auto& t : texts)
      read->file->WriteValue(++id, t.data(), static_cast<uint32_t>(t.size()));
  }
  ~Environment() {
    read.reset();
    zv::StopKernel();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;
  std::vector<std::string> texts;
  std::unique_ptr<VarCharVolume> read;
};

Environment& Env() {
  static Environment env;
  return env;
}

void ReadInOrder(benchmark::State& state) {
  FBL_VarCharFile& file = *Env().read->file;
  char buffer[kMaxLength];
  uint32_t r = 0;
  uint64_t bytes = 0;
  for (auto _ : state) {
    r = r == kValues ? 1 : r + 1;
    bytes += file.ReadValue(r, buffer, sizeof buffer);
    benchmark::DoNotOptimize(buffer);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void ReadRandom(benchmark::State& state) {
  FBL_VarCharFile& file = *Env().read->file;
  const auto& texts = Env().texts;
  std::mt19937 random(5);
  std::vector<uint32_t> ids(1 << 16);
  for (auto& id : ids) id = 1 + random() % kValues;
  char buffer[kMaxLength];
  size_t i = 0;
  uint64_t bytes = 0;
  for (auto _ : state) {
    bytes += file.ReadValue(ids[i], buffer, sizeof buffer);
    benchmark::DoNotOptimize(buffer);
    i = (i + 1) & (ids.size() - 1);
  }
  // The last value read must be the one written.
  const std::string& want = texts[ids[(i - 1) & (ids.size() - 1)] - 1];
  if (state.iterations() > 0 && want.compare(0, want.size(), buffer, want.size()) != 0)
    state.SkipWithError("read a wrong value");
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void WriteInOrder(benchmark::State& state) {
  const auto& texts = Env().texts;
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto v = std::make_unique<VarCharVolume>(Env().dir + "/write" + std::to_string(run++) + ".vdb");
    state.ResumeTiming();
    uint32_t id = 0;
    for (const auto& t : texts)
      v->file->WriteValue(++id, t.data(), static_cast<uint32_t>(t.size()));
    state.PauseTiming();
    if (v->file->GetRecordCount() != kValues) state.SkipWithError("wrong record count");
    v.reset();
    std::error_code ignored;
    std::filesystem::remove(Env().dir + "/write" + std::to_string(run - 1) + ".vdb", ignored);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}

}  // namespace

BENCHMARK(ReadInOrder);
BENCHMARK(ReadRandom);
BENCHMARK(WriteInOrder)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Env();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
