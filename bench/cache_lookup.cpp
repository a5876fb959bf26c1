// FBL_Cache lookups: hits among many cached 1 KB blocks of one file, and
// misses that evict when the arena is full.
//
//   bench_cache_lookup [benchmark flags]
//
// Hit/Get and Hit/Exact: every 1 KB unit of a file of N units is cached
// (arena sized to hold them all, loaded in a scrambled order so arena order
// differs from file order); GetBlock and GetExactBlock at random units.
// MissEvict: a 128 MB file read through a small arena in blocks at random
// 4 KB slots; with mixed sizes each slot's block is 1 KB or 4 KB (fixed per
// slot, so blocks never overlap), and a 4 KB block needs a run that freed
// 1 KB blocks leave scattered. The second argument 0 gives only 1 KB blocks,
// the baseline without gathering; 2 gives only 4 KB blocks. The counter
// miss_ratio is the share of lookups that read the file.
// BarePread: the same picks read with the platform's positioned read
// alone, as the OS page cache serves them: what a miss costs at least.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "kernel/storage/file_win.h"
#include "kernel/storage/page_cache.h"
#include "platform/env.h"

namespace {

constexpr uint64_t kUnit = FBL_Cache::kUnit;
constexpr uint64_t kSlot = 4096;
constexpr uint64_t kMissFileBytes = 128u << 20;
constexpr size_t kOffsets = 1 << 16;  // drawn before timing, used in a cycle

struct TempDir {
  TempDir() : path(platform::Env::Default()->CreateTempDirectory()) {}
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

TempDir& Dir() {
  static TempDir dir;
  return dir;
}

// A file of `bytes` bytes on disk, open, using `cache`.
std::unique_ptr<FBL_FileWin> MakeFile(const std::string& name, FBL_Cache& cache, uint64_t bytes) {
  auto f = std::make_unique<FBL_FileWin>(Dir().File(name));
  f->Create();
  f->SetCache(&cache);
  f->Open();
  std::vector<uint8_t> chunk(1u << 20);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 31 + i / kUnit);
  for (uint64_t at = 0; at < bytes; at += chunk.size())
    f->WriteAt(chunk.data(), at, std::min<uint64_t>(chunk.size(), bytes - at));
  return f;
}

// Counts the reads that load blocks.
class CountingFile : public FBL_FileWin {
 public:
  using FBL_FileWin::FBL_FileWin;
  uint64_t ReadAt(void* buffer, uint64_t offset, uint64_t count) override {
    ++reads;
    return FBL_FileWin::ReadAt(buffer, offset, count);
  }
  uint64_t reads = 0;
};

// A cache holding every unit of an N-unit file. Built once per N and kept
// for every run of the benchmarks that use it.
struct FullCache {
  explicit FullCache(uint64_t units)
      : cache(units * FBL_Cache::kSlotBytes + 4 * FBL_Cache::kMargin),
        file(MakeFile("hit" + std::to_string(units), cache, units * kUnit)) {
    std::vector<uint64_t> order(units);
    std::iota(order.begin(), order.end(), 0);
    std::mt19937_64 rng(7);
    std::shuffle(order.begin(), order.end(), rng);
    for (uint64_t u : order) cache.GetExactBlock(*file, u * kUnit, kUnit);
    offsets.resize(kOffsets);
    for (auto& o : offsets) o = rng() % units * kUnit;
  }
  ~FullCache() { file->Close(); }
  FBL_Cache cache;
  std::unique_ptr<FBL_FileWin> file;
  std::vector<uint64_t> offsets;
};

FullCache& Full(uint64_t units) {
  static std::map<uint64_t, std::unique_ptr<FullCache>> caches;
  auto& c = caches[units];
  if (!c) c = std::make_unique<FullCache>(units);
  return *c;
}

void HitCheck(benchmark::State& state, FullCache& env, uint64_t units) {
  if (env.cache.GetBlockCount() != units) state.SkipWithError("not every unit cached");
  state.SetItemsProcessed(state.iterations());
}

void Hit_Get(benchmark::State& state) {
  const uint64_t units = static_cast<uint64_t>(state.range(0));
  FullCache& env = Full(units);
  size_t i = 0;
  for (auto _ : state) {
    // A byte inside the unit, so the lookup does not land on a block start.
    benchmark::DoNotOptimize(env.cache.GetBlock(*env.file, env.offsets[i] + 100, 1, false));
    i = (i + 1) & (kOffsets - 1);
  }
  HitCheck(state, env, units);
}

void Hit_Exact(benchmark::State& state) {
  const uint64_t units = static_cast<uint64_t>(state.range(0));
  FullCache& env = Full(units);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(env.cache.GetExactBlock(*env.file, env.offsets[i], kUnit));
    i = (i + 1) & (kOffsets - 1);
  }
  HitCheck(state, env, units);
}

