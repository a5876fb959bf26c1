#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "kernel/storage/file_win.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "kernel/tables/slot_window.h"
#include "tests/support/kernel_fixture.h"
#include "tests/storage/test_cipher.h"

namespace {

using ztest::ErrorCode;

TEST(KernelStartup, CacheSizeRules) {
  const uint64_t mb512 = 512ull << 20;
  EXPECT_EQ(zv::KernelCacheSize(0, mb512), 64ull << 20);
  EXPECT_EQ(zv::KernelCacheSize(50000, mb512), 102400u);
  EXPECT_EQ(zv::KernelCacheSize(1ull << 30, mb512), 64ull << 20);
  EXPECT_EQ(zv::KernelCacheSize(5u << 20, mb512), 5u << 20);
}

TEST(KernelStartup, StartTwiceKeepsTheCaches) {
  ASSERT_EQ(FBL_MainCache(), nullptr);
  EXPECT_EQ(zv::StartKernel(50000), 102400u);
  FBL_Cache* main = FBL_MainCache();
  EXPECT_EQ(zv::StartKernel(1 << 20), 102400u);
  EXPECT_EQ(FBL_MainCache(), main);
  ASSERT_NE(FBL_VolumeCache(), nullptr);
  EXPECT_EQ(FBL_VolumeCache()->GetSize(), 34944u);
  EXPECT_EQ(FBL_VolumeCache()->GetWriteBlockSize(), 1024u);
  EXPECT_EQ(FBL_VolumeCache()->GetHandleCount(), 32u);
  zv::StopKernel();
  EXPECT_EQ(FBL_MainCache(), nullptr);
  zv::StopKernel();
}

// Records the notifications it gets.
struct RecordingLocker : FBL_BlockLocker {
  void BlockNotify(int code, FBL_BlockHandle block) override { events.push_back({code, block}); }
  std::vector<std::pair<int, FBL_BlockHandle>> events;
  int Count(int code) const {
    return static_cast<int>(
        std::count_if(events.begin(), events.end(), [&](auto& e) { return e.first == code; }));
  }
};

class PageCacheTest : public ztest::KernelTest {
 protected:
  // A file of `size` patterned bytes, open, using `cache`.
  std::unique_ptr<FBL_FileWin> MakeFile(const std::string& name, FBL_Cache& cache, uint64_t size) {
    auto f = std::make_unique<FBL_FileWin>(mDir.File(name));
    f->Create();
    f->SetCache(&cache);
    f->Open();
    std::vector<uint8_t> data(size);
    for (uint64_t i = 0; i < size; ++i) data[i] = Pattern(i);
    f->WriteAt(data.data(), 0, size);
    return f;
  }
  static uint8_t Pattern(uint64_t i) { return static_cast<uint8_t>(i * 31 + i / 1024); }
};

TEST_F(PageCacheTest, SmallReadLoadsOneUnitAroundIt) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("big", cache, 100000);
  uint8_t buf[10];
  ASSERT_EQ(cache.Read(*f, 5000, buf, 10), 10u);
  EXPECT_EQ(buf[0], Pattern(5000));
  ASSERT_EQ(cache.GetBlockCount(), 1u);
  FBL_BlockHandle h = cache.GetBlock(*f, 5000, 1, false);
  EXPECT_EQ(cache.GetBlockOffset(h), 4096u);
  EXPECT_EQ(cache.GetBlockCapacity(h), 1024u);
  EXPECT_EQ(cache.GetBlockValid(h), 1024u);
  f->Close();
}

TEST_F(PageCacheTest, ReadAsideMakesNoBlockAndSeesCachedChanges) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("aside", cache, 100000);
  uint8_t buf[16];
  ASSERT_EQ(cache.ReadAside(*f, 7000, buf, 16), 16u);
  EXPECT_EQ(buf[15], Pattern(7015));
  EXPECT_EQ(cache.GetBlockCount(), 0u);
  // Across the end: what the file has.
  EXPECT_EQ(cache.ReadAside(*f, 99990, buf, 16), 10u);
  EXPECT_EQ(buf[9], Pattern(99999));
  // A change not yet written is read from its block, also where the block
  // starts inside the range.
  ASSERT_EQ(cache.Write(*f, 60000, "ab", 2), 2u);
  const uint32_t blocks = cache.GetBlockCount();
  ASSERT_EQ(cache.ReadAside(*f, 59999, buf, 3), 3u);
  EXPECT_EQ(buf[0], Pattern(59999));
  EXPECT_EQ(buf[1], 'a');
  EXPECT_EQ(buf[2], 'b');
  EXPECT_EQ(cache.GetBlockCount(), blocks);
  const uint64_t start = cache.GetBlockOffset(cache.GetBlock(*f, 60000, 1, false));
  ASSERT_EQ(cache.ReadAside(*f, start - 8, buf, 16), 16u);
  EXPECT_EQ(buf[7], Pattern(start - 1));
  ASSERT_EQ(cache.ReadAside(*f, 60000 - 8, buf, 16), 16u);
  EXPECT_EQ(std::memcmp(buf + 8, "ab", 2), 0);
  f->Close();
}

