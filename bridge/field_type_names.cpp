#include "bridge/field_type_names.h"


#include "kernel/tables/field_types.h"
#include "platform/ascii_text.h"

namespace bridge {

namespace {

struct TypeName {
  const char* name;
  uint8_t code;
};

constexpr TypeName kTypeNames[] = {
    {"Boolean", kTypeBoolean},
    {"Byte", kTypeByte},
    {"Short", kTypeShort},
    {"UShort", kTypeUShort},
    {"Medium", kTypeMedium},
    {"UMedium", kTypeUMedium},
    {"Long", kTypeLong},
    {"ULong", kTypeULong},
    {"LLong", kTypeLLong},
    {"ULLong", kTypeULLong},
    {"Float", kTypeFloat},
    {"Double", kTypeDouble},
    {"ObjectPtr", kTypeObjectPtr},
    {"Date", kTypeDate},
    {"Time", kTypeTime},
    {"DateTime", kTypeDateTime},
    {"String", kTypeString},
    {"VarChar", kTypeVarChar},
    {"FixedBinary", kTypeFixedBinary},
    {"VarBinary", kTypeVarBinary},
    {"BLOB", kTypeBLOB},
    {"Text", kTypeText},
    {"Picture", kTypePicture},
};

struct FlagBit {
  int32_t script;
  uint16_t field;
};

constexpr FlagBit kFlagBits[] = {
    {1, kFieldIndexed}, {2, kFieldUnique},  {4, kFieldNullable},
    {8, kFieldByWords}, {16, kFieldMethod}, {32, kFieldCompressed},
};

}  // namespace

uint8_t TypeCodeOfName(const char* name) {
  if (name == nullptr) return 0;
  for (const TypeName& t : kTypeNames) {
    if (zv::EqualNoCaseAscii(t.name, name)) return t.code;
  }
  return 0;
}

const char* NameOfTypeCode(uint8_t code) {
  for (const TypeName& t : kTypeNames) {
    if (t.code == code) return t.name;
  }
  return "";
}

uint16_t FieldFlagsOfMask(int32_t mask) {
  uint16_t flags = 0;
  for (const FlagBit& bit : kFlagBits) {
    if (mask & bit.script) flags |= bit.field;
  }
  return flags;
}

}  // namespace bridge
