#include "platform/sync_native.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/errors.h"

namespace {

// The standard timed mutex with its owner tracked, so that a release by a
// thread that does not hold it is an error rather than undefined behaviour.
class MutexStd : public FBL_MutexNative {
 public:
  explicit MutexStd(bool initiallyOwned) {
    if (initiallyOwned) Lock(kInfinite);
  }

  bool Lock(int32_t timeoutMs) override {
    const auto self = std::this_thread::get_id();
    std::unique_lock state(mStateLock);
    if (mCount > 0 && mOwner == self) {
      ++mCount;
      return true;
    }
    state.unlock();
    if (timeoutMs == kInfinite) {
      mMutex.lock();
    } else if (!mMutex.try_lock_for(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs))) {
      return false;
    }
    state.lock();
    mOwner = self;
    mCount = 1;
    return true;
  }

  void Unlock() override {
    std::unique_lock state(mStateLock);
    if (mCount == 0 || mOwner != std::this_thread::get_id())
      throw xFBL_Exception(ERR_ASSERTION_FAIL);
    if (--mCount == 0) {
      mOwner = std::thread::id();
      mMutex.unlock();
    }
  }

 private:
  std::timed_mutex mMutex;
  std::mutex mStateLock;  // guards mOwner and mCount
  std::thread::id mOwner;
  uint32_t mCount = 0;
};

class CriticalStd : public FBL_CriticalNative {
 public:
  void Enter() override { mMutex.lock(); }
  void Leave() override { mMutex.unlock(); }

 private:
  std::recursive_mutex mMutex;
};

}  // namespace

namespace platform {

std::unique_ptr<FBL_MutexNative> CreateMutex(bool initiallyOwned) {
  return std::make_unique<MutexStd>(initiallyOwned);
}

std::unique_ptr<FBL_CriticalNative> CreateCritical() {
  return std::make_unique<CriticalStd>();
}

}  // namespace platform
