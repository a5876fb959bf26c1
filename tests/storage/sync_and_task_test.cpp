#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kernel/storage/sync_objects.h"
#include "kernel/storage/task.h"

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
