#include "kernel/tables/number_text.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/ascii_text.h"

int32_t zv::ParseInt32(const char* text) {
  return static_cast<int32_t>(zv::ParseUInt32(text));
}

uint32_t zv::ParseUInt32(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + uint32_t(*text - '0');
  return negative ? 0u - value : value;
}

// Out-of-range texts saturate, as the C library's conversions do.
int64_t zv::ParseInt64(const char* text) {
  if (text == nullptr) return 0;
  return std::strtoll(text, nullptr, 10);
}

uint64_t zv::ParseUInt64(const char* text) {
  if (text == nullptr) return 0;
  return std::strtoull(text, nullptr, 10);
}

// Plain decimals go through std::from_chars, which rounds as strtod does
// at a fraction of its cost; what else strtod takes (leading blanks or
// '+', hexadecimal, infinities, NaN, values out of range) goes to it.
double zv::ParseDouble(const char* text) {
  if (text == nullptr) return 0;
  const char* digits = text + (*text == '-');
  const bool plain =
      (*digits >= '0' && *digits <= '9' && !(digits[0] == '0' && (digits[1] | 0x20) == 'x')) ||
      (*digits == '.' && digits[1] >= '0' && digits[1] <= '9');
  if (plain) {
    double value = 0;
    const auto result = std::from_chars(text, text + std::strlen(text), value);
    if (result.ec == std::errc()) return value;
  }
  return std::strtod(text, nullptr);
}

bool zv::ParseBoolean(const char* text) {
  if (text == nullptr) return false;
  return text[0] == '1' || zv::EqualNoCaseAscii(std::string_view(text).substr(0, 4), "TRUE");
}

// std::to_chars gives what printf gives for the same conversion (%lld,
// %llu, %G with its precision), without printf's cost; %G's letters are
// upper case.
namespace {

std::string FormatGeneral(double value, int precision) {
  char text[40];
  auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
  for (char* p = text; p != result.ptr; ++p) *p = zv::UpperAscii(*p);
  return std::string(text, result.ptr);
}

}  // namespace

std::string zv::FormatSigned(int64_t value) {
  char text[24];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string zv::FormatUnsigned(uint64_t value) {
  char text[24];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string zv::FormatFloat(float value) {
  return FormatGeneral(static_cast<double>(value), 6);
}

std::string zv::FormatDouble(double value) {
  return FormatGeneral(value, 16);
}
