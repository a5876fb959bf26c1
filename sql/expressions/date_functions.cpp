#include "sql/expressions/date_functions.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "kernel/tables/field_types.h"
#include "sql/expressions/field_items.h"

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

int64_t Mod7(int64_t a) {
  return ((a % 7) + 7) % 7;
}

bool IsLeap(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int64_t DaysInMonth(int64_t year, int64_t month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool ValidDate(int64_t year, int64_t month, int64_t day) {
  return year > -4000000 && year < 4000000 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

// "h:m[:s]" with any one separator, after the last blank when there is one.
bool ParseTimeText(const std::string& text, FBL_Time& out) {
  const size_t blank = text.find_last_of(' ');
  const char* start = text.c_str() + (blank == std::string::npos ? 0 : blank + 1);
  unsigned h = 0, m = 0, s = 0;
  char sep1 = 0, sep2 = 0;
  const int n = std::sscanf(start, "%u%c%u%c%u", &h, &sep1, &m, &sep2, &s);
  if (n < 3 || m > 59 || s > 59 || h > 1000000) return false;
  out = FBL_Time{h, m, n == 5 ? s : 0};
  return true;
}

}  // namespace

// ---- day numbers -----------------------------------------------------------------

// Days from civil dates (the era algorithm): 1970-01-01 is day 0 there and
// day 719528 here.
int64_t zsql::DayNumber(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 719528;
}

FBL_Date zsql::DateOfDayNumber(int64_t dayNumber) {
  const int64_t z = dayNumber - 719528 + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  return FBL_Date{static_cast<int32_t>(year), static_cast<uint32_t>(month),
                  static_cast<uint32_t>(day)};
}

bool zsql::ParseDateArgument(const std::string& text, const FBL_DateSettings& settings,
                             FBL_Date& out) {
  const bool negative = !text.empty() && text[0] == '-';
  const char* start = text.c_str() + (negative ? 1 : 0);
  unsigned short a = 0, b = 0;
  long year = 0;
  char sep1 = 0, sep2 = 0;
  unsigned month = 0, day = 0;
  if (settings.mDateOrder == 2) {
    if (std::sscanf(start, "%ld%c%hu%c%hu", &year, &sep1, &a, &sep2, &b) != 5) return false;
    month = a;
    day = b;
  } else {
    if (std::sscanf(start, "%hu%c%hu%c%ld", &a, &sep1, &b, &sep2, &year) != 5) return false;
    month = settings.mDateOrder == 0 ? a : b;
    day = settings.mDateOrder == 0 ? b : a;
  }
  if (year < -4000000 || year > 4000000) return false;
  if (negative) year = -year;
  if (settings.mCenturyBound != 0 && year >= 0 && year <= 99) {
    year += year <= settings.mCenturyBound ? settings.mSecondCenturyBase
                                           : settings.mFirstCenturyBase;
  }
  if (!ValidDate(year, month, day)) return false;
  out = FBL_Date{static_cast<int32_t>(year), month, day};
  return true;
}

// ---- parts of dates and times ------------------------------------------------------

OBL_Item_Func_DatePart::OBL_Item_Func_DatePart(const FBL_DateSettings& settings,
                                               OBL_ItemList args)
    : OBL_Item_Func_DateTime(std::move(args)), mSettings(settings), mSource(Source::kNone) {
  auto* field = dynamic_cast<const OBL_Item_Field*>(&Arg(0));
  const uint8_t type = field != nullptr ? field->GetFieldType() : 0xFF;
  if (type == kTypeDate) {
    mSource = Source::kDate;
  } else if (type == kTypeDateTime) {
    mSource = Source::kDateTime;
  } else if (type == kTypeTime) {
    mSource = Source::kTime;
  } else if (Arg(0).GetResultType() == OBL_ResultType::kString) {
    mSource = Source::kText;
  }
}

int64_t OBL_Item_Func_DatePart::GetLongLong(REC_ID recID) {
  FBL_Date date{};
  FBL_Time time{};
  bool haveDate = false, haveTime = false;
  switch (mSource) {
    case Source::kNone:
      mNull = true;
      return 0;
    case Source::kDate:
    case Source::kTime:
    case Source::kDateTime: {
      const auto word = static_cast<uint64_t>(Arg(0).GetLongLong(recID));
      if (Arg(0).IsNull()) break;
      const uint32_t dateWord = mSource == Source::kDate       ? static_cast<uint32_t>(word)
                                : mSource == Source::kDateTime ? zv::DateWordOf(word)
                                                               : 0;
      const uint32_t timeWord = mSource == Source::kTime       ? static_cast<uint32_t>(word)
                                : mSource == Source::kDateTime ? zv::TimeWordOf(word)
                                                               : 0;
      date = zv::UnpackDate(dateWord);
      time = zv::UnpackTime(timeWord);
      haveDate = mSource != Source::kTime && ValidDate(date.year, date.month, date.day);
      haveTime = time.minute < 60 && time.second < 60;
      break;
    }
    case Source::kText: {
      std::string text;
      Arg(0).GetString(recID, text);
      if (Arg(0).IsNull()) break;
      haveDate = zsql::ParseDateArgument(text, mSettings, date);
      haveTime = ParseTimeText(text, time);
      if (!haveTime && haveDate) haveTime = true;  // a date alone is at midnight
      break;
    }
  }
  mNull = NeedsTime() ? !haveTime : !haveDate;
  return mNull ? 0 : DatePart(date, time);
}

int64_t OBL_Item_Func_Year::DatePart(const FBL_Date& date, const FBL_Time&) {
  return date.year;
}

int64_t OBL_Item_Func_Month::DatePart(const FBL_Date& date, const FBL_Time&) {
  return date.month;
}

int64_t OBL_Item_Func_DayOfMonth::DatePart(const FBL_Date& date, const FBL_Time&) {
  return date.day;
}

int64_t OBL_Item_Func_DayOfYear::DatePart(const FBL_Date& date, const FBL_Time&) {
  return zsql::DayNumber(date.year, date.month, date.day) - zsql::DayNumber(date.year, 1, 1) + 1;
}

int64_t OBL_Item_Func_Quarter::DatePart(const FBL_Date& date, const FBL_Time&) {
  return (date.month + 2) / 3;
}

int64_t OBL_Item_Func_To_Days::DatePart(const FBL_Date& date, const FBL_Time&) {
  return zsql::DayNumber(date.year, date.month, date.day);
}

int64_t OBL_Item_Func_WeekDay::DatePart(const FBL_Date& date, const FBL_Time&) {
  const int64_t monday0 = Mod7(zsql::DayNumber(date.year, date.month, date.day) + 5);
  return mFromSunday ? (monday0 + 1) % 7 + 1 : monday0;
}

int64_t OBL_Item_Func_Hour::DatePart(const FBL_Date&, const FBL_Time& time) {
  return time.hour;
}

int64_t OBL_Item_Func_Minute::DatePart(const FBL_Date&, const FBL_Time& time) {
  return time.minute;
}

int64_t OBL_Item_Func_Second::DatePart(const FBL_Date&, const FBL_Time& time) {
  return time.second;
}

int64_t OBL_Item_Func_Time_To_Sek::DatePart(const FBL_Date&, const FBL_Time& time) {
  return int64_t{time.hour} * 3600 + time.minute * 60 + time.second;
}

// ---- weeks -------------------------------------------------------------------------

namespace {

enum : unsigned { kMondayFirst = 1, kWeekYear = 2, kFirstWeekday = 4 };

// The day of the week of a day number, 0 = the week's first day.
int64_t WeekdayOf(int64_t dayNumber, bool sundayFirst) {
  return Mod7(dayNumber + 5 + (sundayFirst ? 1 : 0));
}

int64_t DaysInYear(int64_t year) {
  return IsLeap(year) ? 366 : 365;
}

int64_t Week(const FBL_Date& date, unsigned mode) {
  // The mode's bit 2 means "first week holds the first start day" only for
  // Monday weeks; for Sunday weeks its sense is reversed.
  unsigned behaviour = mode & 7;
  if (!(behaviour & kMondayFirst)) behaviour ^= kFirstWeekday;
  const bool mondayFirst = behaviour & kMondayFirst;
  bool weekYear = behaviour & kWeekYear;
  const bool firstWeekday = behaviour & kFirstWeekday;
  const int64_t dayNumber = zsql::DayNumber(date.year, date.month, date.day);
  int64_t first = zsql::DayNumber(date.year, 1, 1);
  int64_t weekday = WeekdayOf(first, !mondayFirst);
  int64_t year = date.year;
  auto partialFirst = [&] { return firstWeekday ? weekday != 0 : weekday >= 4; };
  if (date.month == 1 && date.day <= 7 - weekday) {
    if (!weekYear && partialFirst()) return 0;
    weekYear = true;
    --year;
    const int64_t days = DaysInYear(year);
    first -= days;
    weekday = Mod7(weekday + 53 * 7 - days);
  }
  const int64_t days = partialFirst() ? dayNumber - (first + (7 - weekday))
                                      : dayNumber - (first - weekday);
  if (weekYear && days >= 52 * 7) {
    weekday = Mod7(weekday + DaysInYear(year));
    if (firstWeekday ? weekday == 0 : weekday < 4) return 1;
  }
  return days / 7 + 1;
}

}  // namespace

int64_t OBL_Item_Func_Week::GetLongLong(REC_ID recID) {
  mMode = 0;
  if (GetArgCount() > 1 && !ArgInt(1, recID, mMode)) return 0;
  return OBL_Item_Func_DatePart::GetLongLong(recID);
}

int64_t OBL_Item_Func_Week::DatePart(const FBL_Date& date, const FBL_Time&) {
  return Week(date, static_cast<unsigned>(mMode));
}

// ---- periods -----------------------------------------------------------------------

namespace {

int64_t PeriodToMonth(int64_t period) {
  if (period == 0) return 0;
  int64_t year = period / 100;
  if (year < 70) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }
  return year * 12 + period % 100 - 1;
}

int64_t MonthToPeriod(int64_t month) {
  if (month == 0) return 0;
  int64_t year = month / 12;
  if (year < 100) year += year < 70 ? 2000 : 1900;
  return year * 100 + month % 12 + 1;
}

constexpr int64_t kMaxPeriod = int64_t{1} << 40;

}  // namespace

int64_t OBL_Item_Func_Period_Add::GetLongLong(REC_ID recID) {
  int64_t period = 0, months = 0;
  if (!ArgInt(0, recID, period) || !ArgInt(1, recID, months)) return 0;
  mNull = period < 0 || period > kMaxPeriod || months < -kMaxPeriod || months > kMaxPeriod;
  if (mNull || period == 0) return 0;
  const int64_t month = PeriodToMonth(period) + months;
  mNull = month < 0;
  return mNull ? 0 : MonthToPeriod(month);
}

int64_t OBL_Item_Func_Period_Diff::GetLongLong(REC_ID recID) {
  int64_t a = 0, b = 0;
  if (!ArgInt(0, recID, a) || !ArgInt(1, recID, b)) return 0;
  mNull = a < 0 || b < 0 || a > kMaxPeriod || b > kMaxPeriod;
  return mNull ? 0 : PeriodToMonth(a) - PeriodToMonth(b);
}

// ---- texts -------------------------------------------------------------------------

void OBL_Item_Func_From_Days::GetString(REC_ID recID, std::string& out) {
  int64_t day = 0;
  out.clear();
  if (!ArgInt(0, recID, day)) return;
  if (day < 366 || day > zsql::DayNumber(9999, 12, 31)) {
    mNull = true;
    return;
  }
  out = zv::FormatDate(zv::PackDate(zsql::DateOfDayNumber(day)), mSettings);
}

void OBL_Item_Func_Sec_To_Time::GetString(REC_ID recID, std::string& out) {
  int64_t seconds = 0;
  out.clear();
  if (!ArgInt(0, recID, seconds)) return;
  const bool negative = seconds < 0;
  const uint64_t s = negative ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
  char text[64];
  const char sep = mSettings.mTimeSeparator;
  std::snprintf(text, sizeof text, "%s%02llu%c%02llu%c%02llu", negative ? "-" : "",
                static_cast<unsigned long long>(s / 3600), sep,
                static_cast<unsigned long long>(s / 60 % 60), sep,
                static_cast<unsigned long long>(s % 60));
  out = text;
}
