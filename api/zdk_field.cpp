#include "api/zdk_field.h"

#include <algorithm>
#include <cstring>

#include "api/handle_registry.h"
#include "api/zdk_base_object.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/date_time.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "platform/errors.h"

namespace api {

ZDK_Field::ZDK_Field(FBL_BaseField& field, ZDK_BaseObject* owner, int32_t handle)
    : mField(&field), mOwner(owner), mHandle(handle) {
  HandleRegistry& registry = HandleRegistry::Instance();
  if (mHandle == 0) {
    mHandle = registry.Register(HandleKind::Field, this);
  } else if (!registry.Rebind(mHandle, HandleKind::Field, this)) {
    throw xFBL_Exception(ERR_ASSERTION_FAIL);
  }
}

ZDK_Field::~ZDK_Field() {
  if (mHandle != 0) HandleRegistry::Instance().Unregister(mHandle);
}

void ZDK_Field::SetBlank() {
  mField->SetString("");
  mField->SetNull(true);
}

void ZDK_Field::SetFlags(uint16_t mask) {
  mField->AddFlags(mask, true);
}

void ZDK_Field::ClearFlags(uint16_t mask) {
  mField->RemoveFlags(mask, true);
}

void ZDK_Field::SetMethod(const std::string& text) {
  mField->SetMethodText(text, true);
}

OBL_BaseObject* ZDK_ObjectPtr::GetTarget() const {
  if (GetOwner() == nullptr) return nullptr;
  const OBL_PointerLink* link = GetOwner()->Table().GetDataBase().PointerLinkOf(*mField);
  return link == nullptr ? nullptr : link->GetTarget();
}

uint8_t ZDK_ObjectPtr::GetDeletionControl() const {
  if (GetOwner() == nullptr) return 0;
  const OBL_PointerLink* link = GetOwner()->Table().GetDataBase().PointerLinkOf(*mField);
  return link == nullptr ? 0 : static_cast<uint8_t>(link->GetDeletionControl());
}

uint32_t MakeDateWord(int32_t year, uint32_t month, uint32_t day) {
  return (static_cast<uint32_t>(year) << 9) | ((month << 5) & 0x1FF) | (day & 0x1F);
}

uint32_t MakeTimeWord(uint32_t hours, uint32_t minutes, uint32_t seconds) {
  return ((hours << 12) & 0xFFFFFFF) | ((minutes << 6) & 0xFFF) | (seconds & 0x3F);
}

namespace {

void SplitDate(uint32_t word, int32_t& year, uint32_t& month, uint32_t& day) {
  year = static_cast<int32_t>(word) >> 9;
  month = (word >> 5) & 0xF;
  day = word & 0x1F;
}

void SplitTime(uint32_t word, uint32_t& hours, uint32_t& minutes, uint32_t& seconds) {
  hours = word >> 12;
  minutes = (word >> 6) & 0x3F;
  seconds = word & 0x3F;
}

}  // namespace

void ZDK_Date::SetDate(int32_t year, uint32_t month, uint32_t day) {
  static_cast<BF_DATE&>(*mField).Set(static_cast<int32_t>(MakeDateWord(year, month, day)));
}

void ZDK_Date::GetDate(int32_t& year, uint32_t& month, uint32_t& day) {
  SplitDate(static_cast<uint32_t>(static_cast<BF_DATE&>(*mField).Get()), year, month, day);
}

void ZDK_Time::SetTime(uint32_t hours, uint32_t minutes, uint32_t seconds) {
  static_cast<BF_TIME&>(*mField).Set(MakeTimeWord(hours, minutes, seconds));
}

void ZDK_Time::GetTime(uint32_t& hours, uint32_t& minutes, uint32_t& seconds) {
  SplitTime(static_cast<BF_TIME&>(*mField).Get(), hours, minutes, seconds);
}

void ZDK_DateTime::SetDate(int32_t year, uint32_t month, uint32_t day) {
  const uint64_t now = static_cast<uint64_t>(Typed().Get());
  Typed().Set(
      static_cast<int64_t>(zv::PackDateTime(MakeDateWord(year, month, day), zv::TimeWordOf(now))));
}

void ZDK_DateTime::GetDate(int32_t& year, uint32_t& month, uint32_t& day) {
  SplitDate(zv::DateWordOf(static_cast<uint64_t>(Typed().Get())), year, month, day);
}

void ZDK_DateTime::SetTime(uint32_t hours, uint32_t minutes, uint32_t seconds) {
  const uint64_t now = static_cast<uint64_t>(Typed().Get());
  Typed().Set(static_cast<int64_t>(
      zv::PackDateTime(zv::DateWordOf(now), MakeTimeWord(hours, minutes, seconds))));
}

void ZDK_DateTime::GetTime(uint32_t& hours, uint32_t& minutes, uint32_t& seconds) {
  SplitTime(zv::TimeWordOf(static_cast<uint64_t>(Typed().Get())), hours, minutes, seconds);
}

uint32_t ZDK_FixedBinary::CopyTo(std::span<uint8_t> out) {
  const std::string_view data = Typed().GetContent();
  const size_t n = std::min(data.size(), out.size());
  if (n != 0) std::memcpy(out.data(), data.data(), n);
  return static_cast<uint32_t>(data.size());
}

void ZDK_BLOB::SetBlank() {
  Typed().SetData(nullptr, 0);
}

void ZDK_BLOB::WriteData(const uint8_t* bytes, uint32_t length, uint32_t position) {
  std::vector<uint8_t> data = Typed().GetData();
  const uint64_t end = uint64_t{position} + length;
  if (end > UINT32_MAX) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  if (data.size() < end) data.resize(end);
  if (length != 0) std::memcpy(data.data() + position, bytes, length);
  Typed().SetData(data.data(), static_cast<uint32_t>(data.size()));
}

std::vector<uint8_t> ZDK_BLOB::ReadData(uint32_t length, uint32_t position) {
  std::vector<uint8_t> data = Typed().GetData();
  if (position >= data.size()) return {};
  const size_t n = std::min<size_t>(length, data.size() - position);
  return std::vector<uint8_t>(data.begin() + position, data.begin() + position + n);
}

void ZDK_Text::WriteText(const char* text, size_t length) {
  if (length > UINT32_MAX) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  Typed().SetData(text, static_cast<uint32_t>(length));
}

int32_t ZDK_Picture::GetPicture() {
  const std::vector<uint8_t> bitmap = static_cast<BF_Picture&>(*mField).GetBitmap();
  if (bitmap.empty()) return 0;
  HandleRegistry& registry = HandleRegistry::Instance();
  const int32_t handle = registry.AllocateBlock(bitmap.size(), HandleKind::Bitmap);
  std::memcpy(registry.Block(handle).data(), bitmap.data(), bitmap.size());
  return handle;
}

void ZDK_Picture::SetPicture(std::span<const uint8_t> bitmap, uint16_t quality) {
  static_cast<BF_Picture&>(*mField).SetBitmap(bitmap.data(), bitmap.size(), quality);
}

namespace {

template <typename Wrapper>
std::unique_ptr<ZDK_Field> Make(FBL_BaseField& field, ZDK_BaseObject* owner, int32_t handle) {
  return std::make_unique<Wrapper>(field, owner, handle);
}

}  // namespace

std::unique_ptr<ZDK_Field> MakeFieldWrapper(FBL_BaseField& field, ZDK_BaseObject* owner,
                                            int32_t handle) {
  switch (field.GetType()) {
    case kTypeBoolean:
      return Make<ZDK_Boolean>(field, owner, handle);
    case kTypeByte:
      return Make<ZDK_Byte>(field, owner, handle);
    case kTypeShort:
      return Make<ZDK_Short>(field, owner, handle);
    case kTypeUShort:
      return Make<ZDK_UShort>(field, owner, handle);
    case kTypeMedium:
      return Make<ZDK_Medium>(field, owner, handle);
    case kTypeUMedium:
      return Make<ZDK_UMedium>(field, owner, handle);
    case kTypeLong:
      return Make<ZDK_Long>(field, owner, handle);
    case kTypeULong:
      return Make<ZDK_ULong>(field, owner, handle);
    case kTypeLLong:
      return Make<ZDK_LLong>(field, owner, handle);
    case kTypeULLong:
      return Make<ZDK_ULLong>(field, owner, handle);
    case kTypeFloat:
      return Make<ZDK_Float>(field, owner, handle);
    case kTypeDouble:
      return Make<ZDK_Double>(field, owner, handle);
    case kTypeObjectPtr:
      return Make<ZDK_ObjectPtr>(field, owner, handle);
    case kTypeDate:
      return Make<ZDK_Date>(field, owner, handle);
    case kTypeTime:
      return Make<ZDK_Time>(field, owner, handle);
    case kTypeDateTime:
      return Make<ZDK_DateTime>(field, owner, handle);
    case kTypeString:
      return Make<ZDK_String>(field, owner, handle);
    case kTypeVarChar:
      return Make<ZDK_VarChar>(field, owner, handle);
    case kTypeFixedBinary:
      return Make<ZDK_FixedBinary>(field, owner, handle);
    case kTypeVarBinary:
      return Make<ZDK_VarBinary>(field, owner, handle);
    case kTypeBLOB:
      return Make<ZDK_BLOB>(field, owner, handle);
    case kTypeText:
      return Make<ZDK_Text>(field, owner, handle);
    case kTypePicture:
      return Make<ZDK_Picture>(field, owner, handle);
    default:
      throw xFBL_Exception(ERR_ASSERTION_NULL);
  }
}

ZDK_Field* FindField(int32_t handle) {
  return static_cast<ZDK_Field*>(HandleRegistry::Instance().Find(handle, HandleKind::Field));
}

}  // namespace api
