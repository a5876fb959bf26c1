// FBL_DateSettings: how one database writes dates and times as text and
// reads them back. Each database holds its own (FBL_DataBase); a date or
// time field converts with its database's settings, and a field attached to
// no table with the defaults. The object layer keeps order and separators
// in the schema ("DateFormat", "DateSep", "TimeSep").
#pragma once

#include <cstdint>

#include "platform/date_settings.h"

struct FBL_DateSettings {
  uint8_t mDateOrder;  // 0 month-day-year, 1 day-month-year, 2 year-month-day
  char mDateSeparator;
  char mTimeSeparator;
  int32_t mFirstCenturyBase;
  int32_t mSecondCenturyBase;
  uint16_t mCenturyBound;

  // The platform's date order and separators, century bases 1900 and 2000,
  // bound 20.
  static FBL_DateSettings Defaults() {
    const platform::DateSettings d = platform::DefaultDateSettings();
    return FBL_DateSettings{d.order, d.dateSeparator, d.timeSeparator, 1900, 2000, 20};
  }
};
