// DIAGNOSE ( DATABASE | TABLE name | FIELD table.field ): the checks'
// report goes to "Diagnose report.txt" beside the database's files:
//
//   "All right!\n\n" or "Problems found!\n\n", then one block per table:
//   72 "*", "* BaseObject: \"name\"", 72 "*", "All right.\n\n" or
//   "Problems found.\n\n", the fields' lines, "\n\n".
#include <filesystem>
#include <string>

#include "kernel/tables/base_field.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "platform/env.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_kinds.h"
#include "sql/statements/statement_reader.h"
#include "sql/statements/statement_targets.h"

namespace zv::sql {

namespace {

// A table's block holding only one field's lines.
bool DiagnoseOneField(OBL_BaseObject& table, FBL_BaseField& field, std::string& report) {
  std::string text;
  const bool right = zv::DiagnoseField(field, text, true);
  const std::string stars(72, '*');
  report += stars + "\n* BaseObject: \"" + table.GetName() + "\"\n" + stars + "\n";
  report += right ? "All right.\n\n" : "Problems found.\n\n";
  report += text + "\n\n";
  return right;
}

void WriteReport(OBL_DataBase& db, const std::string& text) {
  const std::filesystem::path folder = std::filesystem::path(db.GetPath()).parent_path();
  const std::string path = (folder / "Diagnose report.txt").string();
  std::unique_ptr<platform::EnvFile> file = platform::Env::Default()->CreateFile(path);
  file->WriteAt(0, text.data(), text.size());
  file->Close();
}

}  // namespace

uint32_t ExecuteDiagnose(OBL_DataBase& db, SQL_StatementReader& reader) {
  std::string report;
  bool right = true;
  if (reader.TakeKeyword("database")) {
    reader.ExpectEnd();
    right = db.Diagnose(report, true);
  } else if (reader.TakeKeyword("table")) {
    OBL_BaseObject& table = ReadTable(reader, db);
    reader.ExpectEnd();
    right = table.Diagnose(report, true);
  } else if (reader.TakeKeyword("field")) {
    OBL_BaseObject* table = nullptr;
    FBL_BaseField& field = ReadTableField(reader, db, table);
    reader.ExpectEnd();
    right = DiagnoseOneField(*table, field, report);
  } else {
    StatementError(kErrSyntax);
  }
  WriteReport(db, (right ? "All right!\n\n" : "Problems found!\n\n") + report);
  return 0;
}

}  // namespace zv::sql
