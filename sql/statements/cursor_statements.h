// The row work of the statements that walk a query, apart from reading
// the statement, so that it runs on any SQL_RowCursor.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sql/statements/statement_cursor.h"

class FBL_BaseField;
class OBL_BaseObject;

namespace zv::sql {

// UPDATE's rows: values[i] goes to column i + 1 of the first row; one row
// updates its record, more update every record. Returns the row count.
uint32_t UpdateRows(SQL_RowCursor& cursor, std::span<const SQL_Value> values);
// DELETE's rows (column 1 RecID): all records of table at once when the
// rows are all of them, else the rows' records as one planned deletion (a
// refusal by restrict raises and deletes nothing). Returns the records
// deleted.
uint32_t DeleteRows(SQL_RowCursor& cursor, OBL_BaseObject& table);
// INSERT ... SELECT's rows: for each row, column i goes to targets[i - 1]
// (as many as there are of both) and a record of table is added.
void InsertRows(SQL_RowCursor& source, OBL_BaseObject& table,
                const std::vector<FBL_BaseField*>& targets);

}  // namespace zv::sql
