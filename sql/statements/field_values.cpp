#include "sql/statements/field_values.h"

#include <cstdint>

#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/text_importer.h"
#include "platform/errors.h"
#include "sql/statements/statement_reader.h"

namespace zv::sql {

namespace {

bool IsBlobFamily(uint8_t type) {
  return type == kTypeBLOB || type == kTypeText || type == kTypePicture;
}

bool IsBinary(uint8_t type) {
  return type == kTypeFixedBinary || type == kTypeVarBinary;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

uint8_t Digit(char c) {
  const auto u = static_cast<uint8_t>(c);
  return static_cast<uint8_t>(u < ':' ? u - '0' : u - 55);
}

}  // namespace


std::string DecodeHex(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 3 + 1);
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  while (i + 1 < text.size()) {
    out += static_cast<char>((Digit(text[i]) << 4) | (Digit(text[i + 1]) & 15));
    i += 3;
    while (i < text.size() && IsSpace(text[i])) ++i;
  }
  return out;
}

void PutValue(FBL_BaseField& field, const SQL_Value& value, bool binaryBytes) {
  if (value.mNull) return zv::SetEmptyValue(field);
  const uint8_t type = field.GetType();
  const bool bytesField = IsBlobFamily(type) || IsBinary(type);
  const std::string decoded = value.mHex && bytesField ? DecodeHex(value.mBytes) : std::string();
  const std::string& bytes = value.mHex && bytesField ? decoded : value.mBytes;
  const auto length = static_cast<uint32_t>(bytes.size());
  if (IsBlobFamily(type)) {
    static_cast<BF_BLOB&>(field).SetData(bytes.data(), length);
  } else if ((binaryBytes || value.mHex) && IsBinary(type)) {
    static_cast<BF_FixedBinary&>(field).SetData(bytes.data(), length);
  } else {
    // A text value ends at its zero: refuse rather than store a cut value.
    if (bytes.find('\0') != std::string::npos)
      throw xFBL_Exception(ERR_WRONG_PARAMETER, "A zero byte cannot be stored in this field");
    field.SetString(bytes.c_str());
  }
}

}  // namespace zv::sql