TEST_F(PageCacheTest, SmallWriteGathersIntoAWriteBlock) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("big", cache, 100000);
  ASSERT_EQ(cache.Write(*f, 5000, "0123456789", 10), 10u);
  FBL_BlockHandle h = cache.GetBlock(*f, 5000, 1, false);
  EXPECT_EQ(cache.GetBlockOffset(h), 4096u);
  EXPECT_EQ(cache.GetBlockCapacity(h), 52224u);  // 51200 + 904 rounded up to 1 KB
  EXPECT_TRUE(cache.IsBlockDirty(h));
  // Capped at a tenth of a smaller arena.
  FBL_Cache small(200000);
  auto g = MakeFile("g", small, 100000);
  small.Write(*g, 5000, "x", 1);
  h = small.GetBlock(*g, 5000, 1, false);
  EXPECT_EQ(small.GetBlockCapacity(h), 21504u);  // 20000 + 904 rounded up
  f->Close();
  g->Close();
}

TEST_F(PageCacheTest, BulkRangeGivesLargeBlocksWithinTheBudget) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("bulk", cache, 300000);
  uint64_t start, end, budget;
  f->GetCacheSettings(start, end, budget);
  EXPECT_EQ(budget, 104858u);  // a tenth of the cache
  f->SetBulkRange(8192, 200000);
  f->SetCacheBudget(40000);
  uint8_t b;
  cache.Read(*f, 10000, &b, 1);
  FBL_BlockHandle h = cache.GetBlock(*f, 10000, 1, false);
  EXPECT_EQ(cache.GetBlockOffset(h), 9216u);
  EXPECT_EQ(cache.GetBlockCapacity(h), 40960u);  // 40000 + 784 rounded up
  cache.Read(*f, 199000, &b, 1);                 // the range ends soon after
  h = cache.GetBlock(*f, 199000, 1, false);
  EXPECT_EQ(cache.GetBlockOffset(h), 198656u);
  EXPECT_EQ(cache.GetBlockCapacity(h), 2048u);
  EXPECT_EQ(b, Pattern(199000));
  f->SetCacheBudget(2u << 20);  // more than the cache: a tenth of it
  f->GetCacheSettings(start, end, budget);
  EXPECT_EQ(budget, (1u << 20) / 10);
  EXPECT_EQ(start, 8192u);
  EXPECT_EQ(end, 200000u);
  f->Close();
}

TEST_F(PageCacheTest, FlushAllWritesTheMostRecentFirst) {
  FBL_Cache cache(1 << 20);
  struct Order : FBL_BlockLocker {
    void BlockNotify(int code, FBL_BlockHandle block) override {
      if (code == kBlockWriting) written.push_back(block);
    }
    std::vector<FBL_BlockHandle> written;
  } order;
  auto f = MakeFile("o", cache, 8192);
  std::vector<FBL_BlockHandle> blocks;
  for (uint64_t at : {0, 2048, 4096}) {
    blocks.push_back(cache.GetExactBlock(*f, at, 1024));
    cache.LockBlock(blocks.back(), &order);
    cache.Data(blocks.back())[0] = 1;
    cache.MarkDirty(blocks.back(), 0, 1);
  }
  cache.GetBlock(*f, 2048, 1, false);  // now the most recent
  cache.FlushAll();
  EXPECT_EQ(order.written, (std::vector<FBL_BlockHandle>{blocks[1], blocks[2], blocks[0]}));
  for (FBL_BlockHandle h : blocks) cache.UnlockBlock(h);
  f->Close();
}

TEST_F(PageCacheTest, WriteThroughWritesAtOnce) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("wt", cache, 0);
  f->SetWriteThrough(true);
  f->Write("abc", 3);
  FBL_BlockHandle h = cache.GetBlock(*f, 0, 1, false);
  EXPECT_FALSE(cache.IsBlockDirty(h));
  char buf[3];
  EXPECT_EQ(f->ReadAt(buf, 0, 3), 3u);
  EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
  f->Close();
}

