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

}  // namespace


void PutValue(FBL_BaseField& field, const SQL_Value& value, bool binaryBytes) {
  if (value.mNull) return zv::SetEmptyValue(field);
  const uint8_t type = field.GetType();
  const auto length = static_cast<uint32_t>(value.mBytes.size());
  if (IsBlobFamily(type)) {
    static_cast<BF_BLOB&>(field).SetData(value.mBytes.data(), length);
  } else if (binaryBytes && IsBinary(type)) {
    static_cast<BF_FixedBinary&>(field).SetData(value.mBytes.data(), length);
  } else {
    // A text value ends at its zero: refuse rather than store a cut value.
    if (value.mBytes.find('\0') != std::string::npos)
      throw xFBL_Exception(ERR_WRONG_PARAMETER, "A zero byte cannot be stored in this field");
    field.SetString(value.mBytes.c_str());
  }
}

}  // namespace zv::sql
