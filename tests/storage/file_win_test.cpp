#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "kernel/storage/file_win.h"
#include "kernel/storage/page_cache.h"
#include "tests/support/fault_env.h"
#include "tests/support/kernel_fixture.h"

namespace {

using ztest::ErrorCode;

class FileWinTest : public ztest::KernelTest {};

TEST_F(FileWinTest, OpenNestsByCount) {
  FBL_FileWin f(mDir.File("a"));
  f.Create();
  EXPECT_FALSE(f.IsOpen());
  f.Open();
  f.Open();
  f.Close();
  EXPECT_TRUE(f.IsOpen());
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  f.Close();  // closing a closed file does nothing
  EXPECT_FALSE(f.IsOpen());
}

TEST_F(FileWinTest, CreateTruncatesAndLeavesClosed) {
  std::string path = mDir.File("t");
  {
    FBL_FileWin f(path);
    f.Create();
    f.Open();
    f.Write("0123456789", 10);
    f.Close();
    EXPECT_EQ(f.GetLength(), 10u);  // closed: asked from the OS
  }
  FBL_FileWin g(path);
  g.Create();
  EXPECT_FALSE(g.IsOpen());
  EXPECT_EQ(g.GetLength(), 0u);
  EXPECT_TRUE(g.Exists());
  EXPECT_EQ(g.GetName(), "t");
}

TEST_F(FileWinTest, ReadAtEndRaisesEndOfFileEvenForZeroBytes) {
  FBL_FileWin f(mDir.File("e"));
  f.Create();
  f.Open();
  f.Write("abc", 3);
  char buf[4];
  EXPECT_EQ(ErrorCode([&] { f.Read(buf, 0); }), kErrEndOfFile);
  f.SetPosition(1);
  EXPECT_EQ(ErrorCode([&] { f.Read(buf, 3); }), kErrEndOfFile);  // short read
  f.SetPosition(0);
  f.Read(buf, 3);
  EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
  EXPECT_EQ(f.GetPosition(), 3u);
  f.Close();
}

TEST_F(FileWinTest, ReadOnlyAttributeOpensShared) {
  std::string path = mDir.File("ro");
  {
    FBL_FileWin f(path);
    f.Create();
  }
  ::chmod(path.c_str(), 0444);
  FBL_FileWin a(path), b(path);
  a.Open();
  b.Open();  // shared access
  EXPECT_TRUE(a.IsReadOnly());
  EXPECT_TRUE(b.IsReadOnly());
}

TEST_F(FileWinTest, WritersExcludeEachOther) {
  std::string path = mDir.File("x");
  FBL_FileWin a(path), b(path);
  a.Create();
  a.Open();
  EXPECT_EQ(ErrorCode([&] { b.Open(); }), EWOULDBLOCK);
  a.Close();
  b.Open();
  b.Close();
}

TEST_F(FileWinTest, OpenMissingGivesErrno) {
  FBL_FileWin f(mDir.File("none"));
  EXPECT_EQ(ErrorCode([&] { f.Open(); }), ENOENT);
  EXPECT_FALSE(f.Exists());
  EXPECT_EQ(f.GetLength(), 0u);
}

TEST_F(FileWinTest, ShrinkInsideCachedBlockKeepsLowerPart) {
  FBL_FileWin f(mDir.File("s"));
  f.Create();
  f.Open();
  std::vector<uint8_t> data(8000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  f.Write(data.data(), data.size());
  f.SetLength(3000);
  EXPECT_EQ(f.GetLength(), 3000u);
  std::vector<uint8_t> back(3000);
  f.SetPosition(0);
  f.Read(back.data(), back.size());
  EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
  // Growing again shows zeros, not the old bytes.
  f.SetLength(5000);
  std::vector<uint8_t> tail(2000);
  f.SetPosition(3000);
  f.Read(tail.data(), tail.size());
  EXPECT_EQ(std::count(tail.begin(), tail.end(), 0), 2000);
  f.Close();
  FBL_FileWin g(mDir.File("s"));
  g.Open();
  EXPECT_EQ(g.GetLength(), 5000u);
  g.Read(back.data(), back.size());
  EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
}

TEST_F(FileWinTest, FillZeroAndSeek) {
  FBL_FileWin f(mDir.File("z"));
  f.Create();
  f.Open();
  std::vector<uint8_t> ones(4096, 1);
  f.Write(ones.data(), ones.size());
  f.FillZero(100, 200);
  EXPECT_EQ(f.Seek(0, 2), 4096u);
  EXPECT_EQ(f.Seek(-96, 1), 4000u);
  EXPECT_EQ(f.Seek(100, 0), 100u);
  uint8_t buf[201];
  f.Read(buf, 201);
  EXPECT_EQ(std::count(buf, buf + 200, 0), 200);
  EXPECT_EQ(buf[200], 1);
  f.Close();
}

TEST_F(FileWinTest, NoCacheWhenKernelStopped) {
  zv::StopKernel();
  FBL_FileWin f(mDir.File("n"));
  f.Create();
  f.Open();
  EXPECT_EQ(ErrorCode([&] { f.Write("a", 1); }), ERR_CACHE_NOT_EXISTS);
  f.Close();
  zv::StartKernel(1 << 20);
}

TEST_F(FileWinTest, FilesOutliveTheKernelSafely) {
  FBL_FileWin f(mDir.File("k"));
  f.Create();
  f.Open();
  f.Write("abc", 3);
  zv::StopKernel();  // writes the dirty block back and detaches the file
  EXPECT_EQ(ErrorCode([&] { f.Write("d", 1); }), ERR_CACHE_NOT_EXISTS);
  f.Close();
  zv::StartKernel(1 << 20);
  FBL_FileWin g(mDir.File("k"));
  EXPECT_EQ(g.GetLength(), 3u);
}

TEST_F(FileWinTest, IoErrorSurfacesWithErrnoAndDataSurvivesRetry) {
  ztest::FaultEnv env;
  FBL_FileWin f(mDir.File("io"), &env);
  f.Create();
  f.Open();
  f.Write("hello", 5);
  env.FailWrite(1, EIO);
  EXPECT_EQ(ErrorCode([&] { f.Flush(); }), EIO);
  f.Flush();  // the block stayed dirty; the retry writes it
  f.Close();
  FBL_FileWin g(mDir.File("io"));
  g.Open();
  char buf[5];
  g.Read(buf, 5);
  EXPECT_EQ(std::memcmp(buf, "hello", 5), 0);
}

TEST_F(FileWinTest, ReadErrorSurfacesWithErrno) {
  ztest::FaultEnv env;
  {
    FBL_FileWin f(mDir.File("r"), &env);
    f.Create();
    f.Open();
    f.Write("hello", 5);
    f.Close();
  }
  FBL_FileWin f(mDir.File("r"), &env);
  f.Open();
  env.FailRead(1, EIO);
  char buf[5];
  EXPECT_EQ(ErrorCode([&] { f.Read(buf, 5); }), EIO);
  f.Read(buf, 5);
  EXPECT_EQ(std::memcmp(buf, "hello", 5), 0);
}

}  // namespace
