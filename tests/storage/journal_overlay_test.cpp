// The journal's overlay against a model: one source per byte.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kernel/storage/journal_overlay.h"

namespace {

constexpr uint64_t kNone = UINT64_MAX - 1;  // a byte the overlay does not cover

// What the overlay says of each byte of [0, n).
std::vector<uint64_t> Bytes(const FBL_JournalOverlay& overlay, uint64_t n) {
  std::vector<uint64_t> bytes(n, kNone);
  uint64_t last = 0;
  overlay.ForEach(0, n, [&](const FBL_JournalOverlay::Piece& p) {
    EXPECT_LT(p.mStart, p.mEnd);
    EXPECT_GE(p.mStart, last);  // in order, never overlapping
    last = p.mEnd;
    for (uint64_t b = p.mStart; b < p.mEnd; ++b) {
      bytes[b] = p.mSource == FBL_JournalOverlay::kZeros ? FBL_JournalOverlay::kZeros
                                                         : p.mSource + (b - p.mStart);
    }
  });
  return bytes;
}

TEST(JournalOverlay, RandomPutsAndCutsMatchAModel) {
  constexpr uint64_t kSize = 300;
  std::mt19937 rng(17);
  for (int round = 0; round < 40; ++round) {
    FBL_JournalOverlay overlay;
    std::vector<uint64_t> model(kSize, kNone);
    uint64_t nextSource = 1000;
    for (int step = 0; step < 200; ++step) {
      const uint64_t a = rng() % kSize, b = rng() % kSize;
      if (rng() % 8 == 0) {
        overlay.Cut(a);
        for (uint64_t i = a; i < kSize; ++i) model[i] = kNone;
      } else if (a != b) {
        const uint64_t start = std::min(a, b), end = std::max(a, b);
        const bool zeros = rng() % 4 == 0;
        const uint64_t source = zeros ? FBL_JournalOverlay::kZeros : nextSource;
        overlay.Put(start, end, source);
        for (uint64_t i = start; i < end; ++i)
          model[i] = zeros ? FBL_JournalOverlay::kZeros : source + (i - start);
        nextSource += 10000;
      }
      ASSERT_EQ(Bytes(overlay, kSize), model) << "round " << round << " step " << step;
      // A window in the middle sees the same bytes, clipped.
      const uint64_t from = rng() % kSize, to = from + rng() % (kSize - from + 1);
      overlay.ForEach(from, to, [&](const FBL_JournalOverlay::Piece& p) {
        ASSERT_GE(p.mStart, from);
        ASSERT_LE(p.mEnd, to);
        ASSERT_EQ(p.mSource == FBL_JournalOverlay::kZeros ? FBL_JournalOverlay::kZeros
                                                          : p.mSource,
                  model[p.mStart]);
      });
    }
    overlay.Clear();
    EXPECT_TRUE(overlay.Empty());
  }
}

}  // namespace
