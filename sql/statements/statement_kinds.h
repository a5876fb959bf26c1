// The statements the executor dispatches to, each reading its text after
// the first word. The result is the count of records changed (UPDATE,
// DELETE) or 0.
#pragma once

#include <cstdint>

class OBL_DataBase;
class SQL_StatementReader;

namespace zv::sql {

uint32_t ExecuteInsert(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteUpdate(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteDelete(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteCreate(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteAlter(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteDrop(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteConvert(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteReindex(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteCompact(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteDefragment(OBL_DataBase& db, SQL_StatementReader& reader);
uint32_t ExecuteDiagnose(OBL_DataBase& db, SQL_StatementReader& reader);

}  // namespace zv::sql
