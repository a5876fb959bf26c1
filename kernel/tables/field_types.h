// Field type codes and flag bits. The kinds of the embedded files a table
// and its columns keep are listed with the volume format
// (kernel/storage/volume_format.h).
#pragma once

#include <cstdint>
#include <optional>

// One byte per column type; saved with the structure.
enum : uint8_t {
  kTypeTablePtr = 0,
  kTypeEnum = 1,
  kTypeBoolean = 2,
  kTypeByte = 3,
  kTypeShort = 4,
  kTypeUShort = 5,
  kTypeLong = 6,
  kTypeULong = 7,
  kTypeFloat = 8,
  kTypeDouble = 9,
  kTypeString = 10,
  kTypeDate = 12,
  kTypeTime = 13,
  kTypeDateTime = 14,
  kTypeObjectPtr = 15,
  kTypeText = 17,
  kTypeSound = 18,
  kTypePicture = 19,
  kTypeMovie = 20,
  kTypeBLOB = 21,
  kTypeMedium = 22,
  kTypeUMedium = 23,
  kTypeFixedBinary = 24,
  kTypeVarBinary = 25,
  kTypeVarChar = 26,
  kTypeLLong = 27,
  kTypeULLong = 28,
  kTypeLDouble = 29,
  kTypeRecID = 30,
};

// Column flags (16 bits, saved with the structure).
enum : uint16_t {
  kFieldIndexed = 0x0001,
  kFieldUnique = 0x0002,
  kFieldNullable = 0x0010,
  kFieldByWords = 0x0020,
  kFieldCompressed = 0x0040,
  kFieldKeepsOldValue = 0x0100,
  kFieldMethod = 0x0400,
};

// Longest index key: a length byte and 255 bytes of text.
inline constexpr uint32_t kMaxIndexKeySize = 256;

namespace zv {

// The name of a type ("Long", "DateTime", ...); "" for codes without one.
const char* TypeName(uint8_t code);
// The code a type name stands for (exact, case-sensitive); nothing for a
// name of no type (kept apart from the code 0 of "TablePtr" fields).
std::optional<uint8_t> TypeCodeOfName(const char* name);

}  // namespace zv
