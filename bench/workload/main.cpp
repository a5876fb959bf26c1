// bench_workload: the standard workload on Zorvane and on SQLite, one after
// the other in this process, on the same data.
//
//   bench_workload [--rows N] [--dir PATH] [--steps T1,T2,...] [--level commands]
//
// --level commands runs Zorvane's side through the Zorvane function, as a
// script would (commands_engine.cpp); the default drives the layers below.
//
// T11 (a join of a table of rows / 10 trips with the people they point to)
// runs before T10, which closes the database.
//
// One line per step: "T<k> <zorvane s> <sqlite s> <ratio>"; a step whose
// answers differ prints MISMATCH and the exit status becomes 1. T10's answer
// is the size of the files, which is reported, not compared.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "engine.h"

namespace {

struct Options {
  uint32_t rows = 1000000;
  std::string dir;
  std::vector<int> steps = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 10};
  bool commands = false;
};

bool ParseSteps(const std::string& text, std::vector<int>& steps) {
  steps.clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item.size() < 2 || (item[0] != 'T' && item[0] != 't')) return false;
    const int k = std::atoi(item.c_str() + 1);
    if (k < 1 || k > 11) return false;
    steps.push_back(k);
  }
  return !steps.empty();
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--rows") {
      options.rows = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
      if (options.rows == 0) return false;
    } else if (arg == "--dir") {
      options.dir = value;
    } else if (arg == "--steps") {
      if (!ParseSteps(value, options.steps)) return false;
    } else if (arg == "--level") {
      if (value != "commands") return false;
      options.commands = true;
    } else {
      return false;
    }
  }
  return true;
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
        "usage: bench_workload [--rows N] [--dir PATH] [--steps T1,T2,...] [--level commands]\n",
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
  auto zorvane =
      options.commands ? workload::MakeCommandsEngine() : workload::MakeZorvaneEngine();
  auto sqlite = workload::MakeSqliteEngine();
  const auto z = RunAll(*zorvane, options.dir, w, options.steps);
  const auto s = RunAll(*sqlite, options.dir, w, options.steps);

  int status = 0;
  for (size_t i = 0; i < options.steps.size(); ++i) {
    const int step = options.steps[i];
    if (!z[i].answer) {
      std::printf("T%d not yet %.3f\n", step, s[i].seconds);
      continue;
    }
    std::printf("T%d %.3f %.3f %.2f", step, z[i].seconds, s[i].seconds,
                s[i].seconds > 0 ? z[i].seconds / s[i].seconds : 0.0);
    if (step == 10) {
      std::printf(" bytes %llu %llu", (unsigned long long)*z[i].answer,
                  (unsigned long long)s[i].answer.value_or(0));
    } else if (z[i].answer != s[i].answer) {
      std::printf(" MISMATCH %llu %llu", (unsigned long long)*z[i].answer,
                  (unsigned long long)s[i].answer.value_or(0));
      status = 1;
    }
    std::printf("\n");
  }
  if (temporary) std::filesystem::remove_all(options.dir);
  return status;
}
