#include "kernel/tables/date_time_fields.h"

#include <algorithm>

#include "kernel/storage/database.h"
#include "kernel/tables/date_time.h"
#include "kernel/tables/table.h"

namespace {

// Text of a field follows its database's settings; a field attached to no
// table uses the defaults.
const FBL_DateSettings& SettingsOf(const FBL_BaseField& field) {
  static const FBL_DateSettings kDefaults = FBL_DateSettings::Defaults();
  const FBL_Table* table = field.GetTable();
  return table != nullptr ? table->GetDataBase().GetDateSettings() : kDefaults;
}

// The packed DateTime of a non-null DateTime field.
uint64_t DateTimeOf(FBL_BaseField& field) {
  uint64_t v = 0;
  field.GetValue(&v);
  return v;
}

}  // namespace

void BF_DATE::AssignFrom(FBL_BaseField& other) {
  if (other.GetType() != kTypeDateTime || other.IsNull()) return FBL_BaseField::AssignFrom(other);
  Set(static_cast<int32_t>(zv::DateWordOf(DateTimeOf(other))));
}

void BF_DATE::ParseText(const char* text) {
  Store(static_cast<int32_t>(zv::ParseDate(text, SettingsOf(*this))));
}

std::string BF_DATE::FormText() const {
  return zv::FormatDate(static_cast<uint32_t>(Value()), SettingsOf(*this));
}

void BF_TIME::AssignFrom(FBL_BaseField& other) {
  if (other.GetType() != kTypeDateTime || other.IsNull()) return FBL_BaseField::AssignFrom(other);
  Set(zv::TimeWordOf(DateTimeOf(other)));
}

void BF_TIME::ParseText(const char* text) {
  Store(zv::ParseTime(text, SettingsOf(*this)));
}

std::string BF_TIME::FormText() const {
  return zv::FormatTime(Value(), SettingsOf(*this));
}

void BF_DateTime::AssignFrom(FBL_BaseField& other) {
  uint8_t type = other.GetType();
  if ((type != kTypeDate && type != kTypeTime) || other.IsNull()) {
    return FBL_BaseField::AssignFrom(other);
  }
  uint32_t word = 0;
  other.GetValue(&word);
  uint64_t v = type == kTypeDate ? zv::PackDateTime(word, 0) : zv::PackDateTime(0, word);
  Set(static_cast<int64_t>(v));
}

void BF_DateTime::SwapBytes(uint8_t* value) const {
  std::reverse(value, value + 4);
  std::reverse(value + 4, value + 8);
}

void BF_DateTime::EncodeValue(uint8_t* out) const {
  uint64_t v = static_cast<uint64_t>(Value());
  uint32_t time = zv::TimeWordOf(v);
  uint32_t date = zv::DateWordOf(v);
  std::memcpy(out, &time, 4);
  std::memcpy(out + 4, &date, 4);
}

void BF_DateTime::DecodeValue(const uint8_t* in) {
  KeyToBuffer(in, Buffer());
}

void BF_DateTime::KeyToBuffer(const uint8_t* key, uint8_t* buffer) const {
  uint32_t time, date;
  std::memcpy(&time, key, 4);
  std::memcpy(&date, key + 4, 4);
  int64_t v = static_cast<int64_t>(zv::PackDateTime(date, time));
  std::memcpy(buffer, &v, sizeof v);
}

void BF_DateTime::ParseText(const char* text) {
  Store(static_cast<int64_t>(zv::ParseDateTime(text, SettingsOf(*this))));
}

std::string BF_DateTime::FormText() const {
  return zv::FormatDateTime(static_cast<uint64_t>(Value()), SettingsOf(*this));
}
