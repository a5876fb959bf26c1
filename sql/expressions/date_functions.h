// The date and time functions.
//
// Arguments: a Date field gives its stored date, a DateTime field its date
// and time parts, a Time field its time (its date part is missing); a text
// is read with the database's date settings: "m/d/y" (order 0), "d/m/y"
// (order 1) or "y/m/d" (order 2), any one character between the parts, a
// leading "-" for a negative year, and a year of 0 to 99 widened by the
// century bound (at or below it the second century base is added, above it
// the first); a time text is "h:m[:s]", also after a date and a blank. Any
// other argument, or a date that does not exist, is NULL.
//
// Numbering follows the common SQL engines:
// - day numbers (TO_DAYS, FROM_DAYS) count days of the proleptic Gregorian
//   calendar with 0001-01-01 as day 366; FROM_DAYS answers days 366 to
//   3652424 (years 1 to 9999), NULL outside;
// - WEEKDAY is 0 for Monday to 6 for Sunday, DAYOFWEEK 1 for Sunday to 7
//   for Saturday;
// - WEEK(d, mode) takes the mode 0 to 7 (default 0, only its low 3 bits
//   count): bit 0 Monday starts the week (else Sunday), bit 1 weeks count
//   1 to 53 (else 0 to 53, week 0 being the days before the first week),
//   bit 2 the first week is the one with the first start day (else the
//   first with 4 or more days of the year);
// - PERIOD_ADD and PERIOD_DIFF take periods YYMM or YYYYMM (YY below 70 is
//   20YY, else 19YY) and give YYYYMM or months; a negative period is NULL.
// Texts: FROM_DAYS writes the date in the database's order and separator
// (so TO_DAYS reads it back), SEC_TO_TIME "hh:mm:ss" with the database's
// time separator, a "-" before a negative time and hours past 24 kept.
#pragma once

#include "kernel/storage/date_settings.h"
#include "kernel/tables/date_time.h"
#include "sql/expressions/func_item.h"

// A function that reads a date or a time from its first argument.
class OBL_Item_Func_DatePart : public OBL_Item_Func_DateTime {
 public:
  // settings: the database's (not owned; it outlives the item).
  OBL_Item_Func_DatePart(const FBL_DateSettings& settings, OBL_ItemList args);
  int64_t GetLongLong(REC_ID recID) override;

 protected:
  enum class Source : uint8_t { kNone, kDate, kDateTime, kTime, kText };
  // The part of a valid date or time.
  virtual int64_t DatePart(const FBL_Date& date, const FBL_Time& time) = 0;
  // Whether the function reads the time (else the date).
  virtual bool NeedsTime() const { return false; }

  const FBL_DateSettings& mSettings;
  Source mSource;
};

#define ZSQL_DATE_PART(Name, Time)                                         \
  class OBL_Item_Func_##Name : public OBL_Item_Func_DatePart {             \
   public:                                                                 \
    using OBL_Item_Func_DatePart::OBL_Item_Func_DatePart;                  \
                                                                           \
   protected:                                                              \
    int64_t DatePart(const FBL_Date& date, const FBL_Time& time) override; \
    bool NeedsTime() const override { return Time; }                       \
  }
ZSQL_DATE_PART(Year, false);
ZSQL_DATE_PART(Month, false);
ZSQL_DATE_PART(DayOfMonth, false);
ZSQL_DATE_PART(DayOfYear, false);
ZSQL_DATE_PART(Quarter, false);
ZSQL_DATE_PART(To_Days, false);
ZSQL_DATE_PART(Hour, true);
ZSQL_DATE_PART(Minute, true);
ZSQL_DATE_PART(Second, true);
ZSQL_DATE_PART(Time_To_Sek, true);
#undef ZSQL_DATE_PART

class OBL_Item_Func_Week : public OBL_Item_Func_DatePart {
 public:
  using OBL_Item_Func_DatePart::OBL_Item_Func_DatePart;
  int64_t GetLongLong(REC_ID recID) override;

 protected:
  int64_t DatePart(const FBL_Date& date, const FBL_Time& time) override;

 private:
  int64_t mMode = 0;
};

// WEEKDAY, and DAYOFWEEK with its numbering from Sunday = 1.
class OBL_Item_Func_WeekDay : public OBL_Item_Func_DatePart {
 public:
  OBL_Item_Func_WeekDay(bool fromSunday, const FBL_DateSettings& settings, OBL_ItemList args)
      : OBL_Item_Func_DatePart(settings, std::move(args)), mFromSunday(fromSunday) {}

 protected:
  int64_t DatePart(const FBL_Date& date, const FBL_Time& time) override;

 private:
  bool mFromSunday;
};

class OBL_Item_Func_Period_Add : public OBL_Item_Func_DateTime {
 public:
  using OBL_Item_Func_DateTime::OBL_Item_Func_DateTime;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Period_Diff : public OBL_Item_Func_DateTime {
 public:
  using OBL_Item_Func_DateTime::OBL_Item_Func_DateTime;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_From_Days : public OBL_Item_Func_String {
 public:
  OBL_Item_Func_From_Days(const FBL_DateSettings& settings, OBL_ItemList args)
      : OBL_Item_Func_String(std::move(args)), mSettings(settings) {}
  void GetString(REC_ID recID, std::string& out) override;

 private:
  const FBL_DateSettings& mSettings;
};

class OBL_Item_Func_Sec_To_Time : public OBL_Item_Func_String {
 public:
  OBL_Item_Func_Sec_To_Time(const FBL_DateSettings& settings, OBL_ItemList args)
      : OBL_Item_Func_String(std::move(args)), mSettings(settings) {}
  void GetString(REC_ID recID, std::string& out) override;

 private:
  const FBL_DateSettings& mSettings;
};

namespace zsql {

// A date text by the settings (see the top of the file); false when it is
// not one.
bool ParseDateArgument(const std::string& text, const FBL_DateSettings& settings, FBL_Date& out);
// Day numbers of the proleptic Gregorian calendar, 0001-01-01 = 366.
int64_t DayNumber(int64_t year, int64_t month, int64_t day);
FBL_Date DateOfDayNumber(int64_t dayNumber);

}  // namespace zsql
