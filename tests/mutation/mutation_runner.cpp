#include "tests/mutation/mutation_runner.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace zmut {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWallSeconds = 60;
constexpr rlim_t kAddressSpaceCap = rlim_t{1} << 30;

struct Child {
  pid_t pid = 0;
  int pipe = -1;
  uint64_t number = 0;
  Variant variant = Variant::kPlain;
  Clock::time_point start;
};

void Limit() {
  rlimit cpu{kCpuSeconds, kCpuSeconds + 1};
  setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__)
  rlimit as{kAddressSpaceCap, kAddressSpaceCap};
  setrlimit(RLIMIT_AS, &as);
#endif
  alarm(kWallSeconds);
}

// The child's report: result, code, lost flag, then the damage and the
// finding on lines of their own.
[[noreturn]] void RunChild(const Pristine& p, const std::string& work, uint64_t seed,
                           uint64_t number, int fd) {
  Limit();
  Outcome o = RunCase(p, work, seed, number);
  std::string text = std::to_string(int(o.result)) + " " + std::to_string(o.code) + " " +
                     (o.lostRecords ? "1" : "0") + "\n" + o.damage + "\n" + o.finding + "\n";
  const char* at = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, at, left);
    if (n <= 0) break;
    at += n;
    left -= size_t(n);
  }
  _exit(0);
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  return text;
}

void Account(Summary& s, const Child& c, int status, const rusage& usage, const RunOptions& o) {
  const std::string report = ReadAll(c.pipe);
  close(c.pipe);
  const double seconds = std::chrono::duration<double>(Clock::now() - c.start).count();
  s.slowestSeconds = std::max(s.slowestSeconds, seconds);
  s.peakKiB = std::max<uint64_t>(s.peakKiB, uint64_t(usage.ru_maxrss));
  ++s.cases;
  std::istringstream in(report);
  int result = -1, lost = 0;
  int32_t code = 0;
  std::string damage, finding;
  in >> result >> code >> lost;
  in.ignore();
  std::getline(in, damage);
  std::getline(in, finding);
  const std::string name = "case " + std::to_string(c.number) + " (" + VariantName(c.variant) +
                           ", " + (damage.empty() ? "?" : damage) + "): ";
  if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGALRM)) {
    ++s.hangs;
    s.failures.push_back(name + "over the time limit");
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || result < 0) {
    ++s.crashes;
    s.failures.push_back(name + (WIFSIGNALED(status)
                                     ? "signal " + std::to_string(WTERMSIG(status))
                                     : "exit status " + std::to_string(WEXITSTATUS(status))));
  } else if (Result(result) == Result::kFinding) {
    ++s.findings;
    s.failures.push_back(name + finding);
  } else if (Result(result) == Result::kEngineError) {
    ++s.engineErrors;
    ++s.codes[code];
  } else {
    ++s.clean;
  }
  if (lost) ++s.lostRecords;
  if (o.verbose) {
    std::fprintf(stderr, "%s result %d code %d%s\n", name.c_str(), result, code,
                 finding.empty() ? "" : (" " + finding).c_str());
  }
}

}  // namespace

std::string Summary::Text() const {
  std::ostringstream out;
  out << cases << " cases: " << clean << " clean, " << engineErrors << " engine errors, "
      << findings << " findings, " << crashes << " crashes, " << hangs << " hangs over "
      << kCpuSeconds << " s of CPU; " << lostRecords
      << " opened with damaged values (undetectable without checksums); peak resident "
      << peakKiB / 1024 << " MiB; slowest case " << slowestSeconds << " s\nerror codes:";
  for (const auto& [code, n] : codes) out << " " << code << "x" << n;
  out << "\n";
  for (const std::string& f : failures) out << "  " << f << "\n";
  return out.str();
}

Summary RunCases(const std::vector<Pristine>& pristines, const std::string& folder,
                 const RunOptions& options) {
  Summary s;
  std::vector<Child> running(std::max(1, options.jobs));
  uint64_t next = options.first;
  const uint64_t end = options.first + options.iterations;
  size_t active = 0;
  std::fflush(nullptr);
  for (;;) {
    for (size_t slot = 0; slot < running.size() && next < end; ++slot) {
      if (running[slot].pid != 0) continue;
      int fds[2];
      if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
      Child c;
      c.number = next++;
      c.variant = VariantOf(options.seed, c.number);
      c.start = Clock::now();
      const std::string work = folder + "/case" + std::to_string(slot);
      c.pid = fork();
      if (c.pid == 0) {
        close(fds[0]);
        RunChild(pristines[size_t(c.variant)], work, options.seed, c.number, fds[1]);
      }
      close(fds[1]);
      if (c.pid < 0) throw std::runtime_error("fork failed");
      c.pipe = fds[0];
      running[slot] = c;
      ++active;
    }
    if (active == 0) break;
    int status = 0;
    rusage usage{};
    pid_t done = wait4(-1, &status, 0, &usage);
    if (done < 0) break;
    for (Child& c : running) {
      if (c.pid != done) continue;
      Account(s, c, status, usage, options);
      c.pid = 0;
      --active;
    }
  }
  return s;
}

}  // namespace zmut
