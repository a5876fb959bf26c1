// The operating system's locks behind the kernel's mutex and critical
// section wrappers (who takes which: the threading model in
// kernel/storage/sync_objects.h).
#pragma once

#include <cstdint>
#include <memory>

class FBL_SyncObjectNative {
 public:
  virtual ~FBL_SyncObjectNative() = default;
};

// A mutex with a timed wait, owned by one thread at a time; its owner may
// lock it again (each Lock needs its Unlock).
class FBL_MutexNative : public FBL_SyncObjectNative {
 public:
  // Waits without limit for this timeout.
  static constexpr int32_t kInfinite = 2147483647;

  // True when acquired, false when the wait timed out.
  virtual bool Lock(int32_t timeoutMs) = 0;
  // Throws 307 when the calling thread does not hold the mutex.
  virtual void Unlock() = 0;
};

class FBL_CriticalNative : public FBL_SyncObjectNative {
 public:
  virtual void Enter() = 0;
  virtual void Leave() = 0;
};

namespace platform {

std::unique_ptr<FBL_MutexNative> CreateMutex(bool initiallyOwned);
std::unique_ptr<FBL_CriticalNative> CreateCritical();

}  // namespace platform
