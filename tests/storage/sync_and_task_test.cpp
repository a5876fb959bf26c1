#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kernel/storage/sync_objects.h"
#include "kernel/storage/task.h"
#include "platform/errors.h"

TEST(Mutex, TimedWaitsAndOwnership) {
  FBL_Mutex mutex;
  ASSERT_TRUE(mutex.Lock(FBL_MutexNative::kInfinite));
  EXPECT_TRUE(mutex.Lock(0));  // its owner may take it again
  std::atomic<int> seen{-1};
  std::thread other([&] {
    seen = mutex.Lock(0) ? 1 : 0;  // held elsewhere: false at once
    try {
      mutex.Unlock();  // not the owner
      seen = 2;
    } catch (const xFBL_Exception& e) {
      if (e.Code != 307) seen = 3;
    }
  });
  other.join();
  EXPECT_EQ(seen, 0);
  mutex.Unlock();
  mutex.Unlock();
  EXPECT_THROW(mutex.Unlock(), xFBL_Exception);  // no longer held

  std::thread later([&] {
    seen = mutex.Lock(1000) ? 1 : 0;
    mutex.Unlock();
  });
  later.join();
  EXPECT_EQ(seen, 1);
}

TEST(Mutex, SerialisesThreads) {
  FBL_Mutex mutex;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        mutex.Lock(FBL_MutexNative::kInfinite);
        ++counter;
        mutex.Unlock();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

TEST(Critical, ScopedGuardLeavesOnException) {
  FBL_Critical critical;
  try {
    FBL_StCritical guard(critical);
    throw std::runtime_error("inside");
  } catch (const std::runtime_error&) {
  }
  std::atomic<bool> entered{false};
  std::thread other([&] {
    FBL_StCritical guard(critical);
    entered = true;
  });
  other.join();
  EXPECT_TRUE(entered);
}

namespace {

class CountingTask : public FBL_Task {
 public:
  explicit CountingTask(int stopAt) : FBL_Task("Counting"), mStopAt(stopAt) {}
  void Run() override {
    for (int i = 1; i <= 10 && IsRunning(); ++i) {
      ++mCounter1;
      ReportProgress(uint32_t(i * 10 - 1));
      if (i == mStopAt) Stop();
    }
  }

 private:
  int mStopAt;
};

struct Recorder : FBL_TaskListener {
  std::vector<uint32_t>* seen;
  explicit Recorder(std::vector<uint32_t>* s) : seen(s) {}
  void OnProgress(FBL_Task&, uint32_t percent) override { seen->push_back(percent); }
};

}  // namespace

TEST(Task, StateProtocolAndProgress) {
  std::vector<uint32_t> seen;
  CountingTask finished(0);
  finished.SetListener(std::make_unique<Recorder>(&seen));
  EXPECT_EQ(finished.GetState(), FBL_TaskState::kMade);
  EXPECT_TRUE(zv::RunTask(finished));
  EXPECT_EQ(finished.GetState(), FBL_TaskState::kDone);
  EXPECT_EQ(finished.mCounter1, 10u);
  EXPECT_EQ(seen.back(), 100u);
  EXPECT_EQ(finished.GetName(), "Counting");

  seen.clear();
  Recorder borrowed(&seen);
  CountingTask stopped(3);
  stopped.SetListener(&borrowed);
  EXPECT_FALSE(zv::RunTask(stopped));
  EXPECT_EQ(stopped.mCounter1, 3u);
  EXPECT_EQ(seen, (std::vector<uint32_t>{9, 19, 29}));  // no 100 for a stopped task
  EXPECT_EQ(stopped.SetState(static_cast<FBL_TaskState>(0x1FF)), 0xFF);
}
