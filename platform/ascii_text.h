// Letter case of ASCII text: keywords, command words and the like compare
// without regard to case whatever locale the host has set (a locale's
// toupper may map a Latin letter outside ASCII, or a byte into it).
#pragma once

#include <string_view>

namespace zv {

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool EqualNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace zv
