#include "sql/expressions/field_items.h"

#include <utility>

#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/language.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

// Recursion of calculated fields through each other.
thread_local int gMethodDepth = 0;
constexpr int kMaxMethodDepth = 32;

}  // namespace

OBL_Item_Field::OBL_Item_Field(FBL_BaseField& field, OBL_ResultType type)
    : OBL_Item(OBL_ItemKind::kFunction, type), mOwn(field), mReader(zv::MakeSameType(field)) {
  if (!field.IsMethod()) mReader->InitFromField(field);
  mState = OBL_ItemState::kDependsOnRecord;
}

OBL_Item_Field::~OBL_Item_Field() = default;

FBL_BaseField& OBL_Item_Field::Load(REC_ID recID) {
  if (recID == 0) {
    mNull = mOwn.IsNull();
    return mOwn;
  }
  if (!mOwn.IsMethod()) {
    mReader->LoadRecord(recID);
    mNull = mReader->IsNull();
    return *mReader;
  }
  FBL_MethodFormula* formula = mOwn.GetFormula();
  mNull = true;
  if (formula != nullptr && gMethodDepth < kMaxMethodDepth) {
    ++gMethodDepth;
    try {
      mNull = formula->Evaluate(recID, *mReader);
    } catch (...) {
      --gMethodDepth;
      throw;
    }
    --gMethodDepth;
  }
  return *mReader;
}

int64_t OBL_Item_Field::GetLongLong(REC_ID recID) {
  FBL_BaseField& field = Load(recID);
  return mNull ? 0 : static_cast<int64_t>(field.GetAsBits());
}

double OBL_Item_Field::GetDouble(REC_ID recID) {
  FBL_BaseField& field = Load(recID);
  if (mNull) return 0;
  if (field.GetValueClass() == FBL_BaseField::ValueClass::kFloating) return field.GetAsDouble();
  const uint64_t bits = field.GetAsBits();
  return field.GetValueClass() == FBL_BaseField::ValueClass::kUnsigned
             ? static_cast<double>(bits)
             : static_cast<double>(static_cast<int64_t>(bits));
}

void OBL_Item_Field::GetString(REC_ID recID, std::string& out) {
  FBL_BaseField& field = Load(recID);
  if (mNull) return out.clear();
  out = field.GetString();
}

bool OBL_Item_Field::DependsOn(const FBL_BaseField& field) const {
  return &field == &mOwn ||
         (field.GetTable() == mOwn.GetTable() && field.GetFieldNumber() == mOwn.GetFieldNumber());
}

uint8_t OBL_Item_Field::GetFieldType() const {
  return mOwn.GetType();
}

const FBL_Language* OBL_Item_Field::GetLanguage() const {
  if (auto* text = dynamic_cast<const BF_STRING*>(&mOwn)) return &text->GetLanguage();
  if (auto* text = dynamic_cast<const BF_TEXT*>(&mOwn)) return &text->GetLanguage();
  return nullptr;
}

bool OBL_Item_Field::IsTextField() const {
  return dynamic_cast<const OBL_Item_TextField*>(this) != nullptr;
}

// ---- typed readers ------------------------------------------------------------------

template <typename T>
OBL_Item_TypeField<T>::OBL_Item_TypeField(FBL_BaseField& field)
    : OBL_Item_Field(field, std::is_floating_point_v<T> ? OBL_ResultType::kDouble
                                                        : OBL_ResultType::kInteger) {}

template <typename T>
int64_t OBL_Item_TypeField<T>::GetLongLong(REC_ID recID) {
  if constexpr (std::is_floating_point_v<T>) {
    return zsql::DoubleToInt64(GetDouble(recID));
  } else {
    FBL_BaseField& field = this->Load(recID);
    return this->mNull ? 0 : static_cast<int64_t>(static_cast<T>(field.GetAsBits()));
  }
}

template <typename T>
double OBL_Item_TypeField<T>::GetDouble(REC_ID recID) {
  FBL_BaseField& field = this->Load(recID);
  if (this->mNull) return 0;
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<double>(static_cast<T>(field.GetAsDouble()));
  } else {
    return static_cast<double>(static_cast<T>(field.GetAsBits()));
  }
}

