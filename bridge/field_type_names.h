// The field type names of the command language, compared without case.
#pragma once

#include <cstdint>

namespace bridge {

// 0 for a name of no type (or none).
uint8_t TypeCodeOfName(const char* name);
// "" for a code without a name here.
const char* NameOfTypeCode(uint8_t code);
// Script flag bits (1 indexed, 2 unique, 4 nullable, 8 by words, 16
// method, 32 compressed) as field flags; higher bits are dropped.
uint16_t FieldFlagsOfMask(int32_t mask);

}  // namespace bridge
