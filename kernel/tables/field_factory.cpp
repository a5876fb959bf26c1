#include "kernel/tables/field_factory.h"

#include <algorithm>
#include <type_traits>

#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/date_time_fields.h"
#include "kernel/tables/language.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "platform/errors.h"

namespace {

template <typename Field>
std::unique_ptr<FBL_BaseField> Make(const std::string& name, uint16_t flags) {
  return std::make_unique<Field>(name, flags);
}

// A string or binary field of the declared length (0: the type's default;
// lengths past 16 bits are cut to the largest) in the given language.
template <typename Field>
std::unique_ptr<FBL_BaseField> MakeSized(const std::string& name, uint16_t flags,
                                         uint32_t declaredLength, const std::string& language) {
  auto length = static_cast<uint16_t>(std::min<uint32_t>(declaredLength, UINT16_MAX));
  auto field = std::make_unique<Field>(name, flags, length);
  if constexpr (std::is_base_of_v<BF_STRING, Field>) {
    if (!language.empty()) field->SetLanguage(language, false);
  }
  return field;
}

std::unique_ptr<FBL_BaseField> MakeText(const std::string& name, uint16_t flags,
                                        const std::string& language) {
  auto field = std::make_unique<BF_TEXT>(name, flags);
  if (!language.empty()) field->SetLanguage(language, false);
  return field;
}

}  // namespace

std::unique_ptr<FBL_BaseField> zv::MakeField(uint8_t type, const std::string& name, uint16_t flags,
                                             uint32_t declaredLength, const std::string& language) {
  if (type == kTypeRecID) return std::make_unique<F_ID>(name);
  flags |= kFieldKeepsOldValue;
  switch (type) {
    case kTypeString:
      return MakeSized<BF_STRING>(name, flags, declaredLength, language);
    case kTypeVarChar:
      return MakeSized<BF_VarChar>(name, flags, declaredLength, language);
    case kTypeFixedBinary:
      return MakeSized<BF_FixedBinary>(name, flags, declaredLength, language);
    case kTypeVarBinary:
      return MakeSized<BF_VarBinary>(name, flags, declaredLength, language);
    case kTypeBoolean:
      return Make<BF_BOOL>(name, flags | kFieldIndexed);
    case kTypeByte:
      return Make<BF_BYTE>(name, flags);
    case kTypeShort:
      return Make<BF_SHORT>(name, flags);
    case kTypeUShort:
      return Make<BF_USHORT>(name, flags);
    case kTypeMedium:
      return Make<BF_Medium>(name, flags);
    case kTypeUMedium:
      return Make<BF_UMedium>(name, flags);
    case kTypeLong:
      return Make<BF_LONG>(name, flags);
    case kTypeULong:
      return Make<BF_ULONG>(name, flags);
    case kTypeLLong:
      return Make<BF_LLong>(name, flags);
    case kTypeULLong:
      return Make<BF_ULLong>(name, flags);
    case kTypeFloat:
      return Make<BF_FLOAT>(name, flags);
    case kTypeDouble:
      return Make<BF_DOUBLE>(name, flags);
    case kTypeDate:
      return Make<BF_DATE>(name, flags);
    case kTypeTime:
      return Make<BF_TIME>(name, flags);
    case kTypeDateTime:
      return Make<BF_DateTime>(name, flags);
    case kTypeTablePtr:
      return Make<BF_TablePTR>(name, flags | kFieldIndexed);
    case kTypeObjectPtr:
      return Make<F_ObjectPTR>(name, flags | kFieldIndexed);
    case kTypeBLOB:
      return Make<BF_BLOB>(name, flags);
    case kTypeText:
      return MakeText(name, flags, language);
    case kTypePicture:
      return Make<BF_Picture>(name, flags);
    default:
      return nullptr;
  }
}

std::unique_ptr<FBL_BaseField> zv::MakeSameType(const FBL_BaseField& field) {
  uint32_t length = 0;
  if (auto* sized = dynamic_cast<const FBL_LengthField*>(&field)) {
    length = sized->GetDeclaredLength();
  }
  std::string language;
  if (auto* text = dynamic_cast<const BF_STRING*>(&field)) language = text->GetLanguage().GetName();
  if (auto* text = dynamic_cast<const BF_TEXT*>(&field)) language = text->GetLanguage().GetName();
  auto made = MakeField(field.GetType(), field.GetName(), 0, length, language);
  if (!made) throw xFBL_FieldError("No reader for the field's type");
  return made;
}
