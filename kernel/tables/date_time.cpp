#include "kernel/tables/date_time.h"

#include <cstdio>

namespace {

bool FitsDate(long year, unsigned month, unsigned day) {
  constexpr long kYearLimit = 1L << 22;  // 23 signed bits
  return month <= 15 && day <= 31 && year < kYearLimit && year >= -kYearLimit;
}

bool FitsTime(unsigned long hour, unsigned minute, unsigned second) {
  return hour < (1UL << 20) && minute <= 63 && second <= 63;
}

// The date part of a text: three numbers with one-character separators in
// the settings' order. A leading "-" makes the year negative.
bool ScanDate(const char* text, const FBL_DateSettings& s, FBL_Date& date, int& consumed) {
  bool negative = false;
  if (*text == '-' && s.mDateOrder != 2) {
    negative = true;
    ++text;
  }
  unsigned short a = 0, b = 0;
  long year = 0;
  char s1, s2;
  int n = 0;
  if (s.mDateOrder == 2) {
    if (std::sscanf(text, "%ld%c%hu%c%hu%n", &year, &s1, &a, &s2, &b, &n) != 5) return false;
    date = FBL_Date{int32_t(year), a, b};
  } else {
    if (std::sscanf(text, "%hu%c%hu%c%ld%n", &a, &s1, &b, &s2, &year, &n) != 5) return false;
    if (negative) year = -year;
    date = s.mDateOrder == 0 ? FBL_Date{int32_t(year), a, b} : FBL_Date{int32_t(year), b, a};
  }
  consumed = n + (negative ? 1 : 0);
  return FitsDate(date.year, date.month, date.day);
}

bool ScanTime(const char* text, FBL_Time& time) {
  unsigned short h = 0, m = 0, sec = 0;
  char s1, s2;
  if (std::sscanf(text, "%hu%c%hu%c%hu", &h, &s1, &m, &s2, &sec) != 5) return false;
  time = FBL_Time{h, m, sec};
  return FitsTime(h, m, sec);
}

}  // namespace

uint32_t zv::PackDate(const FBL_Date& d) {
  return (static_cast<uint32_t>(d.year) << 9) | ((d.month & 15u) << 5) | (d.day & 31u);
}

FBL_Date zv::UnpackDate(uint32_t word) {
  return FBL_Date{static_cast<int32_t>(word) >> 9, (word >> 5) & 15u, word & 31u};
}

uint32_t zv::PackTime(const FBL_Time& t) {
  return (t.hour << 12) | ((t.minute & 63u) << 6) | (t.second & 63u);
}

FBL_Time zv::UnpackTime(uint32_t word) {
  return FBL_Time{word >> 12, (word >> 6) & 63u, word & 63u};
}

uint64_t zv::PackDateTime(uint32_t dateWord, uint32_t timeWord) {
  return uint64_t(dateWord) << 32 | timeWord;
}

uint32_t zv::DateWordOf(uint64_t dateTime) {
  return uint32_t(dateTime >> 32);
}

uint32_t zv::TimeWordOf(uint64_t dateTime) {
  return uint32_t(dateTime);
}

uint32_t zv::ParseDate(const char* text, const FBL_DateSettings& settings) {
  if (text == nullptr) return 0;
  FBL_Date date{};
  int consumed = 0;
  return ScanDate(text, settings, date, consumed) ? zv::PackDate(date) : 0;
}

uint32_t zv::ParseTime(const char* text, const FBL_DateSettings&) {
  if (text == nullptr) return 0;
  FBL_Time time{};
  return ScanTime(text, time) ? zv::PackTime(time) : 0;
}

// A date alone is a date at midnight.
uint64_t zv::ParseDateTime(const char* text, const FBL_DateSettings& settings) {
  if (text == nullptr) return 0;
  FBL_Date date{};
  int consumed = 0;
  if (!ScanDate(text, settings, date, consumed)) return 0;
  const char* rest = text + consumed;
  if (*rest == '\0') return zv::PackDateTime(zv::PackDate(date), 0);
  FBL_Time time{};
  if (!ScanTime(rest + 1, time)) return 0;
  return zv::PackDateTime(zv::PackDate(date), zv::PackTime(time));
}

std::string zv::FormatDate(uint32_t word, const FBL_DateSettings& s) {
  const FBL_Date d = zv::UnpackDate(word);
  char text[48];
  const char sep = s.mDateSeparator;
  if (s.mDateOrder == 2) {
    std::snprintf(text, sizeof text, "%.4li%c%.2u%c%.2u", long(d.year), sep, d.month, sep, d.day);
  } else {
    const unsigned first = s.mDateOrder == 0 ? d.month : d.day;
    const unsigned second = s.mDateOrder == 0 ? d.day : d.month;
    std::snprintf(text, sizeof text, "%.2u%c%.2u%c%.4li", first, sep, second, sep, long(d.year));
  }
  return text;
}

std::string zv::FormatTime(uint32_t word, const FBL_DateSettings& s) {
  const FBL_Time t = zv::UnpackTime(word);
  char text[40];
  const char sep = s.mTimeSeparator;
  std::snprintf(text, sizeof text, "%.2u%c%.2u%c%.2u", t.hour, sep, t.minute, sep, t.second);
  return text;
}

std::string zv::FormatDateTime(uint64_t dateTime, const FBL_DateSettings& s) {
  return zv::FormatDate(zv::DateWordOf(dateTime), s) + " " +
         zv::FormatTime(zv::TimeWordOf(dateTime), s);
}
