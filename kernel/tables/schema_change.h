// The kernel keeps no schema: the layer that stores one (the object
// layer's system tables) learns of each change through
// FBL_Table::OnSchemaChange, called after a change made with `persist` set.
#pragma once

#include <cstdint>

// What a change touched; the stored items to write follow from it.
enum class FBL_SchemaChange : uint8_t {
  kTableName,      // FBL_Table::SetName
  kFieldName,      // FBL_BaseField::SetName
  kFieldType,      // FBL_Table::ReplaceField by a field of another type
  kFieldLength,    // FBL_Table::ReplaceField by one of the same type
  kFieldLanguage,  // SetLanguage of String, VarChar and Text
  kFieldFlags,     // AddFlags, RemoveFlags, when a bit changed
  kFieldMethod,    // SetMethodText
  kFieldStorage,   // segment size and compression level of BLOB columns
  kFieldTarget,    // the target table of an object pointer
};
