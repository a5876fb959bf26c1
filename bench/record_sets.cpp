// Bit-set algebra against plain loops over the same buffers.
//
// Two half-full bit sets of 10,000,000 RecIDs. MakeIntersection, MakeUnion
// and Count are timed against a loop of 64-bit AND, OR and popcount that
// writes into a buffer allocated once (the sets' operations allocate their
// result each time); GetNth against its 2 ms budget. Exit status 1 when a
// bound is missed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "bench/bench_timing.h"
#include "kernel/sets/bit_set.h"

namespace {

constexpr REC_ID kSize = 10'000'000;
constexpr int kRuns = 301;

double Micros(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::micro>(stop - start).count();
}

// Times the set operation and the plain loop in alternation, after a few
// calls to warm the caches and the processor's clock. The bound is checked
// on the fastest call of each, the cost without interference from other
// processes; the medians are printed beside it.
bool Compare(const char* name, const std::function<void()>& ours,
             const std::function<void()>& plain) {
  for (int i = 0; i < 20; ++i) ours(), plain();
  std::vector<double> o, p;
  for (int i = 0; i < kRuns; ++i) {
    o.push_back(Micros(ours));
    p.push_back(Micros(plain));
  }
  double oMin = *std::min_element(o.begin(), o.end());
  double pMin = *std::min_element(p.begin(), p.end());
  bool ok = oMin <= 2 * pMin;
  std::printf(
      "%-17s fastest %6.1f us, plain loop %6.1f us: ratio %.2f %-7s"
      "(medians %6.1f / %6.1f us)\n",
      name, oMin, pMin, oMin / pMin, ok ? "ok" : "OVER 2x", Median(o), Median(p));
  return ok;
}

// The buffers as 64-bit words, which is how the sets store them.
const uint64_t* Words(const FBL_BitSet& set) {
  return reinterpret_cast<const uint64_t*>(set.GetBuffer());
}

// The plain loops, kept out of line so each is compiled on its own.
[[gnu::noinline]] void PlainAnd(const uint64_t* __restrict x, const uint64_t* __restrict y,
                                uint64_t* __restrict out, size_t words) {
  for (size_t i = 0; i < words; ++i) out[i] = x[i] & y[i];
}

[[gnu::noinline]] void PlainOr(const uint64_t* __restrict x, const uint64_t* __restrict y,
                               uint64_t* __restrict out, size_t words) {
  for (size_t i = 0; i < words; ++i) out[i] = x[i] | y[i];
}

// Built for the processor's population count instruction when it has one,
// as the sets' own counting is.
[[gnu::noinline, gnu::target_clones("popcnt", "default")]] uint64_t PlainPopcount(const uint64_t* x,
                                                                                  size_t words) {
  uint64_t n = 0;
  for (size_t i = 0; i < words; ++i) n += std::popcount(x[i]);
  return n;
}

std::unique_ptr<FBL_BitSet> HalfFull(std::mt19937_64& rng) {
  auto set = std::make_unique<FBL_BitSet>(kSize);
  for (REC_ID r = 1; r <= kSize; r += 64) {
    uint64_t bits = rng();
    for (int k = 0; k < 64; ++k) {
      if (bits >> k & 1) set->Include(r + k);
    }
  }
  return set;
}

}  // namespace

int main() {
  std::mt19937_64 rng(42);
  auto a = HalfFull(rng);
  auto b = HalfFull(rng);
  const uint64_t* x = Words(*a);
  const uint64_t* y = Words(*b);
  const size_t words = kSize / 64;  // the plain loops cover exactly the RecIDs
  std::vector<uint64_t> out(words);
  std::printf("two bit sets of %u RecIDs, %u and %u members, %zu-byte buffers\n", kSize, a->Count(),
              b->Count(), a->GetBufferSize());

  bool ok = true;
  ok &= Compare(
      "MakeIntersection", [&] { benchmark::DoNotOptimize(FBL_BitSet::MakeIntersection(*a, *b)); },
      [&] {
        PlainAnd(x, y, out.data(), words);
        benchmark::ClobberMemory();
      });
  ok &= Compare(
      "MakeUnion", [&] { benchmark::DoNotOptimize(FBL_BitSet::MakeUnion(*a, *b)); },
      [&] {
        PlainOr(x, y, out.data(), words);
        benchmark::ClobberMemory();
      });
  ok &= Compare(
      "Count", [&] { benchmark::DoNotOptimize(a->Count()); },
      [&] { benchmark::DoNotOptimize(PlainPopcount(x, words)); });

  uint32_t count = a->Count();
  for (uint32_t n : {count / 2, count}) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i)
      times.push_back(Micros([&] { benchmark::DoNotOptimize(a->GetNth(n)); }));
    double micros = Median(times);
    bool fast = micros < 2000;
    ok &= fast;
    char name[32];
    std::snprintf(name, sizeof name, "GetNth(%u)", n);
    std::printf("%-17s median  %6.1f us, budget 2000 us   %s\n", name, micros,
                fast ? "ok" : "OVER BUDGET");
  }
  return ok ? 0 : 1;
}
