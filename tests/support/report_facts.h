// Checks a diagnose report by what it states rather than by its layout:
// the layout of each kind of report is pinned by one exact-text test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace ztest {

inline constexpr size_t kAnyLines = SIZE_MAX;

// A report of exactly `lines` lines (or any number), each fact a piece of
// one of them.
inline ::testing::AssertionResult States(const std::string& report, size_t lines,
                                         std::initializer_list<std::string> facts) {
  if (lines != kAnyLines && size_t(std::count(report.begin(), report.end(), '\n')) != lines)
    return ::testing::AssertionFailure() << "not " << lines << " lines:\n" << report;
  for (const std::string& fact : facts) {
    if (report.find(fact) == std::string::npos)
      return ::testing::AssertionFailure() << "no \"" << fact << "\" in:\n" << report;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace ztest
