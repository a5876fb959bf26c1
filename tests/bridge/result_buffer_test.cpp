#include "bridge/result_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "bridge_test_support.h"

using bridge_test::Block;

namespace {

int gReallocs = 0;
void* CountingRealloc(void* block, size_t n) {
  ++gReallocs;
  return bridge::LibraryRealloc(block, n);
}

// Appends `count` pieces to a fresh name-call result and checks the text.
void AppendMany(bool chunked, int count, size_t& capacity, int& reallocs) {
  Block b(0, 0);
  bridge::CurrentBlock = &b.block;
  auto* savedRealloc = pRealloc;
  pRealloc = CountingRealloc;
  gReallocs = 0;
  std::string expected;
  {
    std::optional<bridge::ChunkedResultScope> scope;
    if (chunked) scope.emplace();
    for (int i = 0; i < count; ++i) {
      const std::string piece = std::to_string(i) + "\t";
      bridge::AppendResult(piece.c_str());
      expected += piece;
    }
  }
  pRealloc = savedRealloc;
  capacity = bridge::ResultCapacity;
  reallocs = gReallocs;
  bridge::CurrentBlock = nullptr;
  EXPECT_EQ(b.Result(), expected);
  EXPECT_EQ(bridge::ResultLength, expected.size());
}

}  // namespace

TEST(ResultBuffer, CapacityIsExactOrTheNextChunkAbove) {
  EXPECT_EQ(bridge::ResultCapacityFor(1, false), 1u);
  EXPECT_EQ(bridge::ResultCapacityFor(9000, false), 9000u);
  EXPECT_EQ(bridge::ResultCapacityFor(1, true), 8192u);
  EXPECT_EQ(bridge::ResultCapacityFor(8191, true), 8192u);
  EXPECT_EQ(bridge::ResultCapacityFor(8192, true), 16384u);  // a whole extra chunk
  EXPECT_EQ(bridge::ResultCapacityFor(8193, true), 16384u);
}

TEST(ResultBuffer, PlainGrowthReallocatesPerAppendAndKeepsTheText) {
  size_t capacity = 0;
  int reallocs = 0;
  AppendMany(false, 5000, capacity, reallocs);
  EXPECT_EQ(reallocs, 4999);
  EXPECT_EQ(capacity, bridge::ResultLength + 1);
}

TEST(ResultBuffer, ChunkedGrowthReallocatesOncePerChunk) {
  size_t capacity = 0;
  int reallocs = 0;
  AppendMany(true, 50000, capacity, reallocs);
  EXPECT_EQ(capacity % bridge::ResultChunkSize, 0u);
  EXPECT_GT(capacity, bridge::ResultLength);
  EXPECT_LE(size_t(reallocs), bridge::ResultLength / bridge::ResultChunkSize + 1);
  EXPECT_FALSE(bridge::ResultChunked);  // the scope restored the setting
}

TEST(ResultBuffer, EachCallStartsAFreshBuffer) {
  EXPECT_EQ(bridge_test::Cmd({"Version"}), "1.11");
  EXPECT_EQ(bridge_test::Cmd({"EscapeString", "x'"}), "x\\'");
}
