#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "tests/storage/test_cipher.h"
#include "tests/storage/volume_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::Pattern;
using ztest::RawFile;

class EmbeddedFileTest : public ztest::VolumeTest {};

TEST_F(EmbeddedFileTest, OpenCountsOnlyPlacedFiles) {
  auto v = NewVolume();
  v->Open();
  FBL_EmbededFile f(*v, 5, 2, 1);
  EXPECT_EQ(f.GetId(), (uint64_t{1} << 16 | 2) << 32 | 5);
  EXPECT_FALSE(f.Exists());
  f.Open();
  EXPECT_FALSE(f.IsOpen());
  f.Create();
  f.Create();  // exists: nothing happens
  EXPECT_EQ(v->ReadFileTable().size(), 2u);
  f.Open();
  f.Open();
  f.Close();
  EXPECT_TRUE(f.IsOpen());
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  char c;
  EXPECT_EQ(ErrorCode([&] { f.ReadAt(&c, 0, 1); }), ERR_ASSERTION_FAIL);
  v->Close();
}

TEST_F(EmbeddedFileTest, AFileKeepsItsVolumeOpen) {
  auto v = NewVolume();
  PutFile(*v, 1, 2, Pattern(10, 1));
  FBL_EmbededFile f(*v, 1, 2, 0);
  f.Open();  // opens the volume too
  EXPECT_TRUE(v->IsOpen());
  EXPECT_EQ(v->GetHeader().mOpenFlag, 1u);
  f.Close();
  EXPECT_FALSE(v->IsOpen());
  EXPECT_EQ(RawFile(Path()).U32(36), 0u);
}

TEST_F(EmbeddedFileTest, ChangeEncryptionReencryptsEveryUnit) {
  auto v = NewVolume(1024);
  v->Open();
  auto plain = Pattern(5000, 3);
  PutFile(*v, 1, 2, plain);
  auto a = std::make_shared<ztest::XorCipher>(0x11);
  auto b = std::make_shared<ztest::XorCipher>(0x77);
  FBL_EmbededFile f(*v, 1, 2, 0);
  auto rawFirst = [&] {
    std::vector<uint8_t> bytes(100);
    f.Open();
    f.ReadAt(bytes.data(), 0, bytes.size());
    f.Close();
    return bytes;
  };
  auto readAll = [&] {
    f.Open();
    std::vector<uint8_t> back(5000);
    f.Read(back.data(), back.size());
    f.Close();
    return back;
  };
  EXPECT_FALSE(f.ChangeEncryption(a.get(), a, a));  // no key yet: the old key must be null
  ASSERT_TRUE(f.ChangeEncryption(nullptr, a, a));
  EXPECT_NE(rawFirst(), std::vector<uint8_t>(plain.begin(), plain.begin() + 100));
  EXPECT_EQ(readAll(), plain);
  EXPECT_FALSE(f.ChangeEncryption(b.get(), b, b));  // wrong old key
  EXPECT_EQ(readAll(), plain);
  ASSERT_TRUE(f.ChangeEncryption(a.get(), b, b));
  EXPECT_EQ(readAll(), plain);
  ASSERT_TRUE(f.ChangeEncryption(b.get(), nullptr, nullptr));
  EXPECT_EQ(rawFirst(), std::vector<uint8_t>(plain.begin(), plain.begin() + 100));
  EXPECT_EQ(readAll(), plain);
  v->Close();
}

TEST_F(EmbeddedFileTest, EncryptedFileGrowsInWholeUnits) {
  auto v = NewVolume(1024);
  v->Open();
  auto key = std::make_shared<ztest::XorCipher>(0x42);
  {
    FBL_EmbededFile f(*v, 1, 2, 0);
    f.Create();
    f.SetEncryption(key, false);
    f.SetEncryption(key, true);
    f.Open();
    f.Write("secret", 6);
    f.SetLength(1500);
    EXPECT_EQ(f.GetLength(), 2048u);
    f.Close();
  }
  FBL_EmbededFile g(*v, 1, 2, 0);
  g.SetEncryption(key, true);
  g.Open();
  char back[8] = {};
  g.Read(back, 6);
  EXPECT_STREQ(back, "secret");
  std::vector<uint8_t> rest(2042);
  g.Read(rest.data(), rest.size());
  EXPECT_EQ(std::count(rest.begin(), rest.end(), 0), 2042);
  g.Close();
  v->Close();
}

