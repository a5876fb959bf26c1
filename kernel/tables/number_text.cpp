#include "kernel/tables/number_text.h"

#include <strings.h>
#include <cstdio>
#include <cstdlib>

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

double zv::ParseDouble(const char* text) {
  if (text == nullptr) return 0;
  return std::strtod(text, nullptr);
}

bool zv::ParseBoolean(const char* text) {
  if (text == nullptr) return false;
  return text[0] == '1' || strncasecmp(text, "TRUE", 4) == 0;
}

std::string zv::FormatSigned(int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  return text;
}

std::string zv::FormatUnsigned(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return text;
}

std::string zv::FormatFloat(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%G", static_cast<double>(value));
  return text;
}

std::string zv::FormatDouble(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16G", value);
  return text;
}
