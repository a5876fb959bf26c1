#include "platform/sync_native.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/errors.h"

namespace {

// The standard timed mutex with its owner tracked, so that a release by a
// thread that does not hold it is an error rather than undefined behaviour.
// Only the owner writes its own id into mOwner, so a thread that reads its
// id there holds the mutex; the count is the owner's alone. Indexes take
// the lock once per insert or search: it stays one uncontended lock.
class MutexStd : public FBL_MutexNative {
 public:
  explicit MutexStd(bool initiallyOwned) {
    if (initiallyOwned) Lock(kInfinite);
  }

  bool Lock(int32_t timeoutMs) override {
    const auto self = std::this_thread::get_id();
    if (mOwner.load(std::memory_order_relaxed) == self) {
      ++mCount;
      return true;
    }
    if (timeoutMs == kInfinite) {
      mMutex.lock();
    } else if (!mMutex.try_lock_for(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs))) {
      return false;
    }
    mOwner.store(self, std::memory_order_relaxed);
    mCount = 1;
    return true;
  }

  void Unlock() override {
    if (mOwner.load(std::memory_order_relaxed) != std::this_thread::get_id() || mCount == 0)
      throw xFBL_Exception(ERR_ASSERTION_FAIL);
    if (--mCount == 0) {
      mOwner.store(std::thread::id(), std::memory_order_relaxed);
      mMutex.unlock();
    }
  }

 private:
  std::timed_mutex mMutex;
  std::atomic<std::thread::id> mOwner{};
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