TEST_F(PageCacheTest, AllLockedStillAllocatesByDroppingTheOldest) {
  RecordingLocker locker;  // outlives the file, which drops its blocks
  FBL_Cache cache(20 * FBL_Cache::kSlotBytes);
  auto f = MakeFile("l", cache, 200 * 1024);
  std::vector<FBL_BlockHandle> locked;
  uint8_t b;
  for (uint64_t unit = 0; cache.GetFreeBlockCount() == 0 && unit < 200; ++unit) {
    uint64_t before = cache.GetBlockCount();
    cache.Read(*f, unit * 1024, &b, 1);
    if (cache.GetBlockCount() == before) break;  // something was evicted
    FBL_BlockHandle h = cache.GetBlock(*f, unit * 1024, 1, false);
    cache.LockBlock(h, &locker);
    locked.push_back(h);
    if (cache.GetSize() - cache.GetBytesInUse() < FBL_Cache::kSlotBytes + FBL_Cache::kMargin) break;
  }
  ASSERT_GT(locked.size(), 5u);
  uint32_t writeBlock = cache.GetWriteBlockSize();
  cache.Read(*f, 150 * 1024, &b, 1);
  EXPECT_EQ(b, Pattern(150 * 1024));
  EXPECT_EQ(locker.Count(kBlockDropped), 1);
  EXPECT_EQ(locker.events[0].second, locked[0]);  // the least recently used
  EXPECT_EQ(cache.GetWriteBlockSize(), (writeBlock / 1024 + 1) / 2 * 1024);
  f->Close();
}

TEST_F(PageCacheTest, CompactionMovesBlocksAndTellsLockers) {
  RecordingLocker locker;
  FBL_Cache cache(64 * 1024);
  auto f = MakeFile("c", cache, 64 * 1024);
  uint8_t b;
  for (int unit = 0; unit < 6; ++unit) cache.Read(*f, unit * 2048, &b, 1);
  FBL_BlockHandle keep = cache.GetBlock(*f, 5 * 2048, 1, false);
  cache.LockBlock(keep, &locker);
  for (int unit = 0; unit < 5; ++unit) cache.FreeBlock(cache.GetBlock(*f, unit * 2048, 1, false));
  EXPECT_EQ(cache.GetFreeBlockCount(), 1u);
  cache.Compact();
  EXPECT_EQ(cache.GetFreeBlockCount(), 0u);
  ASSERT_EQ(locker.Count(kBlockMoved), 1);
  EXPECT_EQ(locker.events[0].second, keep);
  EXPECT_EQ(cache.Data(keep)[0], Pattern(5 * 2048));
  f->Close();
}

TEST_F(PageCacheTest, WriteBackTellsTheLockerFirst) {
  RecordingLocker locker;
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("w", cache, 4096);
  FBL_BlockHandle h = cache.GetExactBlock(*f, 1024, 1024);
  cache.LockBlock(h, &locker);
  cache.Data(h)[0] = 0xAB;
  cache.MarkDirty(h, 0, 1);
  RecordingLocker other;
  EXPECT_EQ(ErrorCode([&] { cache.LockBlock(h, &other); }), ERR_ASSERTION_FAIL);
  cache.LockBlock(h, &locker);  // the same owner again is fine
  cache.FlushAll();
  ASSERT_EQ(locker.Count(kBlockWriting), 1);
  uint8_t b = 0;
  f->ReadAt(&b, 1024, 1);
  EXPECT_EQ(b, 0xAB);
  cache.UnlockBlock(h);
  f->Close();
}

TEST_F(PageCacheTest, ExactBlockReplacesOverlappingBlocksKeepingTheirData) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("x", cache, 8192);
  cache.Write(*f, 1500, "abc", 3);  // a large dirty block from 1024
  FBL_BlockHandle h = cache.GetExactBlock(*f, 2048, 1024);
  EXPECT_EQ(cache.GetBlockOffset(h), 2048u);
  EXPECT_EQ(cache.GetBlockCapacity(h), 1024u);
  EXPECT_EQ(cache.GetExactBlock(*f, 2048, 1024), h);
  char buf[3];
  ASSERT_EQ(cache.Read(*f, 1500, buf, 3), 3u);
  EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
  EXPECT_EQ(ErrorCode([&] { cache.GetExactBlock(*f, 100, 1024); }), ERR_ASSERTION_FAIL);
  f->Close();
}

