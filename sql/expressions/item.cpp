#include "sql/expressions/item.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

// ---- the base: no value ---------------------------------------------------------

int32_t OBL_Item::GetInt(REC_ID /*recID*/) {
  mNull = true;
  return 0;
}

int64_t OBL_Item::GetLongLong(REC_ID /*recID*/) {
  mNull = true;
  return 0;
}

double OBL_Item::GetDouble(REC_ID /*recID*/) {
  mNull = true;
  return 0;
}

void OBL_Item::GetString(REC_ID /*recID*/, std::string& out) {
  out.clear();
  mNull = true;
}

std::string OBL_Item::GetStringObject(REC_ID recID, uint32_t maxLength) {
  if (mState == OBL_ItemState::kNotAnalysed) Analyse();
  std::string text;
  GetString(recID, text);
  if (text.size() > maxLength) text.resize(maxLength);
  return text;
}

uint32_t OBL_Item::GetLength(REC_ID recID) {
  if (mType != OBL_ResultType::kString) return mValue32;
  std::string text;
  GetString(recID, text);
  return static_cast<uint32_t>(text.size());
}

// ---- literals -------------------------------------------------------------------

int32_t OBL_Item_Double::GetInt(REC_ID recID) {
  return zsql::Narrow(GetLongLong(recID));
}

int64_t OBL_Item_Double::GetLongLong(REC_ID /*recID*/) {
  mNull = false;
  return zsql::DoubleToInt64(mDouble);
}

double OBL_Item_Double::GetDouble(REC_ID /*recID*/) {
  mNull = false;
  return mDouble;
}

void OBL_Item_Double::GetString(REC_ID /*recID*/, std::string& out) {
  mNull = false;
  out = zsql::DoubleToText(mDouble);
}

OBL_Item_Str::OBL_Item_Str(std::string value)
    : OBL_Item(OBL_ItemKind::kString, OBL_ResultType::kString), mText(std::move(value)) {
  mValue32 = static_cast<uint32_t>(mText.size());
}

int32_t OBL_Item_Str::GetInt(REC_ID recID) {
  return zsql::Narrow(GetLongLong(recID));
}

int64_t OBL_Item_Str::GetLongLong(REC_ID /*recID*/) {
  mNull = false;
  return zsql::TextToInt64(mText);
}

double OBL_Item_Str::GetDouble(REC_ID /*recID*/) {
  mNull = false;
  return zsql::TextToDouble(mText);
}

void OBL_Item_Str::GetString(REC_ID /*recID*/, std::string& out) {
  mNull = false;
  out = mText;
}

// ---- conversions ---------------------------------------------------------------

int64_t zsql::DoubleToInt64(double value) {
  if (std::isnan(value)) return 0;
  value = std::round(value);
  // 2^63 is the first double past the range.
  if (value >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (value < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

double zsql::TextToDouble(std::string_view text) {
  // strtod needs a terminated text; numbers are short.
  std::string copy(text.substr(0, 400));
  char* end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  return end == copy.c_str() ? 0 : value;
}

int64_t zsql::TextToInt64(std::string_view text) {
  std::string copy(text.substr(0, 400));
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(copy.c_str(), &end, 10);
  if (end == copy.c_str()) return 0;
  if (errno == ERANGE || *end == '.' || *end == 'e' || *end == 'E') {
    return DoubleToInt64(TextToDouble(copy));
  }
  return value;
}

std::string zsql::DoubleToText(double value) {
  char text[40];
  if (value == 0) value = 0;  // no "-0"
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}
