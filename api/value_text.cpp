#include "api/value_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "api/zdk_field.h"
#include "kernel/tables/number_text.h"
#include "platform/errors.h"

namespace api {

namespace {

// printf's conversions: integers as "%li" and "%lu", Double as "%.16LG"
// (the number_text helpers give the same digits without printf's cost),
// Float as "%g".
template <typename Number>
std::string Format(const char* format, Number value) {
  char text[40];
  const int n = std::snprintf(text, sizeof text, format, value);
  return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

template <typename Kernel>
auto Get(FBL_BaseField& field) {
  return static_cast<Kernel&>(field).Get();
}

}  // namespace

std::string ValueToText(ZDK_Field& field, std::span<uint8_t> buffer) {
  const uint8_t type = field.GetType();
  if ((type == kTypeFixedBinary || type == kTypeVarBinary) && !buffer.empty())
    static_cast<ZDK_FixedBinary&>(field).CopyTo(buffer);
  return ValueToText(field.Kernel());
}

std::string ValueToText(FBL_BaseField& field) {
  switch (field.GetType()) {
    case kTypeBoolean:
      return Get<BF_BOOL>(field) ? "TRUE" : "FALSE";
    case kTypeByte:
      return zv::FormatSigned(Get<BF_BYTE>(field));
    case kTypeShort:
      return zv::FormatSigned(Get<BF_SHORT>(field));
    case kTypeUShort:
      return zv::FormatSigned(Get<BF_USHORT>(field));
    case kTypeLong:
      return zv::FormatSigned(Get<BF_LONG>(field));
    case kTypeMedium:
      return zv::FormatSigned(Get<BF_Medium>(field));
    case kTypeULong:
      return zv::FormatUnsigned(Get<BF_ULONG>(field));
    case kTypeUMedium:
      return zv::FormatUnsigned(Get<BF_UMedium>(field));
    case kTypeObjectPtr:
      return zv::FormatUnsigned(Get<F_ObjectPTR>(field));
    case kTypeRecID:  // a cursor's RecID column
      return field.GetString();
    case kTypeFloat:
      return Format("%g", static_cast<double>(Get<BF_FLOAT>(field)));
    case kTypeDouble:
      return zv::FormatDouble(Get<BF_DOUBLE>(field));
    case kTypeString:
    case kTypeVarChar:
    case kTypeDate:
    case kTypeTime:
    case kTypeDateTime:
    case kTypeText:
      return field.GetString();
    default:
      return {};
  }
}

bool TypeTakesText(uint8_t type) {
  switch (type) {
    case kTypeBoolean:
    case kTypeByte:
    case kTypeShort:
    case kTypeUShort:
    case kTypeLong:
    case kTypeULong:
    case kTypeMedium:
    case kTypeUMedium:
    case kTypeFloat:
    case kTypeDouble:
    case kTypeDate:
    case kTypeTime:
    case kTypeDateTime:
    case kTypeObjectPtr:
    case kTypeString:
    case kTypeVarChar:
    case kTypeText:
    case kTypeFixedBinary:
    case kTypeVarBinary:
      return true;
    default:
      return false;
  }
}

void TextToValue(ZDK_Field& field, const char* text, size_t length) {
  const uint8_t type = field.GetType();
  if (!TypeTakesText(type)) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  if (text == nullptr) text = "";
  switch (type) {
    case kTypeText:
      static_cast<ZDK_Text&>(field).WriteText(text, std::strlen(text));
      return;
    case kTypeFixedBinary:
    case kTypeVarBinary:
      // Never past the text's end, whatever length the caller claims.
      length = std::min<size_t>(static_cast<uint16_t>(length), std::strlen(text));
      if (length != 0) {
        static_cast<ZDK_FixedBinary&>(field).SetData(text, static_cast<uint16_t>(length));
      }
      return;
    default:
      field.SetString(text);
      return;
  }
}

}  // namespace api
