// An env for tests that injects faults into the files it opens: the Nth
// write or read fails with a chosen errno, the Nth write is torn (only part
// of the buffer reaches the file before the error), or the process
// "crashes" after the Nth write (every later write and length change is
// silently dropped, as if the machine lost power).
//
// Counts run over all files of the env and start at 1 with the first
// operation after arming.
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
  FaultEnv() : EnvWrapper(platform::Env::Default()) {}

  void FailWrite(uint64_t nth, int error) { Arm(mFailWrite, nth, error); }
  void FailRead(uint64_t nth, int error) { Arm(mFailRead, nth, error); }
  // The nth write stores only its first half, then fails with error.
  void TearWrite(uint64_t nth, int error = ENOSPC) { Arm(mTearWrite, nth, error); }
  // Every write or length change after the nth write is dropped.
  void CrashAfterWrites(uint64_t nth) {
    mCrashAfter = mWrites + nth;
    mCrashArmed = true;
  }
  void Reset() {
    mFailWrite = mFailRead = mTearWrite = Trigger{};
    mCrashArmed = false;
  }
  bool crashed() const { return mCrashArmed && mWrites > mCrashAfter; }
  uint64_t writes() const { return mWrites; }
  uint64_t reads() const { return mReads; }

  std::unique_ptr<platform::EnvFile> OpenFile(const std::string& path,
                                              platform::OpenMode mode) override {
    return std::make_unique<File>(*this, EnvWrapper::OpenFile(path, mode));
  }
  std::unique_ptr<platform::EnvFile> CreateFile(const std::string& path) override {
    return std::make_unique<File>(*this, EnvWrapper::CreateFile(path));
  }

 private:
  struct Trigger {
    uint64_t at = 0;  // absolute operation number, 0 = not armed
    int error = 0;
  };
  void Arm(Trigger& t, uint64_t nth, int error) {
    uint64_t base = (&t == &mFailRead) ? mReads : mWrites;
    t.at = base + nth;
    t.error = error;
  }
  static bool Fires(Trigger& t, uint64_t count) {
    if (t.at == 0 || t.at != count) return false;
    t.at = 0;
    return true;
  }

  class File : public platform::EnvFileWrapper {
   public:
    File(FaultEnv& env, std::unique_ptr<platform::EnvFile> target)
        : EnvFileWrapper(std::move(target)), mEnv(env) {}

    size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
      uint64_t count = ++mEnv.mReads;
      int error = mEnv.mFailRead.error;
      if (Fires(mEnv.mFailRead, count)) throw xFBL_Exception(error);
      return EnvFileWrapper::ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* buffer, size_t n) override {
      uint64_t count = ++mEnv.mWrites;
      if (mEnv.mCrashArmed && count > mEnv.mCrashAfter) return;
      int error = mEnv.mFailWrite.error;
      if (Fires(mEnv.mFailWrite, count)) throw xFBL_Exception(error);
      error = mEnv.mTearWrite.error;
      if (Fires(mEnv.mTearWrite, count)) {
        EnvFileWrapper::WriteAt(offset, buffer, n / 2);
        throw xFBL_Exception(error);
      }
      EnvFileWrapper::WriteAt(offset, buffer, n);
    }
    void SetLength(uint64_t length) override {
      if (mEnv.crashed()) return;
      EnvFileWrapper::SetLength(length);
    }
    void Sync() override {
      if (mEnv.crashed()) return;
      EnvFileWrapper::Sync();
    }

   private:
    FaultEnv& mEnv;
  };

  uint64_t mWrites = 0;
  uint64_t mReads = 0;
  Trigger mFailWrite, mFailRead, mTearWrite;
  uint64_t mCrashAfter = 0;
  bool mCrashArmed = false;
};

}  // namespace ztest
