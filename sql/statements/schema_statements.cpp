// CREATE TABLE, ALTER TABLE and DROP TABLE. Every definition is read
// before the schema changes, so a syntax error changes nothing.
#include <vector>

#include "objects/base_object.h"
#include "objects/object_database.h"
#include "sql/statements/field_definition.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_kinds.h"
#include "sql/statements/statement_reader.h"
#include "sql/statements/statement_targets.h"

namespace zv::sql {

namespace {

void ExpectTableKeyword(SQL_StatementReader& reader) {
  if (!reader.TakeKeyword("table")) StatementError(kErrStmtExpectedTable);
}

void AddDefinedField(OBL_BaseObject& table, SQL_FieldDefinition& def) {
  if (def.mSelfTarget) def.mSpec.mTarget = &table;
  table.MakeNewField(def.mSpec);
}

}  // namespace

uint32_t ExecuteCreate(OBL_DataBase& db, SQL_StatementReader& reader) {
  ExpectTableKeyword(reader);
  const std::string name = reader.ReadName(kMaxTableName);
  if (name.empty()) StatementError(kErrTableNotFound);
  std::vector<SQL_FieldDefinition> defs;
  reader.TakeSymbol(';');
  if (!reader.AtEnd()) {
    if (!reader.TakeSymbol('(')) StatementError(kErrExpectedOpen);
    do {
      defs.push_back(ReadFieldDefinition(reader, db, name));
    } while (reader.TakeSymbol(','));
    if (reader.AtEnd()) StatementError(kErrExpectedClose);
    if (!reader.TakeSymbol(')')) StatementError(kErrExpectedComma);
    reader.ExpectEnd();
  }
  // One commit: the table is whole or absent after an error or a crash.
  db.MakeNewBaseObject(name, [&](OBL_BaseObject& table) {
    for (SQL_FieldDefinition& def : defs) AddDefinedField(table, def);
  });
  return 0;
}

uint32_t ExecuteAlter(OBL_DataBase& db, SQL_StatementReader& reader) {
  ExpectTableKeyword(reader);
  OBL_BaseObject& table = ReadTable(reader, db);
  if (reader.TakeKeyword("drop")) {
    FBL_BaseField& field = ReadField(reader, table);
    reader.ExpectEnd();
    table.RemoveField(field);
  } else if (reader.TakeKeyword("add")) {
    SQL_FieldDefinition def = ReadFieldDefinition(reader, db);
    reader.ExpectEnd();
    AddDefinedField(table, def);
  } else {
    StatementError(kErrSyntax);
  }
  db.StoreSchema();
  return 0;
}

uint32_t ExecuteDrop(OBL_DataBase& db, SQL_StatementReader& reader) {
  ExpectTableKeyword(reader);
  OBL_BaseObject& table = ReadTable(reader, db);
  reader.ExpectEnd();
  db.RemoveBaseObject(table);
  db.StoreSchema();
  return 0;
}

}  // namespace zv::sql
