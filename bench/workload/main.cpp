// bench_workload: the standard workload on Zorvane and on SQLite, one after
// the other in this process, on the same data.
//
//   bench_workload [--rows N] [--dir PATH] [--steps T1,T2,...,T1s,T8s,T9s]
//                  [--level commands] [--cache-mb N]
//
// --cache-mb sets both engines' page caches (64 MB by default).
//
// --level commands runs Zorvane's side through the Zorvane function, as a
// script would (commands_engine.cpp); the default drives the layers below.
//
// T11 (a join of a table of rows / 10 trips with the people they point to)
// runs before T10, which closes the database. T1s, T8s and T9s run T1, T8
// and T9 again through SQL statements with parameters, on a database of
// their own, after T10.
//
// One line per step: "T<k> <zorvane s> <sqlite s> <ratio>", for a
// statements step "T<k>-statements" and SQLite's figure of T<k>; a step
// whose answers differ prints MISMATCH and the exit status becomes 1. T10's
// answer is the size of the files, which is reported, not compared.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "engine.h"

namespace {

constexpr int kT1s = workload::kStatements + 1;
constexpr int kT8s = workload::kStatements + 8;
constexpr int kT9s = workload::kStatements + 9;

struct Options {
  uint32_t rows = 1000000;
  uint64_t cacheMB = 64;  // each engine's page cache
  std::string dir;
  // The statements steps last: a database of their own, after T10.
  std::vector<int> steps = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 10, kT1s, kT8s, kT9s};
  bool commands = false;
};

bool ParseSteps(const std::string& text, std::vector<int>& steps) {
  steps.clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item.size() < 2 || (item[0] != 'T' && item[0] != 't')) return false;
    char* end = nullptr;
    const long k = std::strtol(item.c_str() + 1, &end, 10);
    if (*end == 's' && end[1] == 0 && (k == 1 || k == 8 || k == 9)) {
      steps.push_back(workload::kStatements + int(k));
      continue;
    }
    if (*end != 0 || k < 1 || k > 11) return false;
    steps.push_back(int(k));
  }
  return !steps.empty();
}

bool ParseOptions(int argc, char** argv, Options& options) {
  return ParseNamedOptions(argc, argv, [&](const std::string& arg, const std::string& value) {
    if (arg == "--rows") {
      options.rows = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
      return options.rows != 0;
    }
    if (arg == "--cache-mb") {
      options.cacheMB = std::strtoull(value.c_str(), nullptr, 10);
      return options.cacheMB != 0 && options.cacheMB <= (uint64_t{1} << 20);
    }
    if (arg == "--dir") {
      options.dir = value;
      return true;
    }
    if (arg == "--steps") return ParseSteps(value, options.steps);
    if (arg == "--level" && value == "commands") {
      options.commands = true;
      return true;
    }
    return false;
  });
}

struct Timed {
  std::optional<uint64_t> answer;
  double seconds = 0;
};

std::vector<Timed> RunAll(workload::Engine& engine, const std::string& dir,
                          const workload::Workload& w, const std::vector<int>& steps) {
  std::vector<Timed> results;
  std::string error;
  if (!engine.Open(dir, error)) {
    std::fprintf(stderr, "%s: %s\n", engine.Name(), error.c_str());
    std::exit(2);
  }
  for (int step : steps) {
    engine.Prepare(step, w);
    const auto start = BenchClock::now();
    Timed t;
    t.answer = engine.Run(step, w);
    t.seconds = SecondsSince(start);
    results.push_back(t);
  }
  return results;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(
        "usage: bench_workload [--rows N] [--dir PATH] [--steps T1,T2,...,T8s] "
        "[--level commands] [--cache-mb N]\n",
        stderr);
    return 2;
  }
  bool temporary = options.dir.empty();
  if (temporary) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zorXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 2;
    options.dir = pattern;
  }
  const workload::Workload w = workload::MakeWorkload(options.rows);
  const uint64_t cacheBytes = options.cacheMB << 20;
  auto zorvane = options.commands ? workload::MakeCommandsEngine(cacheBytes)
                                  : workload::MakeZorvaneEngine(cacheBytes);
  auto sqlite = workload::MakeSqliteEngine(cacheBytes);
  const auto z = RunAll(*zorvane, options.dir, w, options.steps);
  const auto s = RunAll(*sqlite, options.dir, w, options.steps);

  int status = 0;
  const std::vector<int>& steps = options.steps;
  for (size_t i = 0; i < steps.size(); ++i) {
    int step = steps[i];
    const bool statements = step > workload::kStatements;
    // A statements step is compared with SQLite's own step.
    size_t peer = i;
    if (statements) {
      step -= workload::kStatements;
      peer = size_t(std::find(steps.begin(), steps.end(), step) - steps.begin());
    }
    const char* suffix = statements ? "-statements" : "";
    if (peer == steps.size()) {
      std::printf("T%d%s %.3f without SQLite's T%d\n", step, suffix, z[i].seconds, step);
      continue;
    }
    if (!z[i].answer) {
      std::printf("T%d%s not yet %.3f\n", step, suffix, s[peer].seconds);
      continue;
    }
    const Timed& sq = s[peer];
    std::printf("T%d%s %.3f %.3f %.2f", step, suffix, z[i].seconds, sq.seconds,
                sq.seconds > 0 ? z[i].seconds / sq.seconds : 0.0);
    if (step == 10) {
      std::printf(" bytes %llu %llu", (unsigned long long)*z[i].answer,
                  (unsigned long long)sq.answer.value_or(0));
    } else if (z[i].answer != sq.answer) {
      std::printf(" MISMATCH %llu %llu", (unsigned long long)*z[i].answer,
                  (unsigned long long)sq.answer.value_or(0));
      status = 1;
    }
    std::printf("\n");
  }
  if (temporary) std::filesystem::remove_all(options.dir);
  return status;
}
