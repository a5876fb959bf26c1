// Field definitions of CREATE TABLE and ALTER TABLE ... ADD:
//
//   name type [ "(" first [ "," language ] ")" ] { option }
//   option := METHOD "(" expression ")" | NULL | NOT NULL | UNIQUE | INDEXED
//           | WORDS | COMPRESSED
//           | REFERENCES table [ ON DELETE ( CASCADE | RESTRICT | SET NULL ) ]
//
// first is the length of sized types (the segment size of BLOB, Text and
// Picture) or, for ObjectPtr, the target table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "objects/base_object.h"

class OBL_DataBase;
class SQL_StatementReader;

struct SQL_FieldDefinition {
  // mTarget stays null while the target is the table being created
  // (mSelfTarget).
  OBL_FieldSpec mSpec;
  bool mSelfTarget = false;
};

namespace zv::sql {

// The type code of a definition's type name, ignoring case.
std::optional<uint8_t> DefinitionTypeCode(std::string_view name);

// Reads one definition; nothing changes in the database. newTable: the
// name of a table being created, which an ObjectPtr may target.
SQL_FieldDefinition ReadFieldDefinition(SQL_StatementReader& reader, OBL_DataBase& db,
                                        const std::string& newTable = {});

}  // namespace zv::sql
