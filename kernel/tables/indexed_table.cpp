#include "kernel/tables/indexed_table.h"

#include "kernel/tables/base_field.h"
#include "platform/errors.h"

namespace {

bool Indexed(const FBL_BaseField& field) {
  return field.GetIndex() != nullptr;
}

}  // namespace

FBL_IndexedTable::~FBL_IndexedTable() = default;

void FBL_IndexedTable::OpenFiles() {
  FBL_Table::OpenFiles();
  OpenIndexes();
}

void FBL_IndexedTable::CreateFiles() {
  FBL_Table::CreateFiles();
  for (auto& field : Fields()) {
    if (field->HasFlag(kFieldIndexed)) field->CreateIndex();
  }
}

void FBL_IndexedTable::DropFiles() {
  DropIndexes();
  FBL_Table::DropFiles();
}

void FBL_IndexedTable::OpenIndexes() {
  for (auto& field : Fields()) {
    if (field->HasFlag(kFieldIndexed)) field->CreateIndex();
    field->OpenIndex();
  }
}

void FBL_IndexedTable::DropIndexes() {
  for (auto& field : Fields()) field->DropIndex();
}

bool FBL_IndexedTable::DropNonUniqueIndexes() {
  bool uniqueLeft = false;
  for (auto& field : Fields()) {
    if (field->HasFlag(kFieldIndexed)) field->CreateIndex();
    FBL_FieldIndex* index = field->GetIndex();
    if (index == nullptr) continue;
    if (index->IsUnique()) {
      uniqueLeft = true;
    } else {
      field->DropIndex();
    }
  }
  return uniqueLeft;
}

void FBL_IndexedTable::CheckUnique(FBL_BaseField& field, REC_ID recID) {
  if (!field.HasFlag(kFieldUnique)) return;
  if (field.IsMethod()) field.CalculateMethod(recID);
  if (field.ValueExists()) throw xFBL_FieldIsUnique();
}

void FBL_IndexedTable::CheckFieldBeforeAdd(FBL_BaseField& field) {
  CheckUnique(field, 0);
}

void FBL_IndexedTable::CheckFieldBeforeUpdate(FBL_BaseField& field) {
  CheckUnique(field, GetCurrentRecID());
}

REC_ID FBL_IndexedTable::AddRecord(bool check) {
  REC_ID id = FBL_Table::AddRecord(check);
  std::vector<FBL_BaseField*> done;
  try {
    for (auto& field : Fields()) {
      if (!Indexed(*field)) continue;
      if (field->IsMethod()) field->CalculateMethod(id);
      field->AddToIndex(id);
      done.push_back(field.get());
    }
  } catch (const xFBL_Exception&) {
    // Leave neither the record nor half of its keys behind.
    for (FBL_BaseField* field : done) field->RemoveFromIndex(id);
    FBL_Table::DeleteRecord(true);
    throw;
  }
  return id;
}

std::vector<FBL_BaseField*> FBL_IndexedTable::CollectIndexChanges() {
  std::vector<FBL_BaseField*> changed;
  for (auto& field : Fields()) {
    field->FreeOldValue();
    if (field->IsMethod() || !field->IsDirty() || !field->HasFlag(kFieldKeepsOldValue)) continue;
    field->LoadOldValue();
    if (field->IsChanged()) {
      changed.push_back(field.get());
    } else {
      field->FreeOldValue();
    }
  }
  std::vector<FBL_BaseField*> list;
  for (FBL_BaseField* field : changed) {
    if (!Indexed(*field)) continue;
    CheckFieldBeforeUpdate(*field);
    list.push_back(field);
  }
  for (auto& field : Fields()) {
    if (!field->IsMethod() || !Indexed(*field) || field->GetFormula() == nullptr) continue;
    for (FBL_BaseField* used : changed) {
      if (!field->GetFormula()->Uses(*used)) continue;
      list.push_back(field.get());
      break;
    }
  }
  return list;
}

void FBL_IndexedTable::UpdateRecord(bool check) {
  REC_ID current = GetCurrentRecID();
  if (current == 0 || (check && !CanModifyRecord(current))) return;
  std::vector<FBL_BaseField*> list;
  try {
    list = CollectIndexChanges();
  } catch (...) {
    for (auto& field : Fields()) field->FreeOldValue();
    throw;
  }
  // Old keys go while the old values are still on disk.
  for (FBL_BaseField* field : list) {
    if (field->IsMethod()) {
      field->CalculateMethod(current);
      field->RemoveFromIndex(current);
      continue;
    }
    field->SwapOldValue();
    field->RemoveFromIndex(current);
    field->RestoreOldValue();
  }
  FBL_Table::UpdateRecord(false);
  for (auto& field : Fields()) field->FreeOldValue();
  for (FBL_BaseField* field : list) {
    if (field->IsMethod()) field->CalculateMethod(current);
    field->AddToIndex(current);
  }
}

bool FBL_IndexedTable::DeleteRecord(bool force) {
  REC_ID current = GetCurrentRecID();
  if (current == 0) return false;
  if (!force && !CanModifyRecord(current)) return false;
  for (auto& field : Fields()) {
    if (!Indexed(*field)) continue;
    // The stored value is the key, whatever the buffer holds now.
    if (field->IsMethod()) {
      field->CalculateMethod(current);
    } else {
      field->ReadRecord(current);
    }
    field->RemoveFromIndex(current);
  }
  return FBL_Table::DeleteRecord(true);
}
