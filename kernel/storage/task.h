// A named long operation (index building, defragmentation, import, ...)
// that reports progress and can be told to stop.
//
// States: 0 made; 1 running (set by the runner as it starts); 2 ended. A
// task asked to stop gets any other state while it runs; its work loop
// checks IsRunning() and, when it ends with a state other than 1, its
// partial results are discarded.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class FBL_Task;

class FBL_TaskListener {
 public:
  virtual ~FBL_TaskListener() = default;
  // percent 0 to 100; 100 once the work succeeded.
  virtual void OnProgress(FBL_Task& task, uint32_t percent) = 0;
};

class FBL_Task {
 public:
  static constexpr int32_t kStateRunning = 1;
  static constexpr int32_t kStateDone = 2;
  static constexpr int32_t kStateStopped = 3;

  explicit FBL_Task(std::string name) : mName(std::move(name)) {}
  virtual ~FBL_Task() = default;
  FBL_Task(const FBL_Task&) = delete;
  FBL_Task& operator=(const FBL_Task&) = delete;

  // The work loop; it returns early when IsRunning() turns false.
  virtual void Run() = 0;
  // Stores the state; returns its low byte.
  virtual uint8_t SetState(int32_t state) {
    mState.store(state);
    return static_cast<uint8_t>(state & 0xFF);
  }

  int32_t GetState() const { return mState.load(); }
  bool IsRunning() const { return GetState() == kStateRunning; }
  // May be called from another thread.
  void Stop() { SetState(kStateStopped); }
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
  friend bool RunTask(FBL_Task& task);

  std::string mName;
  std::atomic<int32_t> mState{0};
  FBL_TaskListener* mListener = nullptr;
  std::unique_ptr<FBL_TaskListener> mOwnedListener;
};

// Runs a task: state 1, the work, 100 % when it was not stopped, state 2.
// True when the work succeeded.
bool RunTask(FBL_Task& task);
