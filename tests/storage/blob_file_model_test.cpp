// BLOB files against a model: random values written, overwritten,
// deleted and re-added across reopenings, checked against a map.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "tests/storage/blob_fixture.h"

namespace {

using namespace ztest;

class BlobModelTest : public BlobFileTest {
 protected:
  // Sizes from 0 bytes to 1 MiB, mostly small.
  static uint32_t RandomSize(std::mt19937& rng) {
    switch (rng() % 4) {
      case 0:
        return rng() % 64;
      case 1:
        return rng() % 4096;
      case 2:
        return rng() % 100000;
      default:
        return rng() % (1u << 20) + 1;
    }
  }
  void CheckAll(const std::map<uint32_t, std::vector<uint8_t>>& model) {
    for (const auto& [first, data] : model) ASSERT_EQ(ReadAll(first), data) << first;
  }
  std::vector<FBL_BLOBReference> Refs(const std::map<uint32_t, std::vector<uint8_t>>& model) {
    std::vector<FBL_BLOBReference> refs;
    for (const auto& entry : model)
      refs.push_back({static_cast<uint32_t>(refs.size() + 1), entry.first});
    return refs;
  }
  void Run(uint32_t blockSize, FBL_ByteOrder order, uint32_t seed) {
    std::mt19937 rng(seed);
    Make(blockSize, order);
    std::map<uint32_t, std::vector<uint8_t>> model;  // first block -> value
    for (int step = 0; step < 150; ++step) {
      uint32_t op = rng() % 10;
      if (op < 4 || model.empty()) {  // add
        auto data = Pattern(RandomSize(rng), rng());
        uint32_t first = Put(data);
        ASSERT_EQ(model.count(first), 0u);
        model[first] = data;
      } else if (op < 6) {  // replace: delete, then store anew
        auto it = std::next(model.begin(), rng() % model.size());
        mFile->DeleteValue(it->first);
        model.erase(it);
        auto data = Pattern(RandomSize(rng), rng());
        model[Put(data)] = data;
      } else if (op < 8) {  // write over or past the end
        auto it = std::next(model.begin(), rng() % model.size());
        auto& value = it->second;
        uint32_t offset = static_cast<uint32_t>(rng() % (value.size() + 1));
        auto patch = Pattern(rng() % 20000, rng());
        mFile->WriteValue(patch.data(), static_cast<uint32_t>(patch.size()), it->first, offset);
        if (offset + patch.size() > value.size()) value.resize(offset + patch.size());
        std::copy(patch.begin(), patch.end(), value.begin() + offset);
      } else if (op < 9) {  // delete
        auto it = std::next(model.begin(), rng() % model.size());
        mFile->DeleteValue(it->first);
        model.erase(it);
      } else {  // reopen
        Reopen();
        CheckAll(model);
      }
    }
    CheckAll(model);
    bool ok = false;
    EXPECT_EQ(Diagnose(Refs(model), &ok), "");
    EXPECT_TRUE(ok);
    // Freed blocks suffice for a value no larger than what was freed.
    auto it = model.begin();
    while (it != model.end() && it->second.size() < 5000) ++it;
    if (it != model.end()) {
      std::vector<uint8_t> again = it->second;
      uint32_t lastBlock = mFile->GetBlockCount();
      mFile->DeleteValue(it->first);
      model.erase(it);
      if (mFile->GetBlockCount() == lastBlock) {  // not cut from the end
        uint64_t length = mFile->GetLength();
        model[Put(again)] = again;
        EXPECT_EQ(mFile->GetLength(), length);
      }
    }
    Reopen();
    CheckAll(model);
    EXPECT_EQ(Diagnose(Refs(model), &ok), "");
    EXPECT_TRUE(ok);
    for (const auto& entry : model) mFile->DeleteValue(entry.first);
    EXPECT_EQ(mFile->GetLength(), 1024u);
    EXPECT_EQ(Diagnose({}, &ok, true), "");
    EXPECT_TRUE(ok);
  }
};

TEST_F(BlobModelTest, SmallBlocksLittleEndian) {
  Run(512, FBL_ByteOrder::kLittleEndian, 1);
}

TEST_F(BlobModelTest, DefaultBlocksBigEndian) {
  Run(1024, FBL_ByteOrder::kBigEndian, 2);
}

TEST_F(BlobModelTest, OddLargeBlocks) {
  Run(5000, FBL_ByteOrder::kLittleEndian, 3);
}

}  // namespace
