// Diagnose: every table checks its record map and its fields' indexes and
// adds its block to the report:
//
//   ************************************************************************
//   * BaseObject: "name"
//   ************************************************************************
//   All right.            (or "Problems found.")
//   <one line per field in verbose mode, "(!) " lines for problems>
//
// Checks never throw: a failure inside one becomes a "(!) " line.
#include <string>

#include "kernel/indexes/secondary_index.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"

namespace {

const std::string kStars(72, '*');

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

}  // namespace

// The field's index agrees with the records and its pages are in order;
// its value files are sound.
bool zv::DiagnoseField(FBL_BaseField& field, std::string& text, bool verbose) {
  auto* index = dynamic_cast<FBL_SecondaryIndex*>(field.GetIndex());
  std::string problem;
  try {
    if (index != nullptr && index->IsOpen()) {
      index->CheckPages();
      const uint32_t expected = index->ExpectedEntryCount();
      const uint32_t entries = index->GetEntryCount();
      if (expected != entries) {
        problem = "its index holds " + std::to_string(entries) + " entries, the records make " +
                  std::to_string(expected);
      }
    }
  } catch (const xFBL_Exception& e) {
    problem = std::string("its index is damaged (error ") + std::to_string(e.Code) + ")";
  }
  std::string files;
  const bool filesRight = field.DiagnoseFiles(files);
  if (!problem.empty()) text += "(!) Field " + Quoted(field.GetName()) + ": " + problem + ".\n";
  if (!filesRight) text += "(!) Field " + Quoted(field.GetName()) + ":\n" + files;
  if (!problem.empty() || !filesRight) return false;
  if (verbose) text += "Field " + Quoted(field.GetName()) + ": All right.\n";
  return true;
}

bool OBL_BaseObject::Diagnose(std::string& report, bool verbose) {
  std::string text;
  bool right = true;
  if (IsLocked()) {
    text += "The table waits for its key: its files were not checked.\n";
  } else {
    try {
      OBL_ObjectTable& store = GetStore();
      const uint32_t alive = store.SelectAllRecords()->Count();
      if (alive != store.GetRecordCount()) {
        text += "(!) The record map counts " + std::to_string(store.GetRecordCount()) +
                " records, its bits " + std::to_string(alive) + ".\n";
        right = false;
      }
      for (uint32_t i = 1; i <= store.FieldCount(); ++i)
        right = zv::DiagnoseField(*store.GetField(i), text, verbose) && right;
    } catch (const xFBL_Exception& e) {
      text += "(!) The table's files cannot be read (error " + std::to_string(e.Code) + ").\n";
      right = false;
    }
  }
  report += kStars + "\n* BaseObject: " + Quoted(GetName()) + "\n" + kStars + "\n";
  report += right ? "All right.\n\n" : "Problems found.\n\n";
  report += text + "\n\n";
  return right;
}

bool OBL_DataBase::Diagnose(std::string& report, bool verbose) {
  bool right = true;
  for (OBL_BaseObject* table : GetAllBaseObjects()) right = table->Diagnose(report, verbose) && right;
  return right;
}
