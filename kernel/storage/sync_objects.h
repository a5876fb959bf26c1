// Portable locks, and the engine's threading model, stated here once; the
// other places point to it.
//
// Threading model
//  - Commands reach the engine one at a time: the host calls Zorvane and
//    Dispatch on its own thread and the driver interface enters the same
//    layers from its exports, never two calls at once. The host bridge's
//    state (bridge/bridge_state.h) has no locks.
//  - Every kernel structure is used by one thread at a time and has no lock
//    of its own: databases, volumes, files, both page caches, page files,
//    tables, fields, record sets. The two caches are process-wide, shared
//    by every open database, so only one thread may be inside the kernel
//    at a time, whatever database it works on.
//  - Each lock that exists, and what it guards:
//    * an index's FBL_Mutex (FBL_SecondaryIndex::mMutex): held for each
//      operation of that index (open, close, insert, remove, search, build,
//      flush, drop), so that the operations of one index never interleave,
//      also when a build runs as a task; it guards the index's own state,
//      not the cache its pages go through;
//    * the language list's mutex (kernel/tables/language.cpp): the
//      process-wide list of FBL_Language, which grows on the first use of a
//      language; a language never changes once made;
//    * a collator's converter lock (platform/collation.cpp): the ICU
//      converters keep state between calls, so Compare may be called from
//      several threads;
//    * the state lock inside FBL_MutexNative (platform/sync_native.cpp):
//      the owner and count of a mutex;
//    * the handle registry's mutex (api/handle_registry.h): the table of
//      handles and memory blocks.
//  - A task's state is atomic: Stop may be called from any thread, and the
//    task's work loop sees it through IsRunning (kernel/storage/task.h).
//  - The only thread the engine starts: FBL_Encryption::Process hands half
//    of a large buffer to one helper thread when the cipher keeps no state
//    between blocks, and joins it before returning; the two halves share
//    nothing but the cipher's constant subkeys.
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
