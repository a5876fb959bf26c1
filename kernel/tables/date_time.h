// Dates and times as fields store them, and their text forms.
//
// Date word: year << 9 | month << 5 | day (the year signed, in bits 9-31).
// Time word: hour << 12 | minute << 6 | second.
// DateTime: the time word, then the date word.
// Compared as unsigned words, packed dates and times sort chronologically
// (for years from 0 on).
#pragma once

#include <cstdint>
#include <string>

#include "kernel/storage/date_settings.h"

struct FBL_Date {
  int32_t year;
  uint32_t month;
  uint32_t day;
};

struct FBL_Time {
  uint32_t hour;
  uint32_t minute;
  uint32_t second;
};

namespace zv {

uint32_t PackDate(const FBL_Date& date);
FBL_Date UnpackDate(uint32_t word);
uint32_t PackTime(const FBL_Time& time);
FBL_Time UnpackTime(uint32_t word);
// The time word in the low half, the date word in the high half.
uint64_t PackDateTime(uint32_t dateWord, uint32_t timeWord);
uint32_t DateWordOf(uint64_t dateTime);
uint32_t TimeWordOf(uint64_t dateTime);

// Text that does not parse, or whose parts do not fit their bit fields,
// gives the zero word.
uint32_t ParseDate(const char* text, const FBL_DateSettings& settings);
uint32_t ParseTime(const char* text, const FBL_DateSettings& settings);
uint64_t ParseDateTime(const char* text, const FBL_DateSettings& settings);

std::string FormatDate(uint32_t word, const FBL_DateSettings& settings);
std::string FormatTime(uint32_t word, const FBL_DateSettings& settings);
std::string FormatDateTime(uint64_t dateTime, const FBL_DateSettings& settings);

}  // namespace zv