TEST_F(PageCacheTest, DropFileForgetsWithoutWriting) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("d", cache, 4096);
  cache.Write(*f, 0, "zz", 2);
  cache.DropFile(*f);
  EXPECT_EQ(f->GetCachedBlockCount(), 0u);
  uint8_t buf[2];
  cache.Read(*f, 0, buf, 2);
  EXPECT_EQ(buf[0], Pattern(0));
  EXPECT_EQ(ErrorCode([&] { cache.Data(12345); }), ERR_ASSERTION_FAIL);
  f->Close();
}

TEST_F(PageCacheTest, EncryptedFileIsPlainAboveAndCipheredBelow) {
  FBL_Cache cache(1 << 20);
  auto f = MakeFile("enc", cache, 0);
  struct Encrypted : FBL_FileWin {
    using FBL_FileWin::FBL_FileWin;
    void Use(FBL_EncryptionRef c) { mEncryptor = mDecryptor = c; }
  };
  (void)f;
  Encrypted e(mDir.File("enc2"));
  e.Create();
  e.SetCache(&cache);
  e.Use(std::make_shared<ztest::XorCipher>(0x5A));
  e.Open();
  std::vector<uint8_t> data(3000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = Pattern(i);
  e.Write(data.data(), data.size());
  e.Flush();
  EXPECT_EQ(e.GetLength(), 3072u);  // whole units on disk
  std::vector<uint8_t> raw(3000);
  e.ReadAt(raw.data(), 0, raw.size());
  EXPECT_NE(raw, data);
  cache.DropFile(e);
  std::vector<uint8_t> back(3000);
  e.SetPosition(0);
  e.Read(back.data(), back.size());
  EXPECT_EQ(back, data);
  e.Close();
  f->Close();
}

// Slots read through a window in order, beside each other, at random and
// across the file's end give the file's bytes, zeros past its end; slots
// written through it read back at random. In a cache less than twice the
// file's size, jumps read beside the cache, which must still see the
// written bytes it holds.
TEST_F(PageCacheTest, SlotWindowReadsAsTheFileInAnyOrder) {
  constexpr uint64_t kLength = 300007;
  for (uint64_t cacheBytes : {uint64_t{8} << 20, uint64_t{256} << 10}) {
    FBL_Cache cache(cacheBytes);
    auto f = MakeFile("w" + std::to_string(cacheBytes), cache, kLength);
    std::mt19937 rng(5);
    std::vector<uint8_t> model(kLength);
    for (uint64_t at = 0; at < kLength; ++at) model[at] = Pattern(at);
    for (uint32_t width : {1u, 2u, 8u, 21u}) {
      SCOPED_TRACE(testing::Message() << "cache " << cacheBytes << " width " << width);
      const uint64_t slots = kLength / width + 40;
      std::vector<uint64_t> order;
      for (uint64_t i = 0; i < slots; ++i) order.push_back(i);  // in order
      for (int i = 0; i < 3000; ++i) order.push_back(rng() % slots);  // at random
      for (int i = 0; i < 500; ++i) {  // pairs
        const uint64_t at = rng() % (slots - 1);
        order.insert(order.end(), {at, at + 1, at + 2});
      }
      for (uint64_t i = slots - 30; i < slots; ++i) order.push_back(i);  // across the end
      FBL_SlotWindow window;
      window.Attach(f.get(), width);
      std::vector<uint8_t> got(width);
      for (size_t i = 0; i < order.size(); ++i) {
        const uint64_t slot = order[i];
        const bool inside = (slot + 1) * width <= kLength;
        if (inside && i % 7 == 3) {
          for (uint32_t b = 0; b < width; ++b) got[b] = static_cast<uint8_t>(rng());
          window.Write(slot * width, got.data(), width);
          std::copy(got.begin(), got.end(), model.begin() + slot * width);
          continue;
        }
        window.Read(slot * width, got.data(), width);
        for (uint32_t b = 0; b < width; ++b) {
          const uint64_t at = slot * width + b;
          ASSERT_EQ(got[b], at < kLength ? model[at] : 0) << "slot " << slot << " byte " << b;
        }
      }
      window.Flush();
      window.Attach(nullptr, width);
    }
    f->Close();
  }
}

// Random reads and writes over several files through an arena much smaller
// than the data, with some blocks locked, checked against a model.
class PageCacheModelTest : public PageCacheTest, public ::testing::WithParamInterface<int> {};

TEST_P(PageCacheModelTest, SmallArenaNeverLosesADirtyByte) {
  FBL_Cache cache(40 * FBL_Cache::kSlotBytes);
  std::mt19937 rng(GetParam());
  // Holds a few blocks and lets go of those the cache takes back.
  struct Holder : FBL_BlockLocker {
    void BlockNotify(int code, FBL_BlockHandle block) override {
      if (code == kBlockDropped) std::erase(held, block);
    }
    std::vector<FBL_BlockHandle> held;
  } locker;
  const int kFiles = 5;
  std::vector<std::unique_ptr<FBL_FileWin>> files;
  std::vector<std::vector<uint8_t>> model(kFiles);
  for (int i = 0; i < kFiles; ++i) files.push_back(MakeFile("m" + std::to_string(i), cache, 0));
  bool holding = false;
  for (int step = 0; step < 3000; ++step) {
    int fi = static_cast<int>(rng() % kFiles);
    FBL_FileWin& f = *files[fi];
    auto& m = model[fi];
    uint64_t offset = rng() % 300000;
    uint64_t count = rng() % 10 == 0 ? 65536 + rng() % 70000 : 1 + rng() % 9000;
    ASSERT_EQ(cache.CheckInvariants(), "") << step;
    switch (rng() % 8) {
      case 0:
      case 1:
      case 2: {
        std::vector<uint8_t> data(count);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        f.SetPosition(offset);
        f.Write(data.data(), count);
        if (m.size() < offset + count) m.resize(offset + count);
        std::copy(data.begin(), data.end(), m.begin() + offset);
        break;
      }
      case 3:
      case 4: {
        if (offset >= m.size()) break;
        count = std::min<uint64_t>(count, m.size() - offset);
        std::vector<uint8_t> back(count);
        f.SetPosition(offset);
        f.Read(back.data(), count);
        ASSERT_TRUE(std::equal(back.begin(), back.end(), m.begin() + offset)) << step;
        break;
      }
      case 5: {  // lock a page-sized block for a while
        uint64_t at = offset / 1024 * 1024;
        if (locker.held.size() < 4 && at < m.size()) {
          FBL_BlockHandle h = cache.GetExactBlock(f, at, 1024);
          if (cache.GetBlockLocker(h) == nullptr) {  // one locker per block
            cache.LockBlock(h, &locker);
            locker.held.push_back(h);
          }
        } else if (!locker.held.empty()) {
          cache.UnlockBlock(locker.held.back());
          locker.held.pop_back();
        }
        break;
      }
      case 6:
        if (rng() % 10 == 0) {
          uint64_t len = rng() % 300000;
          f.SetLength(len);
          m.resize(len);
        }
        break;
      case 7:
        if (rng() % 20 == 0) cache.FlushAll();
        if (rng() % 20 == 1) cache.Compact();
        if (rng() % 20 == 2) {  // written, then forgotten: reads load it again
          f.Flush();
          cache.DropFile(f);
        }
        if (rng() % 20 == 3) {  // dropped blocks wait for the hold's end
          holding ? cache.EndHold() : cache.HoldReleases();
          holding = !holding;
        }
        if (rng() % 20 == 4) {  // the whole cache at once, when nothing is lost
          const bool flushed = rng() % 2 == 0;
          if (flushed) cache.FlushAll();
          const int spared = static_cast<int>(rng() % (kFiles + 1));  // kFiles: none
          const bool mayForget =
              flushed && (spared == kFiles || files[spared]->GetCachedBlockCount() == 0);
          const uint32_t before = cache.GetBlockCount();
          const bool forgot = cache.ForgetAllOf(
              [&](const FBL_File& x) { return spared == kFiles || &x != files[spared].get(); });
          ASSERT_TRUE(forgot || !mayForget) << step;
          ASSERT_EQ(cache.GetBlockCount(), forgot ? 0u : before) << step;
          ASSERT_TRUE(!forgot || locker.held.empty()) << step;
        }
        break;
    }
  }
  if (holding) cache.EndHold();
  ASSERT_EQ(cache.CheckInvariants(), "");
  for (int i = 0; i < kFiles; ++i) {
    files[i]->Close();
    FBL_FileWin g(mDir.File("m" + std::to_string(i)));
    g.Open();
    ASSERT_EQ(g.GetLength(), model[i].size());
    std::vector<uint8_t> back(model[i].size());
    if (!back.empty()) g.Read(back.data(), back.size());
    EXPECT_EQ(back, model[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, PageCacheModelTest, ::testing::Values(7, 11, 12345));

}  // namespace
