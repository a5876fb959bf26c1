// Portable locks. The kernel's structures are used by one thread at a time;
// these serve the few places that need more (an index's mutex, held while
// the index is built, searched or changed).
#pragma once

#include <memory>

#include "platform/sync_native.h"

class FBL_SyncObject {
 public:
  virtual ~FBL_SyncObject() = default;
};

class FBL_Mutex : public FBL_SyncObject {
 public:
  explicit FBL_Mutex(bool initiallyOwned = false)
      : mNative(platform::CreateMutex(initiallyOwned)) {}
  // FBL_MutexNative::kInfinite waits without limit; false when the wait timed out.
  virtual bool Lock(int32_t timeoutMs) { return mNative->Lock(timeoutMs); }
  // Throws 307 unless the calling thread holds the mutex.
  virtual void Unlock() { mNative->Unlock(); }

 private:
  std::unique_ptr<FBL_MutexNative> mNative;
};

class FBL_Critical {
 public:
  FBL_Critical() : mNative(platform::CreateCritical()) {}
  virtual ~FBL_Critical() = default;
  virtual void Enter() { mNative->Enter(); }
  virtual void Leave() { mNative->Leave(); }

 private:
  std::unique_ptr<FBL_CriticalNative> mNative;
};

// Holds a critical section for its lifetime, exceptions included.
class FBL_StCritical {
 public:
  explicit FBL_StCritical(FBL_Critical& critical) : mCritical(critical) { mCritical.Enter(); }
  virtual ~FBL_StCritical() { mCritical.Leave(); }
  FBL_StCritical(const FBL_StCritical&) = delete;
  FBL_StCritical& operator=(const FBL_StCritical&) = delete;

 private:
  FBL_Critical& mCritical;
};