// Random operations on several embedded files through a small main cache,
// checked against a model; the volume is closed and reopened on the way.
TEST_F(EmbeddedFileTest, RandomOperationsMatchAModel) {
  zv::StopKernel();
  zv::StartKernel(102400);
  std::mt19937 rng(99);
  std::map<uint32_t, std::vector<uint8_t>> model;
  auto v = NewVolume(2048);
  v->Open();
  for (int step = 0; step < 1500; ++step) {
    uint32_t owner = 1 + rng() % 8;
    FBL_EmbededFile f(*v, owner, 2, 0);
    auto it = model.find(owner);
    switch (rng() % 10) {
      case 0:
      case 1:
      case 2:
      case 3: {  // write somewhere, perhaps past the end
        if (it == model.end()) {
          f.Create();
          it = model.emplace(owner, std::vector<uint8_t>{}).first;
        }
        auto& m = it->second;
        uint64_t offset = rng() % (m.size() + 20000);
        // Some writes are large enough to go around the cache.
        size_t size = rng() % 5 == 0 ? 65536 + rng() % 100000 : 1 + rng() % 30000;
        auto data = Pattern(size, step);
        f.Open();
        f.SetPosition(offset);
        f.Write(data.data(), data.size());
        f.Close();
        if (m.size() < offset + data.size()) m.resize(offset + data.size());
        std::copy(data.begin(), data.end(), m.begin() + offset);
        break;
      }
      case 4: {
        if (it == model.end()) break;
        uint64_t length = rng() % 200000;
        f.Open();
        f.SetLength(length);
        f.Close();
        it->second.resize(length);
        break;
      }
      case 5:
        if (it == model.end() || rng() % 3 != 0) break;
        f.Remove();
        model.erase(it);
        break;
      case 6:
        if (rng() % 4 == 0) v->Compact();
        break;
      case 7:
        if (rng() % 8 == 0) {
          v->Close();
          v->Open();
        }
        break;
      default:
        if (it == model.end()) {
          EXPECT_FALSE(f.Exists());
        } else {
          f.Open();
          std::vector<uint8_t> back(f.GetLength());
          // Read in pieces of both kinds: cached and around the cache.
          for (uint64_t at = 0; at < back.size();) {
            uint64_t n = std::min<uint64_t>(back.size() - at, rng() % 2 ? 70000 : 3000);
            f.Read(back.data() + at, n);
            at += n;
          }
          f.Close();
          ASSERT_EQ(back, it->second) << "step " << step << " owner " << owner;
        }
    }
  }
  v->Close();
  FBL_DataFile w(Path());
  w.Open();
  for (auto& [owner, data] : model) EXPECT_EQ(GetFile(w, owner, 2), data) << owner;
  EXPECT_EQ(w.GetHeader().mLiveFiles, model.size() + 1);
  w.Close();
}

// A commit flushes only the files its volume listed as changed: files of
// every kind of change (cached writes, growth, shortening) are written out
// and no file is left with a dirty block or a wrong count of them.
TEST_F(EmbeddedFileTest, FlushFilesWritesEveryChangedFileOfMany) {
  zv::StopKernel();
  zv::StartKernel(1u << 20);
  std::mt19937 rng(5);
  auto v = NewVolume(1024);
  v->Open();
  constexpr uint32_t kFiles = 60;
  std::vector<std::unique_ptr<FBL_EmbededFile>> files;
  std::vector<std::vector<uint8_t>> model(kFiles);
  for (uint32_t i = 0; i < kFiles; ++i) {
    files.push_back(std::make_unique<FBL_EmbededFile>(*v, i + 1, 2, 0));
    files.back()->Create();
    files.back()->Open();
  }
  for (int round = 0; round < 40; ++round) {
    for (uint32_t n = 1 + rng() % 8; n > 0; --n) {
      const uint32_t i = rng() % kFiles;
      FBL_EmbededFile& f = *files[i];
      std::vector<uint8_t>& m = model[i];
      if (rng() % 5 == 0) {
        const uint64_t length = rng() % 6000;
        f.SetLength(length);
        m.resize(length);
        continue;
      }
      const uint64_t offset = rng() % (m.size() + 3000);
      const auto data = Pattern(1 + rng() % 2500, round * 100 + i);
      f.SetPosition(offset);
      f.Write(data.data(), data.size());
      if (m.size() < offset + data.size()) m.resize(offset + data.size());
      std::copy(data.begin(), data.end(), m.begin() + offset);
    }
    v->FlushFiles();
    ASSERT_EQ(FBL_MainCache()->CheckInvariants(), "") << "round " << round;
    for (uint32_t i = 0; i < kFiles; ++i) {
      ASSERT_EQ(files[i]->GetDirtyBlockCount(), 0u) << "round " << round << " file " << i;
      // What the volume holds, around the cache.
      std::vector<uint8_t> disk(model[i].size());
      ASSERT_EQ(files[i]->ReadAt(disk.data(), 0, disk.size()), disk.size());
      ASSERT_EQ(disk, model[i]) << "round " << round << " file " << i;
    }
  }
  files.clear();
  v->Close();
}

}  // namespace

namespace {

TEST_F(EmbeddedFileTest, TwoObjectsOfOneFileSeeEachOthersChanges) {
  auto v = NewVolume(1024);
  v->Open();
  FBL_EmbededFile a(*v, 1, 2, 0), b(*v, 1, 2, 0);
  a.Create();
  b.Open();  // b learns the entry: one empty segment
  b.Close();
  auto data = ztest::Pattern(5000, 1);
  a.Open();
  a.Write(data.data(), data.size());
  a.Close();
  a.Flush();
  b.Open();
  EXPECT_EQ(b.GetLength(), 5000u);
  std::vector<uint8_t> back(5000);
  b.Read(back.data(), back.size());
  EXPECT_EQ(back, data);
  b.Close();
  v->Close();
}

TEST_F(EmbeddedFileTest, AFileRemovedThroughAnotherObjectIsGone) {
  auto v = NewVolume(1024);
  v->Open();
  PutFile(*v, 1, 2, ztest::Pattern(100, 1));
  PutFile(*v, 2, 2, ztest::Pattern(100, 2));
  FBL_EmbededFile a(*v, 2, 2, 0), b(*v, 2, 2, 0);
  a.Open();
  a.Close();
  b.Remove();  // the last entry: the table shrinks
  a.Open();
  EXPECT_FALSE(a.IsOpen());
  EXPECT_FALSE(a.Exists());
  v->Close();
}

}  // namespace