template class OBL_Item_TypeField<unsigned char>;
template class OBL_Item_TypeField<short>;
template class OBL_Item_TypeField<unsigned short>;
template class OBL_Item_TypeField<int32_t>;
template class OBL_Item_TypeField<uint32_t>;
template class OBL_Item_TypeField<int64_t>;
template class OBL_Item_TypeField<uint64_t>;
template class OBL_Item_TypeField<float>;
template class OBL_Item_TypeField<double>;

// ---- texts ---------------------------------------------------------------------------

OBL_Item_StringField::OBL_Item_StringField(FBL_BaseField& field)
    : OBL_Item_Field(field, OBL_ResultType::kString) {}

void OBL_Item_StringField::GetString(REC_ID recID, std::string& out) {
  auto& field = static_cast<FBL_LengthField&>(Load(recID));
  if (mNull) return out.clear();
  const std::string_view content = field.GetContent();
  out.assign(content.data(), content.size());
}

uint32_t OBL_Item_StringField::GetLength(REC_ID recID) {
  auto& field = static_cast<FBL_LengthField&>(Load(recID));
  return mNull ? 0 : static_cast<uint32_t>(field.GetContent().size());
}

int64_t OBL_Item_StringField::GetLongLong(REC_ID recID) {
  auto& field = static_cast<FBL_LengthField&>(Load(recID));
  return mNull ? 0 : zsql::TextToInt64(field.GetContent());
}

double OBL_Item_StringField::GetDouble(REC_ID recID) {
  auto& field = static_cast<FBL_LengthField&>(Load(recID));
  return mNull ? 0 : zsql::TextToDouble(field.GetContent());
}

OBL_Item_TextField::OBL_Item_TextField(FBL_BaseField& field)
    : OBL_Item_Field(field, OBL_ResultType::kString) {}

int64_t OBL_Item_TextField::GetLongLong(REC_ID recID) {
  std::string text;
  GetString(recID, text);
  return mNull ? 0 : zsql::TextToInt64(text);
}

double OBL_Item_TextField::GetDouble(REC_ID recID) {
  std::string text;
  GetString(recID, text);
  return mNull ? 0 : zsql::TextToDouble(text);
}

// ---- the factory -----------------------------------------------------------------------

namespace {

template <typename T>
std::unique_ptr<OBL_Item_Field> Typed(FBL_BaseField& field) {
  if (field.IsMethod()) return std::make_unique<OBL_Item_TypeMethod<T>>(field);
  return std::make_unique<OBL_Item_TypeField<T>>(field);
}

}  // namespace

std::unique_ptr<OBL_Item_Field> zsql::MakeFieldItem(FBL_BaseField& field) {
  const bool method = field.IsMethod();
  switch (field.GetType()) {
    case kTypeBoolean:
    case kTypeByte:
      return Typed<unsigned char>(field);
    case kTypeShort:
      return Typed<short>(field);
    case kTypeUShort:
      return Typed<unsigned short>(field);
    case kTypeLong:
      return Typed<int32_t>(field);
    case kTypeULong:
    case kTypeDate:
    case kTypeTime:
    case kTypeObjectPtr:
    case kTypeRecID:
    case kTypeTablePtr:
      return Typed<uint32_t>(field);
    case kTypeLLong:
      return Typed<int64_t>(field);
    case kTypeULLong:
    case kTypeDateTime:
      return Typed<uint64_t>(field);
    case kTypeFloat:
      return Typed<float>(field);
    case kTypeDouble:
      return Typed<double>(field);
    case kTypeMedium:
      if (method) return std::make_unique<OBL_Item_MediumMethod>(field);
      return std::make_unique<OBL_Item_MediumField>(field);
    case kTypeUMedium:
      if (method) return std::make_unique<OBL_Item_UMediumMethod>(field);
      return std::make_unique<OBL_Item_UMediumField>(field);
    case kTypeString:
    case kTypeVarChar:
      if (method) return std::make_unique<OBL_Item_Method>(field);
      return std::make_unique<OBL_Item_StringField>(field);
    default:
      return std::make_unique<OBL_Item_TextField>(field);
  }
}
