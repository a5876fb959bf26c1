// Wall-clock timing for the benchmark programs that print their own figures.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double SecondsSince(BenchClock::time_point since) {
  return std::chrono::duration<double>(BenchClock::now() - since).count();
}

// Seconds work takes.
inline double Seconds(const std::function<void()>& work) {
  const auto start = BenchClock::now();
  work();
  return SecondsSince(start);
}

// The median of a run's timings (the upper middle of an even count).
inline double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}
