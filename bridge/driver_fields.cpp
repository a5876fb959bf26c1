// The driver's flat functions on a cursor's fields, and the data buffer of
// ZREVDB_GetData: short values in a static buffer, longer ones in a block
// kept until the next call.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bridge/driver_calls.h"
#include "kernel/tables/field_types.h"

using namespace bridge;

namespace {

constexpr size_t kStaticBytes = 256;

struct DataBuffer {
  char fixed[kStaticBytes];
  std::unique_ptr<char[]> block;
};

DataBuffer gData;

api::ZDK_Field& FieldOf(ZREVDB_Cursor* cursor, uint16_t number) {
  api::ZDK_Field* field = CursorOf(cursor).GetField(number);
  if (field == nullptr) throw xFBL_Exception(ERR_EXPECTED_FIELD_NOT_FOUND);
  return *field;
}

const char* ReadBlob(api::ZDK_BLOB& blob, uint32_t* inOutLength) {
  uint32_t n = blob.GetDataSize();
  if (*inOutLength != 0 && *inOutLength < n) n = *inOutLength;
  const std::vector<uint8_t> bytes = blob.ReadData(n, 0);
  n = static_cast<uint32_t>(bytes.size());
  gData.block = std::make_unique<char[]>(size_t{n} + 1);
  if (n != 0) std::memcpy(gData.block.get(), bytes.data(), n);
  gData.block[n] = '\0';
  *inOutLength = n;
  return gData.block.get();
}

const char* ReadText(api::ZDK_Field& field, uint32_t* inOutLength) {
  const uint64_t maxText = field.Kernel().GetMaxTextLength();
  if (maxText < kStaticBytes) {
    const std::string text = field.GetString(kStaticBytes - 1);
    const size_t n = std::min(text.size(), kStaticBytes - 1);
    std::memcpy(gData.fixed, text.data(), n);
    gData.fixed[n] = '\0';
    *inOutLength = static_cast<uint32_t>(n);
    return gData.fixed;
  }
  // The whole length: a long VarChar comes back whole.
  uint64_t bytes = maxText + 1;
  if (*inOutLength != 0 && *inOutLength < bytes) bytes = *inOutLength;
  const std::string text = field.GetString(static_cast<uint32_t>(bytes - 1));
  const size_t n = std::min<size_t>(text.size(), bytes - 1);
  gData.block = std::make_unique<char[]>(n + 1);
  std::memcpy(gData.block.get(), text.data(), n);
  gData.block[n] = '\0';
  *inOutLength = static_cast<uint32_t>(n);
  return gData.block.get();
}

}  // namespace

extern "C" {

ZORVANE_EXPORT uint16_t ZREVDB_GetFieldCount(ZREVDB_Cursor* cursor) {
  return DriverCall<uint16_t>(0, [&] {
    return static_cast<uint16_t>(std::min<uint32_t>(CursorOf(cursor).GetFieldCount(), UINT16_MAX));
  });
}

ZORVANE_EXPORT const char* ZREVDB_GetFieldName(ZREVDB_Cursor* cursor, uint16_t field) {
  return DriverCall<const char*>(nullptr, [&] { return FieldOf(cursor, field).GetName().c_str(); });
}

ZORVANE_EXPORT uint16_t ZREVDB_GetFieldType(ZREVDB_Cursor* cursor, uint16_t field) {
  return DriverCall<uint16_t>(0, [&] { return static_cast<uint16_t>(FieldOf(cursor, field).GetType()); });
}

ZORVANE_EXPORT uint32_t ZREVDB_GetFieldLength(ZREVDB_Cursor* cursor, uint16_t field) {
  return DriverCall<uint32_t>(0, [&]() -> uint32_t {
    api::ZDK_Field& found = FieldOf(cursor, field);
    switch (found.GetType()) {
      case kTypeString:
      case kTypeVarChar:
      case kTypeFixedBinary:
      case kTypeVarBinary:
        return found.Kernel().GetMaxTextLength();
      case kTypeDate:
      case kTypeTime:
      case kTypeDateTime:
        return 8;
      case kTypeText:
      case kTypePicture:
      case kTypeBLOB:
      case kTypeSound:
      case kTypeMovie:
        return 0;
      default:
        return 32;
    }
  });
}

ZORVANE_EXPORT bool ZREVDB_GetFieldFlag(ZREVDB_Cursor* cursor, uint16_t field, uint16_t mask) {
  return DriverCall<bool>(false, [&] { return FieldOf(cursor, field).GetFlags(mask); });
}

ZORVANE_EXPORT bool ZREVDB_FieldIsNull(ZREVDB_Cursor* cursor, uint16_t field) {
  return DriverCall<bool>(false, [&] { return FieldOf(cursor, field).IsNull(); });
}

ZORVANE_EXPORT const char* ZREVDB_GetData(ZREVDB_Cursor* cursor, uint16_t field,
                                          uint32_t* inOutLength, bool* outIsNull) {
  gData.block.reset();
  return DriverCall<const char*>(nullptr, [&]() -> const char* {
    api::ZDK_Field& found = FieldOf(cursor, field);
    uint32_t ignored = 0;
    uint32_t* length = inOutLength != nullptr ? inOutLength : &ignored;
    const bool null = found.IsNull();
    if (outIsNull != nullptr) *outIsNull = null;
    if (null) {
      *length = 0;
      return nullptr;
    }
    // BLOB, Text and Picture: the bytes as stored.
    if (auto* blob = dynamic_cast<api::ZDK_BLOB*>(&found)) return ReadBlob(*blob, length);
    return ReadText(found, length);
  });
}

}  // extern "C"
