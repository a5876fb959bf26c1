// CONVERT RDBLINK, REINDEX, COMPACT and DEFRAGMENT.
#include <map>
#include <string>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_types.h"
#include "objects/base_object.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_kinds.h"
#include "sql/statements/statement_reader.h"
#include "sql/statements/statement_targets.h"

namespace zv::sql {

namespace {

// The target of CONVERT: pointer or t1 "." pointer.
FBL_BaseField& ReadConvertTarget(SQL_StatementReader& reader, OBL_DataBase& db,
                                 OBL_BaseObject& t1) {
  std::string name = reader.ReadName(kMaxFieldName);
  if (reader.TakeSymbol('.')) {
    if (&FindTable(db, name) != &t1) StatementError(kErrTableNotFound);
    name = reader.ReadName(kMaxFieldName);
  }
  return FindField(t1, name);
}

// The first record of table whose key holds each text (nulls left out).
std::map<std::string, REC_ID> RecordsByKey(OBL_BaseObject& table, FBL_BaseField& key) {
  std::map<std::string, REC_ID> records;
  OBL_ObjectTable& store = table.GetStore();
  for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
    if (!key.IsNull()) records.emplace(key.GetString(), store.GetCurrentRecID());
  }
  return records;
}

void FlushUnlessReadOnly(OBL_DataBase& db) {
  if (!db.IsReadOnly()) db.Flush();
}

void ReindexField(FBL_BaseField& field) {
  field.DropIndex();
  if (field.HasFlag(kFieldIndexed)) field.CreateIndex();
  field.OpenIndex();
}

}  // namespace

uint32_t ExecuteConvert(OBL_DataBase& db, SQL_StatementReader& reader) {
  if (!reader.TakeKeyword("rdblink")) StatementError(kErrSyntax);
  OBL_BaseObject* t1 = nullptr;
  OBL_BaseObject* t2 = nullptr;
  FBL_BaseField& f1 = ReadTableField(reader, db, t1);
  if (!reader.TakeSymbol('=')) StatementError(kErrStmtExpectedEquals);
  FBL_BaseField& f2 = ReadTableField(reader, db, t2);
  if (!reader.TakeKeyword("into")) StatementError(kErrExpectedOpen);
  FBL_BaseField& pointer = ReadConvertTarget(reader, db, *t1);
  reader.ExpectEnd();
  const OBL_PointerLink* link = db.PointerLinkOf(pointer);
  if (pointer.GetType() != kTypeObjectPtr || link == nullptr || link->GetTarget() != t2)
    StatementError(kErrStmtWrongFieldType);
  db.RequireWritable();
  const std::map<std::string, REC_ID> targets = RecordsByKey(*t2, f2);
  OBL_ObjectTable& store = t1->GetStore();
  for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
    const auto found = f1.IsNull() ? targets.end() : targets.find(f1.GetString());
    if (found == targets.end()) {
      pointer.SetNull(true);
    } else {
      pointer.SetString(std::to_string(found->second).c_str());
    }
    store.UpdateRecord();
  }
  store.Flush();
  return 0;
}

uint32_t ExecuteReindex(OBL_DataBase& db, SQL_StatementReader& reader) {
  if (reader.TakeKeyword("database")) {
    reader.ExpectEnd();
    db.Reindex();
  } else if (reader.TakeKeyword("table")) {
    OBL_BaseObject& table = ReadTable(reader, db);
    reader.ExpectEnd();
    table.RequireUnlocked();
    table.GetStore().DropIndexes();
    table.GetStore().OpenIndexes();
    FlushUnlessReadOnly(db);
  } else if (reader.TakeKeyword("field")) {
    OBL_BaseObject* table = nullptr;
    FBL_BaseField& field = ReadTableField(reader, db, table);
    reader.ExpectEnd();
    table->RequireUnlocked();
    ReindexField(field);
    FlushUnlessReadOnly(db);
  } else {
    StatementError(kErrSyntax);
  }
  return 0;
}

uint32_t ExecuteCompact(OBL_DataBase& db, SQL_StatementReader& reader) {
  reader.ExpectEnd();
  db.RequireWritable();
  db.Flush();
  db.CompactAll();
  db.Flush();
  return 0;
}

uint32_t ExecuteDefragment(OBL_DataBase& db, SQL_StatementReader& reader) {
  reader.ExpectEnd();
  db.Defragment();
  return 0;
}

}  // namespace zv::sql
