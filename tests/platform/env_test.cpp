#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/env.h"
#include "platform/errors.h"
#include "tests/support/error_code.h"
#include "tests/support/fault_env.h"
#include "tests/support/test_dir.h"

namespace {

using platform::Env;
using platform::OpenMode;
using ztest::ErrorCode;

TEST(PosixEnv, CreateWriteReadSizeDelete) {
  ztest::TempDir dir;
  Env* env = Env::Default();
  std::string path = dir.File("a.bin");
  EXPECT_FALSE(env->FileExists(path));
  {
    auto f = env->CreateFile(path);
    f->WriteAt(10, "hello", 5);
    EXPECT_EQ(f->Size(), 15u);
    char buf[32] = {};
    EXPECT_EQ(f->ReadAt(0, buf, sizeof buf), 15u);
    EXPECT_EQ(std::memcmp(buf + 10, "hello", 5), 0);
    EXPECT_EQ(buf[0], 0);
    f->SetLength(12);
    f->Sync();
  }
  uint64_t size = 0;
  ASSERT_TRUE(env->GetFileSize(path, &size));
  EXPECT_EQ(size, 12u);
  EXPECT_TRUE(env->FileExists(path));
  EXPECT_TRUE(env->DeleteFile(path));
  EXPECT_FALSE(env->FileExists(path));
  EXPECT_FALSE(env->DeleteFile(path));
  EXPECT_FALSE(env->GetFileSize(path, &size));
}

TEST(PosixEnv, MissingFileGivesErrno) {
  ztest::TempDir dir;
  EXPECT_EQ(ErrorCode([&] { Env::Default()->OpenFile(dir.File("none"), OpenMode::kReadWrite); }),
            ENOENT);
}

TEST(PosixEnv, WriterExcludesEveryoneReadersShare) {
  ztest::TempDir dir;
  Env* env = Env::Default();
  std::string path = dir.File("locked");
  env->CreateFile(path);
  {
    auto writer = env->OpenFile(path, OpenMode::kReadWrite);
    EXPECT_EQ(ErrorCode([&] { env->OpenFile(path, OpenMode::kReadOnly); }), EWOULDBLOCK);
    EXPECT_EQ(ErrorCode([&] { env->CreateFile(path); }), EWOULDBLOCK);
  }
  auto r1 = env->OpenFile(path, OpenMode::kReadOnly);
  auto r2 = env->OpenFile(path, OpenMode::kReadOnly);
  EXPECT_EQ(ErrorCode([&] { env->OpenFile(path, OpenMode::kReadWrite); }), EWOULDBLOCK);
}

TEST(PosixEnv, ReadOnlyAttributeAndTempNames) {
  ztest::TempDir dir;
  Env* env = Env::Default();
  std::string path = dir.File("ro");
  env->CreateFile(path);
  EXPECT_FALSE(env->IsReadOnlyFile(path));
  ::chmod(path.c_str(), 0444);
  EXPECT_TRUE(env->IsReadOnlyFile(path));
  std::string temp = env->CreateTempFile();
  EXPECT_NE(temp.find("/zor"), std::string::npos);
  EXPECT_EQ(temp.rfind(env->TempDirectory(), 0), 0u);
  EXPECT_TRUE(env->DeleteFile(temp));
  EXPECT_FALSE(env->CurrentDirectory().empty());
}

TEST(FaultEnv, FailsTheNthWriteAndRead) {
  ztest::TempDir dir;
  ztest::FaultEnv env;
  auto f = env.CreateFile(dir.File("f"));
  env.FailWrite(2, EIO);
  f->WriteAt(0, "a", 1);
  EXPECT_EQ(ErrorCode([&] { f->WriteAt(1, "b", 1); }), EIO);
  f->WriteAt(1, "c", 1);  // fires once
  env.FailRead(1, ENOSPC);
  char buf[2];
  EXPECT_EQ(ErrorCode([&] { f->ReadAt(0, buf, 2); }), ENOSPC);
  ASSERT_EQ(f->ReadAt(0, buf, 2), 2u);
  EXPECT_EQ(std::memcmp(buf, "ac", 2), 0);
}

TEST(FaultEnv, TornWriteStoresHalf) {
  ztest::TempDir dir;
  ztest::FaultEnv env;
  auto f = env.CreateFile(dir.File("f"));
  env.TearWrite(1);
  EXPECT_EQ(ErrorCode([&] { f->WriteAt(0, "abcdefgh", 8); }), ENOSPC);
  EXPECT_EQ(f->Size(), 4u);
}

TEST(FaultEnv, CrashDropsLaterWrites) {
  ztest::TempDir dir;
  ztest::FaultEnv env;
  auto f = env.CreateFile(dir.File("f"));
  env.CrashAfterWrites(1);
  f->WriteAt(0, "ab", 2);
  f->WriteAt(2, "cd", 2);
  f->SetLength(100);
  EXPECT_TRUE(env.crashed());
  EXPECT_EQ(f->Size(), 2u);
}

}  // namespace
