// A cursor's records as script text: values in column order (value_text.h),
// a field delimiter between two values and a record delimiter between two
// records, none after the last.
#pragma once

#include <cstdint>

class OBL_Cursor;

namespace api {
class ZDK_Cursor;
}

namespace bridge {

// The current record.
void AppendRecord(api::ZDK_Cursor& cursor, char fieldDelimiter);

// `count` records from record `first` on (-1: to the end; 0: none), the
// result growing in whole chunks. Nothing when `first` is no record.
void AppendRecords(api::ZDK_Cursor& cursor, int32_t first, int32_t count, char fieldDelimiter,
                   char recordDelimiter);
// The same of a cursor no script sees, read through its kernel columns.
void AppendRecords(OBL_Cursor& cursor, int32_t first, int32_t count, char fieldDelimiter,
                   char recordDelimiter);

}  // namespace bridge
