// Texts the VarChar benchmarks store: 10 to 40 lower-case letters from a
// fixed linear congruential sequence, the same in every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::string> MakeBenchTexts(uint32_t count) {
  std::vector<std::string> texts(count);
  uint32_t x = 12345;
  for (auto& t : texts) {
    x = x * 1103515245u + 12345u;
    t.resize(10 + (x >> 16) % 31);
    for (auto& c : t) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>('a' + (x >> 16) % 26);
    }
  }
  return texts;
}
