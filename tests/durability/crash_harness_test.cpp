// The crash harness: the run of crash_scenario.h is cut at its changes to
// the disk (a process crash, whole or with the last write torn; a power
// loss at each sync) and failed at its operations (EIO and ENOSPC at reads,
// writes, syncs, length changes and opens); every time the database on
// disk must open as the last completed flush left it, or as the flush under
// way, and show an unclean close.
//
// The tests here check a sample of the cuts and faults. The full runs check
// every one and are not part of the suite:
//   make crash   (test_durability --gtest_also_run_disabled_tests --gtest_filter='*Full*')
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tests/durability/crash_scenario.h"
#include "tests/durability/file_history.h"
#include "tests/support/fault_env.h"
#include "tests/support/kernel_fixture.h"

namespace {

using ztest::CrashScenario;
using ztest::FaultEnv;
using ztest::FileHistory;

enum class Cut { kProcess, kTorn, kPowerLoss };

const char* Name(Cut cut) {
  return cut == Cut::kProcess ? "crash" : cut == Cut::kTorn ? "torn write" : "power loss";
}

class CrashHarnessTest : public ztest::KernelTest {
 protected:
  void SetUp() override {
    // A small main cache: changes reach the volumes between flushes too.
    zv::StartKernel(102400);
    std::filesystem::create_directory(Run());
    std::filesystem::create_directory(Image());
  }
  std::string Run() const { return mDir.File("run"); }
  std::string Image() const { return mDir.File("image"); }

  // Records the run once.
  void Record() {
    ztest::RecordingEnv env(Run(), mHistory);
    mScenario = CrashScenario([this] { return mHistory.Size(); });
    ASSERT_EQ(mScenario.Run(env, Run() + "/db", {}), 0);
  }

  // Checks the image of every stride-th point where the cut can fall.
  // Returns the number of images checked.
  int CheckCuts(Cut cut, size_t stride) {
    FileHistory::Replay replay(mHistory);
    int checked = 0;
    size_t points = 0;
    for (size_t n = 0; n <= mHistory.Size(); ++n) {
      const bool last = n == mHistory.Size();
      bool point = true;
      if (cut == Cut::kTorn)
        point = !last && mHistory.Changes()[n].mKind == ztest::FileChange::kWrite;
      if (cut == Cut::kPowerLoss) point = last || (n > 0 && mHistory.IsSync(n - 1));
      if (point && (points++ % stride == 0 || last)) {
        ztest::WriteImage(Image(), cut == Cut::kTorn       ? replay.TornNext()
                                   : cut == Cut::kPowerLoss ? replay.Durable()
                                                            : replay.Current());
        // A torn change has begun: the flush it belongs to is under way.
        const uint64_t clock = cut == Cut::kTorn ? n + 1 : n;
        const int unclean = last ? 0 : (n >= mScenario.created() && n < mScenario.closing() ? 1 : -1);
        const std::string problem =
            ztest::CheckDatabase(Image() + "/db", mScenario.states(), mScenario.StatesAt(clock),
                                 n < mScenario.created(), unclean);
        EXPECT_EQ(problem, "") << Name(cut) << " after " << n << " of " << mHistory.Size()
                               << " changes";
        ++checked;
      }
      if (!last) replay.Advance();
    }
    return checked;
  }

  // How many operations of each kind a run without faults makes.
  std::vector<uint64_t> CountOperations() {
    FaultEnv env;
    CrashScenario scenario;
    EXPECT_EQ(scenario.Run(env, Run() + "/db", {}), 0);
    std::vector<uint64_t> counts;
    for (int op = 0; op < FaultEnv::kOpCount; ++op)
      counts.push_back(env.count(static_cast<FaultEnv::Op>(op)));
    return counts;
  }

  // The run with the nth operation of a kind failing; returns what is wrong
  // with the database it leaves.
  std::string RunFailing(FaultEnv::Op op, uint64_t nth, int error) {
    for (const auto& e : std::filesystem::directory_iterator(Run())) std::filesystem::remove(e.path());
    FaultEnv env;
    env.Fail(op, nth, error);
    CrashScenario scenario;
    const int code = scenario.Run(env, Run() + "/db", [&] { env.CrashNow(); });
    if (code != 0 && code != error) return "the run failed with " + std::to_string(code);
    std::vector<size_t> candidates;
    if (scenario.failedFlush() >= 0) candidates.push_back(static_cast<size_t>(scenario.failedFlush()));
    candidates.push_back(scenario.states().size() - 1 - candidates.size());
    const bool created = scenario.created() != UINT64_MAX;
    const bool closing = scenario.closing() != UINT64_MAX;
    const int unclean = code == 0 ? 0 : (created && !closing ? 1 : -1);
    return ztest::CheckDatabase(Run() + "/db", scenario.states(), candidates, !created, unclean);
  }

  // Fails every stride-th operation of each kind with EIO and ENOSPC.
  int CheckFaults(uint64_t stride) {
    const std::vector<uint64_t> counts = CountOperations();
    int checked = 0;
    for (int op = 0; op < FaultEnv::kOpCount; ++op) {
      for (int error : {EIO, ENOSPC}) {
        for (uint64_t nth = 1 + (op + error) % stride; nth <= counts[op]; nth += stride) {
          EXPECT_EQ(RunFailing(static_cast<FaultEnv::Op>(op), nth, error), "")
              << "operation kind " << op << " number " << nth << " of " << counts[op]
              << " failing with " << error;
          ++checked;
        }
      }
    }
    return checked;
  }

  FileHistory mHistory;
  CrashScenario mScenario;
};

TEST_F(CrashHarnessTest, EveryCutLeavesTheLastFlush) {
  Record();
  ASSERT_GT(mScenario.flushes().size(), 5u);
  EXPECT_GT(CheckCuts(Cut::kProcess, 13), 10);
  EXPECT_GT(CheckCuts(Cut::kTorn, 9), 10);
  EXPECT_GT(CheckCuts(Cut::kPowerLoss, 3), 10);
}

TEST_F(CrashHarnessTest, EveryFaultLeavesTheLastFlush) {
  EXPECT_GT(CheckFaults(13), 20);
}

TEST_F(CrashHarnessTest, DISABLED_FullCuts) {
  Record();
  for (Cut cut : {Cut::kProcess, Cut::kTorn, Cut::kPowerLoss}) {
    const int checked = CheckCuts(cut, 1);
    std::printf("%s: %d images checked\n", Name(cut), checked);
  }
}

TEST_F(CrashHarnessTest, DISABLED_FullFaults) {
  std::printf("%d faulty runs checked\n", CheckFaults(1));
}

}  // namespace
