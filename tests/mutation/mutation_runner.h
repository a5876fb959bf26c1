// Runs cases of the mutation harness, each in a child process of its own,
// so that a crash, a sanitizer report, a hang or a huge allocation ends
// that case only and is counted:
//   - a case gets kCpuSeconds of processor time (the child gets SIGXCPU),
//     and a wall-clock limit well above it for a machine under load;
//   - peak memory is the largest resident size of any child (wait4);
//     outside the sanitizers a child's address space is also capped.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/mutation/mutation_case.h"

namespace zmut {

inline constexpr int kCpuSeconds = 5;

struct RunOptions {
  uint64_t seed = 1;
  uint64_t first = 0;      // number of the first case
  uint64_t iterations = 100;
  int jobs = 1;            // children at once
  bool verbose = false;    // a line per case
};

struct Summary {
  uint64_t cases = 0;
  uint64_t clean = 0;
  uint64_t engineErrors = 0;
  uint64_t lostRecords = 0;  // opened, but values or records differ from the pristine ones
  uint64_t crashes = 0;      // a signal other than the time limit's, or a sanitizer exit
  uint64_t hangs = 0;
  uint64_t findings = 0;     // see mutation_case.h
  uint64_t peakKiB = 0;
  double slowestSeconds = 0;
  std::map<int32_t, uint64_t> codes;
  // "case N (variant, damage): what", for every crash, hang and finding.
  std::vector<std::string> failures;

  bool Passed() const { return crashes == 0 && hangs == 0 && findings == 0; }
  std::string Text() const;
};

// REQUIRES: the kernel is started; pristines from MakePristines.
Summary RunCases(const std::vector<Pristine>& pristines, const std::string& folder,
                 const RunOptions& options);

}  // namespace zmut
