// How a statement's value reaches a field's buffer.
#pragma once

class FBL_BaseField;
struct SQL_Value;

namespace zv::sql {

// NULL empties the field (zv::SetEmptyValue). BLOB, Text and Picture take the value's bytes (and
// FixedBinary and VarBinary too when binaryBytes); every other field takes
// the value as text, converted by the field.
void PutValue(FBL_BaseField& field, const SQL_Value& value, bool binaryBytes);

}  // namespace zv::sql
