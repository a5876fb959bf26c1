// A named long operation (index building, defragmentation, import, ...)
// that reports progress and can be told to stop.
//
// States: made; running (set by the runner as it starts); done (ended). A
// task asked to stop gets another state while it runs (kStopped); its work
// loop checks IsRunning() and, when it ends in a state other than running,
// its partial results are discarded.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class FBL_Task;

enum class FBL_TaskState : int32_t {
  kMade = 0,
  kRunning = 1,
  kDone = 2,
  kStopped = 3,
};

class FBL_TaskListener {
 public:
  virtual ~FBL_TaskListener() = default;
  // percent 0 to 100; 100 once the work succeeded.
  virtual void OnProgress(FBL_Task& task, uint32_t percent) = 0;
};

class FBL_Task;
namespace zv {
bool RunTask(FBL_Task& task);
}  // namespace zv

class FBL_Task {
 public:
  explicit FBL_Task(std::string name) : mName(std::move(name)) {}
  virtual ~FBL_Task() = default;
  FBL_Task(const FBL_Task&) = delete;
  FBL_Task& operator=(const FBL_Task&) = delete;

  // The work loop; it returns early when IsRunning() turns false.
  virtual void Run() = 0;
  // Stores the state; returns the low byte of its number.
  virtual uint8_t SetState(FBL_TaskState state) {
    mState.store(state);
    return static_cast<uint8_t>(static_cast<int32_t>(state) & 0xFF);
  }

  FBL_TaskState GetState() const { return mState.load(); }
  bool IsRunning() const { return GetState() == FBL_TaskState::kRunning; }
  // May be called from another thread (the threading model:
  // kernel/storage/sync_objects.h).
  void Stop() { SetState(FBL_TaskState::kStopped); }
  const std::string& GetName() const { return mName; }

  // The listener outlives the task unless the task owns it.
  void SetListener(FBL_TaskListener* listener) {
    mOwnedListener.reset();
    mListener = listener;
  }
  void SetListener(std::unique_ptr<FBL_TaskListener> listener) {
    mOwnedListener = std::move(listener);
    mListener = mOwnedListener.get();
  }

  // Two counters a task may use for its progress (done and total, say).
  uint32_t mCounter1 = 0;
  uint32_t mCounter2 = 0;

 protected:
  void ReportProgress(uint32_t percent) {
    if (mListener != nullptr) mListener->OnProgress(*this, percent);
  }

 private:
  friend bool zv::RunTask(FBL_Task& task);

  std::string mName;
  std::atomic<FBL_TaskState> mState{FBL_TaskState::kMade};
  FBL_TaskListener* mListener = nullptr;
  std::unique_ptr<FBL_TaskListener> mOwnedListener;
};

namespace zv {

// Runs a task: state 1, the work, 100 % when it was not stopped, state 2.
// True when the work succeeded.
bool RunTask(FBL_Task& task);

}  // namespace zv
