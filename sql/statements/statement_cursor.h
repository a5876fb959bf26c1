// The seam between the statements that walk a query (UPDATE, DELETE with
// WHERE, INSERT ... SELECT) and the cursors that answer it.
//
// A statement builds a SELECT text whose WHERE part is the statement's own
// text as written and hands it over with the statement's parameters: a :N
// in the WHERE text is bound as a value by the cursor, never pasted into
// the text. The statements then work on the rows through SQL_RowCursor.
// The opener is OpenQueryCursor (an OBL_Cursor) unless a test installs its
// own with SetStatementCursorOpener.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "sql/statements/statement_reader.h"

class FBL_BaseField;
class FBL_BitSet;
class OBL_BaseObject;
class OBL_DataBase;

// What a statement asks a cursor to run.
struct SQL_CursorRequest {
  std::string mSelect;
  std::span<const SQL_Param> mParams;
  // Location 2 (server side), lock mode 2 read-only or 3 updatable,
  // direction 1 forward-only.
  uint8_t mLocation = 2;
  uint8_t mLockMode = 3;
  uint8_t mDirection = 1;
};

// What the statements need of a cursor.
class SQL_RowCursor {
 public:
  virtual ~SQL_RowCursor() = default;
  virtual uint32_t GetRecordCount() = 0;
  virtual bool FirstRecord() = 0;
  virtual bool NextRecord() = 0;
  // The current row's buffer field of column (1-based, in select-list
  // order); null out of range. Values set there are what UpdateRecord and
  // UpdateAllRecords write.
  virtual FBL_BaseField* GetColumn(uint32_t column) = 0;
  virtual uint32_t GetColumnCount() = 0;
  // Writes the row buffer to the current row's record.
  virtual void UpdateRecord() = 0;
  // Writes the row buffer's values to the record of every row.
  virtual void UpdateAllRecords() = 0;
  // The records of table (the query's one FROM table) its rows hold; by
  // default read from column 1, a RecID, row by row.
  virtual std::unique_ptr<FBL_BitSet> GetRecords(OBL_BaseObject& table);
};

// Runs request; a SELECT the parser refuses raises its code (600 to 632).
// REQUIRES: the parameters of request outlive the cursor.
using SQL_CursorOpener = std::unique_ptr<SQL_RowCursor> (*)(OBL_DataBase& db,
                                                            const SQL_CursorRequest& request);

namespace zv::sql {

// Null restores OpenQueryCursor.
void SetStatementCursorOpener(SQL_CursorOpener opener);
// Runs request as an OBL_Cursor; a failure the cursor reports (parse
// errors, 605, 363, 344) is raised with its code.
std::unique_ptr<SQL_RowCursor> OpenQueryCursor(OBL_DataBase& db, const SQL_CursorRequest& request);
std::unique_ptr<SQL_RowCursor> OpenStatementCursor(OBL_DataBase& db,
                                                   const SQL_CursorRequest& request);

}  // namespace zv::sql
