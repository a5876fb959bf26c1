#include "kernel/tables/field_types.h"

#include <cstring>
#include <iterator>

namespace {

// Names by code; "" where a code has none.
constexpr const char* kNames[] = {
    "",           "Enum",        "Boolean", "Byte",        "Short",     "UShort",  "Long",
    "ULong",      "Float",       "Double",  "String",      "",          "Date",    "Time",
    "DateTime",   "ObjectPtr",   "",        "Text",        "Sound",     "Picture", "Movie",
    "BLOB",       "Medium",      "UMedium", "FixedBinary", "VarBinary", "VarChar", "Long Long",
    "ULong Long", "Long Double", "ID"};

// Short forms that name the same types when read back.
struct Alias {
  const char* name;
  uint8_t code;
};
constexpr Alias kAliases[] = {{"LDouble", kTypeLDouble}};

}  // namespace

const char* zv::TypeName(uint8_t code) {
  return code < std::size(kNames) ? kNames[code] : "";
}

std::optional<uint8_t> zv::TypeCodeOfName(const char* name) {
  if (name == nullptr || *name == '\0') return std::nullopt;
  for (uint8_t code = 0; code < std::size(kNames); ++code) {
    if (std::strcmp(kNames[code], name) == 0) return code;
  }
  for (const Alias& alias : kAliases) {
    if (std::strcmp(alias.name, name) == 0) return alias.code;
  }
  return std::nullopt;
}
