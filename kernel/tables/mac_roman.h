// Texts of a database written on a machine of the other byte order are
// stored in the Mac OS Roman character set. Bytes below 128 are the same in
// both sets; the upper half is translated byte by byte, each table being the
// other's inverse.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

// To the stored set, in place.
void ToMacRoman(char* text, size_t length);
// From the stored set to the machine's, in place.
void FromMacRoman(char* text, size_t length);

uint8_t ToMacRomanByte(uint8_t byte);
uint8_t FromMacRomanByte(uint8_t byte);

}  // namespace zv
