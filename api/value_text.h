// Field values as script text and back, by type code.
//
//   Boolean                       "TRUE" / "FALSE"
//   Byte Short UShort Long Medium "%li" (Byte and UShort unsigned)
//   ULong UMedium ObjectPtr       "%lu"
//   RecID (a cursor's column)     its number
//   Float "%g", Double "%.16LG"
//   String VarChar                the text
//   Date Time DateTime            the kernel's text, by the database's order
//                                 and separators; empty for null
//   Text                          the whole text
//   FixedBinary VarBinary         no text: bytes copied to a caller's block
//   LLong ULLong BLOB Picture     nothing (and 310 when written)
//
// The typed getters read the value buffer, which holds 0 for a null
// number: a null Long reads "0".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class FBL_BaseField;

namespace api {

class ZDK_Field;

// The value's text. Binary values: copied into `buffer` when it is not
// empty, and the text is empty.
std::string ValueToText(ZDK_Field& field, std::span<uint8_t> buffer = {});
// The same text of a kernel field (a binary value has none).
std::string ValueToText(FBL_BaseField& field);

// Sets the value from text. Binary values take `length` bytes of the text
// (nothing when 0); Text takes the whole text; types without a text form
// raise 310 and stay unchanged.
void TextToValue(ZDK_Field& field, const char* text, size_t length = 0);

// Whether a type has a text form that TextToValue accepts.
bool TypeTakesText(uint8_t type);

}  // namespace api
