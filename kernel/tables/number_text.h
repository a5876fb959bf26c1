// Text forms of the numeric field values. Parsing never fails: text that
// does not start with a number gives 0.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

// Decimal with optional leading blanks and sign, up to the first non-digit,
// modulo 2^32; the narrower integer types truncate this further.
int32_t ParseInt32(const char* text);
// The same digits read as unsigned ("-1" gives 4294967295).
uint32_t ParseUInt32(const char* text);
int64_t ParseInt64(const char* text);
uint64_t ParseUInt64(const char* text);
double ParseDouble(const char* text);
// "1..." or any text beginning with "TRUE" in any case.
bool ParseBoolean(const char* text);

std::string FormatSigned(int64_t value);
std::string FormatUnsigned(uint64_t value);
// Single precision as "%G", double as "%.16G".
std::string FormatFloat(float value);
std::string FormatDouble(double value);

}  // namespace zv
