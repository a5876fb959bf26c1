// Makes the column object of a type code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class FBL_BaseField;

namespace zv {

// The field of a type with the given flags. Every value type adds the
// keeps-old-value flag; Booleans and object pointers add indexed; a RecID
// field takes no flags. declaredLength is for the string and binary types
// (0 = their default); language names the language of a String, VarChar
// or Text field (empty or unknown: "ASCII"). Null for a code without a
// class here.
std::unique_ptr<FBL_BaseField> MakeField(uint8_t type, const std::string& name, uint16_t flags,
                                         uint32_t declaredLength = 0,
                                         const std::string& language = {});
// A new field of field's type, declared length and language, attached to
// nothing.
std::unique_ptr<FBL_BaseField> MakeSameType(const FBL_BaseField& field);

}  // namespace zv
