#include "sql/statements/statement_targets.h"

#include "kernel/tables/base_field.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_reader.h"

namespace zv::sql {

OBL_BaseObject& FindTable(OBL_DataBase& db, const std::string& name) {
  OBL_BaseObject* table = name.empty() ? nullptr : db.FindBaseObject(name);
  if (table == nullptr || table->IsSystem()) StatementError(kErrTableNotFound);
  return *table;
}

OBL_BaseObject& ReadTable(SQL_StatementReader& reader, OBL_DataBase& db) {
  return FindTable(db, reader.ReadName(kMaxTableName));
}

FBL_BaseField& FindField(OBL_BaseObject& table, const std::string& name) {
  FBL_BaseField* field = name.empty() ? nullptr : table.GetField(name);
  if (field == nullptr) StatementError(kErrFieldNotFound);
  return *field;
}

FBL_BaseField& ReadField(SQL_StatementReader& reader, OBL_BaseObject& table) {
  return FindField(table, reader.ReadName(kMaxFieldName));
}

FBL_BaseField& ReadTableField(SQL_StatementReader& reader, OBL_DataBase& db,
                              OBL_BaseObject*& table) {
  table = &ReadTable(reader, db);
  if (!reader.TakeSymbol('.')) StatementError(kErrStmtExpectedPoint);
  return ReadField(reader, *table);
}

}  // namespace zv::sql