// The 128 MB file, written once, opened under a fresh arena for each
// configuration and kept full between runs of the same one.
struct MissCache {
  // sizes: 0 only 1 KB blocks, 1 mixed, 2 only 4 KB blocks.
  MissCache(uint64_t arena, int sizes) : cache(arena) {
    static bool written = false;
    if (!written) {
      MakeFile("miss", cache, kMissFileBytes)->Close();
      written = true;
    }
    file = std::make_unique<CountingFile>(Dir().File("miss"));
    file->SetCache(&cache);
    file->Open();
    const uint64_t slots = kMissFileBytes / kSlot;
    std::mt19937_64 rng(11);
    slotSize.assign(slots, sizes == 2 ? kSlot : kUnit);
    if (sizes == 1) {
      for (auto& s : slotSize) s = rng() % 2 ? kSlot : kUnit;
    }
    picks.resize(kOffsets);
    for (auto& p : picks) p = rng() % slots;
    // Fill the arena first, so that every timed miss evicts.
    while (cache.GetBytesInUse() + 2 * (kSlot + FBL_Cache::kSlotBytes) < arena) Next();
  }
  ~MissCache() { file->Close(); }
  // The block of the next picked slot; returns its size.
  uint64_t Next() {
    uint64_t s = picks[next];
    next = (next + 1) & (kOffsets - 1);
    benchmark::DoNotOptimize(
        cache.GetExactBlock(*file, s * kSlot, static_cast<uint32_t>(slotSize[s])));
    return slotSize[s];
  }
  FBL_Cache cache;
  std::unique_ptr<CountingFile> file;
  std::vector<uint64_t> slotSize;
  std::vector<uint64_t> picks;
  size_t next = 0;
};

MissCache& Miss(uint64_t arena, int sizes) {
  static std::unique_ptr<MissCache> current;
  static std::pair<uint64_t, int> key;
  if (!current || key != std::make_pair(arena, sizes)) {
    current.reset();
    current = std::make_unique<MissCache>(arena, sizes);
    key = {arena, sizes};
  }
  return *current;
}

void MissEvict(benchmark::State& state) {
  MissCache& env = Miss(static_cast<uint64_t>(state.range(0)) << 20, static_cast<int>(state.range(1)));
  uint64_t bytes = 0;
  const uint64_t readsBefore = env.file->reads;
  for (auto _ : state) bytes += env.Next();
  if (state.iterations() > 0)
    state.counters["miss_ratio"] = static_cast<double>(env.file->reads - readsBefore) /
                                   static_cast<double>(state.iterations());
  if (!env.cache.CheckInvariants().empty()) state.SkipWithError("cache invariants broken");
  state.counters["blocks"] = env.cache.GetBlockCount();
  state.counters["free_runs"] = env.cache.GetFreeBlockCount();
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BarePread(benchmark::State& state) {
  MissCache& env = Miss(1u << 20, static_cast<int>(state.range(0)));
  std::vector<uint8_t> buffer(kSlot);
  uint64_t bytes = 0;
  size_t next = 0;
  for (auto _ : state) {
    const uint64_t slot = env.picks[next];
    next = (next + 1) & (kOffsets - 1);
    // The file's own read, under the cache: one positioned read.
    bytes += env.file->ReadAt(buffer.data(), slot * kSlot, env.slotSize[slot]);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

}  // namespace

BENCHMARK(Hit_Get)->Arg(1000)->Arg(10000)->Arg(50000);
BENCHMARK(Hit_Exact)->Arg(1000)->Arg(10000)->Arg(50000);
// Arena megabytes; 1 KB blocks only (0), mixed (1) or 4 KB only (2).
BENCHMARK(MissEvict)->Args({1, 0})->Args({1, 1})->Args({1, 2})->Args({4, 0})->Args({4, 1})->Args({4, 2});
// The same picks and sizes through a bare positioned read.
BENCHMARK(BarePread)->Arg(0)->Arg(2);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Dir();  // made first, so it is removed after the files kept in it close
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
