#include "kernel/tables/field_factory.h"

#include "kernel/tables/blob_fields.h"
#include "kernel/tables/date_time_fields.h"
#include "kernel/tables/numeric_fields.h"

namespace {

template <typename Field>
std::unique_ptr<FBL_BaseField> Make(const std::string& name, uint16_t flags) {
  return std::make_unique<Field>(name, flags);
}

}  // namespace

std::unique_ptr<FBL_BaseField> MakeField(uint8_t type, const std::string& name, uint16_t flags,
                                         uint32_t /*declaredLength*/) {
  if (type == kTypeRecID) return std::make_unique<F_ID>(name);
  flags |= kFieldKeepsOldValue;
  switch (type) {
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
      return Make<BF_TEXT>(name, flags);
    case kTypePicture:
      return Make<BF_Picture>(name, flags);
    default:
      return nullptr;  // strings and binaries are made by their own layer
  }
}
