// INSERT INTO table [ "(" field { "," field } ")" ]
//   ( VALUES "(" value { "," value } ")" | SELECT ... )
// The whole statement is read before the record buffer is touched.
#include <algorithm>
#include <vector>

#include "kernel/tables/base_field.h"
#include "kernel/tables/text_importer.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "sql/statements/cursor_statements.h"
#include "sql/statements/field_values.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_kinds.h"
#include "sql/statements/statement_reader.h"
#include "sql/statements/statement_targets.h"

namespace zv::sql {

namespace {

// After an item of a list: true for ",", false for ")"; 608 at the end of
// the text, 618 for anything else.
bool NextInList(SQL_StatementReader& reader) {
  if (reader.TakeSymbol(',')) return true;
  if (reader.TakeSymbol(')')) return false;
  StatementError(reader.AtEnd() ? kErrExpectedClose : kErrExpectedComma);
}

std::vector<FBL_BaseField*> ReadFieldList(SQL_StatementReader& reader, OBL_BaseObject& table) {
  std::vector<FBL_BaseField*> fields;
  do {
    fields.push_back(&ReadField(reader, table));
  } while (NextInList(reader));
  return fields;
}

// expected: the number of values a well-formed list holds.
std::vector<SQL_Value> ReadValueList(SQL_StatementReader& reader, size_t expected) {
  if (!reader.TakeSymbol('(')) StatementError(kErrExpectedOpen);
  std::vector<SQL_Value> values;
  values.reserve(expected);
  do {
    values.emplace_back();
    if (!reader.ReadValue(values.back())) StatementError(kErrStmtInvalidValue);
  } while (NextInList(reader));
  reader.ExpectEnd();
  return values;
}

// Blanks the stored fields among all, the table's fields.
void BlankRecord(const std::vector<FBL_BaseField*>& all) {
  for (FBL_BaseField* field : all) {
    if (!field->IsMethod()) zv::SetEmptyValue(*field);
  }
}

}  // namespace

void InsertRows(SQL_RowCursor& source, OBL_BaseObject& table,
                const std::vector<FBL_BaseField*>& targets) {
  const size_t n = std::min<size_t>(targets.size(), source.GetColumnCount());
  OBL_ObjectTable& store = table.GetStore();
  const std::vector<FBL_BaseField*> all = table.GetFieldList(OBL_FieldSelection::kAll);
  for (bool on = source.FirstRecord(); on; on = source.NextRecord()) {
    BlankRecord(all);
    for (size_t i = 0; i < n; ++i) {
      FBL_BaseField* column = source.GetColumn(static_cast<uint32_t>(i + 1));
      if (column != nullptr) targets[i]->AssignFrom(*column);
    }
    store.AddRecord();
  }
}

uint32_t ExecuteInsert(OBL_DataBase& db, SQL_StatementReader& reader) {
  if (!reader.TakeKeyword("into")) StatementError(kErrExpectedOpen);
  OBL_BaseObject& table = ReadTable(reader, db);
  const bool listed = reader.TakeSymbol('(');
  const std::vector<FBL_BaseField*> all = table.GetFieldList(OBL_FieldSelection::kAll);
  const std::vector<FBL_BaseField*> listedFields =
      listed ? ReadFieldList(reader, table) : std::vector<FBL_BaseField*>();
  const std::vector<FBL_BaseField*>& fields = listed ? listedFields : all;
  reader.SkipBlanks();
  const size_t selectAt = reader.GetPosition();
  if (reader.TakeKeyword("select")) {
    reader.SetPosition(selectAt);
    SQL_CursorRequest request;
    request.mSelect = std::string(reader.Rest());
    request.mParams = reader.GetParams();
    request.mLockMode = 2;
    std::unique_ptr<SQL_RowCursor> source = OpenStatementCursor(db, request);
    InsertRows(*source, table, fields);
    return 0;
  }
  if (!reader.TakeKeyword("values")) StatementError(kErrStmtExpectedValues);
  const std::vector<SQL_Value> values = ReadValueList(reader, fields.size());
  BlankRecord(all);
  const size_t n = std::min(values.size(), fields.size());
  for (size_t i = 0; i < n; ++i) PutValue(*fields[i], values[i], false);
  table.GetStore().AddRecord();
  return 0;
}

}  // namespace zv::sql
