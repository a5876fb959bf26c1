// Wall-clock timing for the benchmark programs that print their own figures.
#pragma once

#include <chrono>
#include <functional>

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
