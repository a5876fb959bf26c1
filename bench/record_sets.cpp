// Bit-set algebra against plain loops over the same buffers.
//
// Two half-full bit sets of 10,000,000 RecIDs. MakeIntersection, MakeUnion
// and Count are timed against a loop of 64-bit AND, OR and popcount that
// writes into a buffer allocated once; GetNth against its 2 ms budget.
// Each figure is the median of many runs. Exit status 1 when a bound is
// missed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "kernel/indexes/bit_set.h"

namespace {

constexpr REC_ID kSize = 10'000'000;
constexpr int kRuns = 301;

// Median time of one call in microseconds.
double MedianMicros(const std::function<void()>& work, int runs = kRuns) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    auto stop = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
  }
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  return times[runs / 2];
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

[[gnu::noinline]] uint64_t PlainPopcount(const uint64_t* x, size_t words) {
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

bool Report(const char* name, double ours, double plain) {
  double ratio = ours / plain;
  bool ok = ratio <= 2.0;
  std::printf("%-18s %9.1f us   plain loop %9.1f us   ratio %.2f  %s\n", name, ours, plain, ratio,
              ok ? "ok" : "OVER 2x");
  return ok;
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
  double plainAnd = MedianMicros([&] {
    PlainAnd(x, y, out.data(), words);
    benchmark::ClobberMemory();
  });
  double ours =
      MedianMicros([&] { benchmark::DoNotOptimize(FBL_BitSet::MakeIntersection(*a, *b)); });
  ok &= Report("MakeIntersection", ours, plainAnd);

  double plainOr = MedianMicros([&] {
    PlainOr(x, y, out.data(), words);
    benchmark::ClobberMemory();
  });
  ours = MedianMicros([&] { benchmark::DoNotOptimize(FBL_BitSet::MakeUnion(*a, *b)); });
  ok &= Report("MakeUnion", ours, plainOr);

  double plainCount = MedianMicros([&] { benchmark::DoNotOptimize(PlainPopcount(x, words)); });
  ours = MedianMicros([&] { benchmark::DoNotOptimize(a->Count()); });
  ok &= Report("Count", ours, plainCount);

  uint32_t count = a->Count();
  for (uint32_t n : {count / 2, count}) {
    double micros = MedianMicros([&] { benchmark::DoNotOptimize(a->GetNth(n)); }, 101);
    bool fast = micros < 2000;
    ok &= fast;
    std::printf("GetNth(%-9u)  %9.1f us   budget 2000 us  %s\n", n, micros,
                fast ? "ok" : "OVER BUDGET");
  }
  return ok ? 0 : 1;
}
