#include "kernel/storage/zip_compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/errors.h"

namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& value, size_t bufferSize) {
  FBL_ZipCompressor zip(6, bufferSize);
  zip.BeginCompress(value.data(), value.size());
  std::vector<uint8_t> stored;
  bool more = true;
  while (more) {
    more = zip.CompressStep();
    stored.insert(stored.end(), zip.Buffer(), zip.Buffer() + zip.StepBytes());
  }
  zip.EndCompress();
  EXPECT_EQ(stored.size(), zip.GetTotalOut());
  return stored;
}

std::vector<uint8_t> Decompress(const std::vector<uint8_t>& stored, size_t length,
                                size_t bufferSize) {
  std::vector<uint8_t> target(length);
  FBL_ZipCompressor zip(6, bufferSize);
  zip.BeginDecompress(target.data(), target.size());
  bool ended = false;
  for (size_t at = 0; at < stored.size() && !ended; at += bufferSize) {
    const size_t n = std::min(bufferSize, stored.size() - at);
    std::copy_n(stored.begin() + at, n, zip.Buffer());
    ended = zip.DecompressStep(n);
  }
  zip.EndDecompress();
  EXPECT_TRUE(ended);
  return target;
}

std::vector<uint8_t> Sample(size_t n, bool random) {
  std::mt19937 gen(11);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = random ? uint8_t(gen()) : uint8_t("zorvane "[i % 8]);
  return v;
}

}  // namespace

TEST(ZipCompressor, WorstCaseSize) {
  FBL_ZipCompressor zip(6, 16);
  EXPECT_EQ(zip.MaxCompressedSize(1000), 2013u);
  EXPECT_EQ(zip.MaxCompressedSize(0), 12u);
}

TEST(ZipCompressor, RoundTripsThroughSmallAndLargeBuffers) {
  for (bool random : {false, true}) {
    for (size_t n : {size_t(0), size_t(1), size_t(100000), size_t(300000)}) {
      const auto value = Sample(n, random);
      for (size_t buffer : {size_t(64), size_t(51200)}) {
        const auto stored = Compress(value, buffer);
        EXPECT_LE(stored.size(), FBL_ZipCompressor(6, 1).MaxCompressedSize(n));
        if (!random && n > 1000) {
          EXPECT_LT(stored.size(), n / 10);
        }
        EXPECT_EQ(Decompress(stored, n, buffer), value) << n << " " << buffer;
      }
    }
  }
}

TEST(ZipCompressor, DamagedInputRaisesZlibsResult) {
  auto stored = Compress(Sample(5000, true), 51200);
  stored[stored.size() / 2] ^= 0xFF;
  stored[2] ^= 0x55;
  std::vector<uint8_t> target(5000);
  FBL_ZipCompressor zip(6, 51200);
  zip.BeginDecompress(target.data(), target.size());
  std::copy(stored.begin(), stored.end(), zip.Buffer());
  try {
    zip.DecompressStep(stored.size());
    FAIL() << "damaged stream inflated";
  } catch (const xFBL_Exception& e) {
    EXPECT_LT(e.Code, 0);
  }
}

TEST(ZipCompressor, AShortTargetIsNotOverrun) {
  const auto value = Sample(10000, false);
  const auto stored = Compress(value, 51200);
  std::vector<uint8_t> target(100);
  FBL_ZipCompressor zip(6, 51200);
  zip.BeginDecompress(target.data(), target.size());
  std::copy(stored.begin(), stored.end(), zip.Buffer());
  EXPECT_THROW(zip.DecompressStep(stored.size()), xFBL_Exception);
}
