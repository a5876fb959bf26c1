#pragma once

#include <cstdint>

namespace platform {

// Date orders: 0 month-day-year, 1 day-month-year, 2 year-month-day.
struct DateSettings {
  uint8_t order;
  char dateSeparator;
  char timeSeparator;
};

// What a new process starts with before any database sets its own.
DateSettings DefaultDateSettings();

}  // namespace platform
