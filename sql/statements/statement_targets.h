// The tables and fields a statement names, looked up ignoring case.
#pragma once

#include <string>

class FBL_BaseField;
class OBL_BaseObject;
class OBL_DataBase;
class SQL_StatementReader;

namespace zv::sql {

// A user table by name: 602 when the name is empty or names no table (the
// schema tables are not reachable through statements).
OBL_BaseObject& FindTable(OBL_DataBase& db, const std::string& name);
OBL_BaseObject& ReadTable(SQL_StatementReader& reader, OBL_DataBase& db);
// A field of table: 603 when missing or unknown.
FBL_BaseField& FindField(OBL_BaseObject& table, const std::string& name);
FBL_BaseField& ReadField(SQL_StatementReader& reader, OBL_BaseObject& table);
// table "." field (602, 626, 603); the table is returned through table.
FBL_BaseField& ReadTableField(SQL_StatementReader& reader, OBL_DataBase& db,
                              OBL_BaseObject*& table);

}  // namespace zv::sql
