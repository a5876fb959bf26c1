// Command lines of the benchmark programs: "--name value" pairs.
#pragma once

#include <string>

// Calls take(name, value) for each pair; false when an argument has no
// value or take refuses a pair.
template <class Take>
bool ParseNamedOptions(int argc, char** argv, Take take) {
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc || !take(std::string(argv[i]), std::string(argv[i + 1]))) return false;
  }
  return true;
}
