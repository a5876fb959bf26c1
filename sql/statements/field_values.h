// How a statement's value reaches a field's buffer.
#pragma once

#include <string>
#include <string_view>

class FBL_BaseField;
struct SQL_Value;

namespace zv::sql {

// NULL empties the field (zv::SetEmptyValue). BLOB, Text and Picture take the value's bytes (and
// FixedBinary and VarBinary too when binaryBytes, or when the value is in
// the hexadecimal form); every other field takes the value as text,
// converted by the field.
void PutValue(FBL_BaseField& field, const SQL_Value& value, bool binaryBytes);

// Reads the dumps' hexadecimal form back: white space around digit pairs
// is skipped; each pair is followed by one separator. Characters other
// than 0-9 and A-F give bytes of no meaning, never a fault.
std::string DecodeHex(std::string_view text);

}  // namespace zv::sql
