// An env for tests that injects faults into the files it opens: the Nth
// operation of a kind (read, write, sync, length change, open) fails with a
// chosen errno, the Nth write is torn (only part of the buffer reaches the
// file before the error), or the process "crashes" after the Nth write
// (every later write, length change and sync is silently dropped, as if the
// machine lost power).
//
// Counts run over all files of the env and start at 1 with the first
// operation after arming. Syncs of files and of folders count together;
// they never reach the disk (a test's crash is simulated, not real), which
// keeps tests that sync often fast.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"
#include "platform/errors.h"

namespace ztest {

class FaultEnv : public platform::EnvWrapper {
 public:
  enum Op { kRead, kWrite, kSync, kSetLength, kOpen, kOpCount };

  explicit FaultEnv(platform::Env* target = platform::Env::Default()) : EnvWrapper(target) {}

  // The nth operation of the kind from now fails with error.
  void Fail(Op op, uint64_t nth, int error) {
    mFail[op].at = mCount[op] + nth;
    mFail[op].error = error;
  }
  void FailWrite(uint64_t nth, int error) { Fail(kWrite, nth, error); }
  void FailRead(uint64_t nth, int error) { Fail(kRead, nth, error); }
  // The nth write stores only its first half, then fails with error.
  void TearWrite(uint64_t nth, int error = ENOSPC) {
    mTear.at = mCount[kWrite] + nth;
    mTear.error = error;
  }
  // Every write, length change and sync after the nth write is dropped.
  void CrashAfterWrites(uint64_t nth) {
    mCrashAfter = mCount[kWrite] + nth;
    mCrashArmed = true;
  }
  // Drops everything from now on.
  void CrashNow() { CrashAfterWrites(0); }
  void Reset() {
    for (Trigger& t : mFail) t = Trigger{};
    mTear = Trigger{};
    mCrashArmed = false;
  }
  // True once a write was dropped.
  bool crashed() const { return mCrashArmed && mCount[kWrite] > mCrashAfter; }
  // True when changes are dropped from now on.
  bool dropping() const { return mCrashArmed && mCount[kWrite] >= mCrashAfter; }
  uint64_t count(Op op) const { return mCount[op]; }
  uint64_t writes() const { return mCount[kWrite]; }
  uint64_t reads() const { return mCount[kRead]; }
  uint64_t syncs() const { return mCount[kSync]; }

  std::unique_ptr<platform::EnvFile> OpenFile(const std::string& path,
                                              platform::OpenMode mode) override {
    Count(kOpen);
    return std::make_unique<File>(*this, EnvWrapper::OpenFile(path, mode));
  }
  std::unique_ptr<platform::EnvFile> CreateFile(const std::string& path) override {
    Count(kOpen);
    if (dropping()) {
      // Neither the truncation nor a new file reaches the disk.
      if (EnvWrapper::FileExists(path))
        return std::make_unique<File>(*this, EnvWrapper::OpenFile(path, platform::OpenMode::kReadWrite));
      return std::make_unique<File>(*this, std::make_unique<LostFile>());
    }
    return std::make_unique<File>(*this, EnvWrapper::CreateFile(path));
  }
  bool DeleteFile(const std::string& path) override {
    if (dropping()) return true;
    return EnvWrapper::DeleteFile(path);
  }
  void SyncDirectory(const std::string&) override { Count(kSync); }

 private:
  struct Trigger {
    uint64_t at = 0;  // absolute operation number, 0 = not armed
    int error = 0;
  };
  static bool Fires(Trigger& t, uint64_t count) {
    if (t.at == 0 || t.at != count) return false;
    t.at = 0;
    return true;
  }
  // Counts an operation and raises its armed fault; true when it must be
  // dropped because the process has crashed.
  bool Count(Op op) {
    uint64_t n = ++mCount[op];
    if ((op == kSync || op == kSetLength) && dropping()) return true;
    int error = mFail[op].error;
    if (Fires(mFail[op], n)) throw xFBL_Exception(error);
    return false;
  }

  // A file made after the crash: it never existed on disk.
  class LostFile : public platform::EnvFile {
   public:
    size_t ReadAt(uint64_t, void*, size_t) override { return 0; }
    void WriteAt(uint64_t, const void*, size_t) override {}
    void SetLength(uint64_t) override {}
    uint64_t Size() override { return 0; }
    void Sync() override {}
    void Close() override {}
  };

  class File : public platform::EnvFileWrapper {
   public:
    File(FaultEnv& env, std::unique_ptr<platform::EnvFile> target)
        : EnvFileWrapper(std::move(target)), mEnv(env) {}

    size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
      mEnv.Count(kRead);
      return EnvFileWrapper::ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* buffer, size_t n) override {
      if (mEnv.dropping()) {
        ++mEnv.mCount[kWrite];
        return;
      }
      uint64_t count = mEnv.mCount[kWrite] + 1;
      mEnv.Count(kWrite);
      int error = mEnv.mTear.error;
      if (Fires(mEnv.mTear, count)) {
        EnvFileWrapper::WriteAt(offset, buffer, n / 2);
        throw xFBL_Exception(error);
      }
      EnvFileWrapper::WriteAt(offset, buffer, n);
    }
    void SetLength(uint64_t length) override {
      if (mEnv.Count(kSetLength)) return;
      EnvFileWrapper::SetLength(length);
    }
    void Sync() override { mEnv.Count(kSync); }

   private:
    FaultEnv& mEnv;
  };

  uint64_t mCount[kOpCount] = {};
  Trigger mFail[kOpCount];
  Trigger mTear;
  uint64_t mCrashAfter = 0;
  bool mCrashArmed = false;
};

}  // namespace ztest
