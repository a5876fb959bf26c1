#include "kernel/tables/binary_fields.h"

#include <algorithm>
#include <cstring>

#include "kernel/tables/language.h"
#include "platform/errors.h"

BF_FixedBinary::BF_FixedBinary(const std::string& name, uint16_t flags, uint16_t length)
    : BF_FixedBinary(kTypeFixedBinary, name, flags, length ? length : kDefaultLength, false) {}

BF_FixedBinary::BF_FixedBinary(uint8_t type, const std::string& name, uint16_t flags,
                               uint16_t length, bool varStorage)
    : FBL_LengthField(type, name, static_cast<uint16_t>(flags & ~kFieldByWords), length,
                      length + 2u, varStorage) {}

void BF_FixedBinary::AddFlags(uint16_t flags, bool persist) {
  FBL_LengthField::AddFlags(static_cast<uint16_t>(flags & ~kFieldByWords), persist);
}

std::string_view BF_FixedBinary::ContentOf(const uint8_t* buffer) const {
  uint16_t length;
  std::memcpy(&length, buffer, 2);
  return std::string_view(reinterpret_cast<const char*>(buffer + 2),
                          std::min(length, GetDeclaredLength()));
}

void BF_FixedBinary::PutContent(const char* bytes, size_t length) {
  auto n = static_cast<uint16_t>(std::min<size_t>(length, GetDeclaredLength()));
  uint8_t* buffer = Data();
  if (n > 0) std::memmove(buffer + 2, bytes, n);
  std::memcpy(buffer, &n, 2);
  std::memset(buffer + 2 + n, 0, GetBufferSize() + 1 - 2 - n);
}

int BF_FixedBinary::CompareContent(std::string_view left, std::string_view right) const {
  return zv::CompareAscii(left.data(), left.size(), right.data(), right.size());
}

void BF_FixedBinary::ParseText(const char* text) {
  PutContent(text, std::strlen(text));
}

void BF_FixedBinary::SetValue(const void* bytes) {
  std::string_view content = ContentOf(static_cast<const uint8_t*>(bytes));
  PutContent(content.data(), content.size());
  MarkChanged();
}

void BF_FixedBinary::SetData(const void* bytes, uint32_t length) {
  if (length > 0 && bytes == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
  PutContent(static_cast<const char*>(bytes), length);
  MarkChanged();
}

void BF_FixedBinary::AssignFrom(FBL_BaseField& other) {
  if (other.IsNull()) {  // calculates a calculated source
    ClearValue();
    SetNull(true);
    if (!IsNullable()) MarkChanged();
    return;
  }
  if (auto* bytes = dynamic_cast<FBL_LengthField*>(&other)) {
    std::string_view content = bytes->GetContent();
    PutContent(content.data(), content.size());
  } else {
    std::string content = other.GetString();
    PutContent(content.data(), content.size());
  }
  MarkChanged();
}

BF_VarBinary::BF_VarBinary(const std::string& name, uint16_t flags, uint16_t length)
    : BF_FixedBinary(kTypeVarBinary, name, flags, length ? length : kDefaultLength, true) {}
