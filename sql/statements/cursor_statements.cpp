// UPDATE and DELETE, and the cursor seam they walk. DELETE without WHERE
// needs no query: it deletes every record of the table at once.
#include <string>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/task.h"
#include "kernel/tables/base_field.h"
#include "objects/base_object.h"
#include "objects/delete_records.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/statements/cursor_statements.h"
#include "sql/statements/field_values.h"
#include "sql/statements/statement_cursor.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_kinds.h"
#include "sql/statements/statement_reader.h"
#include "sql/statements/statement_targets.h"

std::unique_ptr<FBL_BitSet> SQL_RowCursor::GetRecords(OBL_BaseObject& table) {
  auto records = table.GetStore().MakeEmptySet();
  for (bool on = FirstRecord(); on; on = NextRecord()) {
    const uint64_t rec = GetColumn(1)->GetAsBits();
    if (rec != 0 && rec <= records->GetSize()) records->Include(static_cast<REC_ID>(rec));
  }
  return records;
}

namespace zv::sql {

namespace {

SQL_CursorOpener gOpener = nullptr;

// "SELECT list FROM [table]", with " WHERE where" when there is one.
std::string BuildSelect(const std::string& list, const std::string& table, std::string_view where) {
  std::string text = "SELECT " + list + " FROM [" + table + "]";
  if (!where.empty()) text.append(" WHERE ").append(where);
  return text;
}

// The WHERE text as written, or empty when the statement ends instead.
std::string_view ReadWhere(SQL_StatementReader& reader) {
  if (!reader.TakeKeyword("where")) {
    reader.ExpectEnd();
    return {};
  }
  const std::string_view where = reader.Rest();
  if (where.empty()) StatementError(kErrExpectedExpression);
  return where;
}

}  // namespace

void SetStatementCursorOpener(SQL_CursorOpener opener) {
  gOpener = opener;
}

std::unique_ptr<SQL_RowCursor> OpenStatementCursor(OBL_DataBase& db,
                                                   const SQL_CursorRequest& request) {
  std::unique_ptr<SQL_RowCursor> cursor =
      gOpener != nullptr ? gOpener(db, request) : OpenQueryCursor(db, request);
  if (!cursor) throw xFBL_Exception(ERR_ASSERTION_NULL);
  return cursor;
}

uint32_t UpdateRows(SQL_RowCursor& cursor, std::span<const SQL_Value> values) {
  const uint32_t count = cursor.GetRecordCount();
  if (count == 0 || !cursor.FirstRecord()) return 0;
  for (size_t i = 0; i < values.size(); ++i) {
    FBL_BaseField* column = cursor.GetColumn(static_cast<uint32_t>(i + 1));
    if (column == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
    PutValue(*column, values[i], true);
  }
  if (count == 1) {
    cursor.UpdateRecord();
  } else {
    cursor.UpdateAllRecords();
  }
  return count;
}

uint32_t DeleteRows(SQL_RowCursor& cursor, OBL_BaseObject& table) {
  const uint32_t count = cursor.GetRecordCount();
  if (count == 0) return 0;
  OBL_ObjectTable& store = table.GetStore();
  if (count == store.GetRecordCount()) {
    store.DeleteAllRecords();
    return count;
  }
  const std::unique_ptr<FBL_BitSet> records = cursor.GetRecords(table);
  OBL_DeleteRecords task(table, *records);
  zv::RunTask(task);
  return task.GetDeleted();
}

uint32_t ExecuteUpdate(OBL_DataBase& db, SQL_StatementReader& reader) {
  const std::string name = reader.ReadName(kMaxTableName);
  if (name.empty()) StatementError(kErrExpectedOpen);
  OBL_BaseObject& table = FindTable(db, name);
  if (!reader.TakeKeyword("set")) StatementError(kErrExpectedOpen);
  // Each field once, in the order first named; a later pair replaces the
  // value of an earlier one.
  std::vector<FBL_BaseField*> fields;
  std::vector<SQL_Value> values;
  do {
    FBL_BaseField& field = ReadField(reader, table);
    if (!reader.TakeSymbol('=')) StatementError(kErrStmtExpectedEquals);
    SQL_Value value;
    if (!reader.ReadValue(value)) StatementError(kErrStmtInvalidValue);
    size_t i = 0;
    while (i < fields.size() && fields[i] != &field) ++i;
    if (i == fields.size()) {
      fields.push_back(&field);
      values.push_back(std::move(value));
    } else {
      values[i] = std::move(value);
    }
  } while (reader.TakeSymbol(','));
  const std::string_view where = ReadWhere(reader);
  std::string list;
  for (FBL_BaseField* field : fields) {
    if (!list.empty()) list += ",";
    list += "[" + field->GetName() + "]";
  }
  SQL_CursorRequest request;
  request.mSelect = BuildSelect(list, table.GetName(), where);
  request.mParams = reader.GetParams();
  request.mLockMode = 3;
  std::unique_ptr<SQL_RowCursor> cursor = OpenStatementCursor(db, request);
  return UpdateRows(*cursor, values);
}

uint32_t ExecuteDelete(OBL_DataBase& db, SQL_StatementReader& reader) {
  if (!reader.TakeKeyword("from")) StatementError(kErrExpectedFrom);
  OBL_BaseObject& table = ReadTable(reader, db);
  const std::string_view where = ReadWhere(reader);
  if (where.empty()) {
    OBL_ObjectTable& store = table.GetStore();
    const uint32_t count = store.GetRecordCount();
    if (count != 0) store.DeleteAllRecords();
    return count;
  }
  SQL_CursorRequest request;
  request.mSelect = BuildSelect("RecID", table.GetName(), where);
  request.mParams = reader.GetParams();
  request.mLockMode = 3;
  std::unique_ptr<SQL_RowCursor> cursor = OpenStatementCursor(db, request);
  return DeleteRows(*cursor, table);
}

}  // namespace zv::sql
