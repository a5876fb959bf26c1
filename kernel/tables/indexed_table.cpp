#include "kernel/tables/indexed_table.h"

#include <utility>
#include <vector>

#include "kernel/sets/bit_set.h"
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
  // The indexed fields that took their keys are the first `added` ones.
  size_t added = 0;
  try {
    for (auto& field : Fields()) {
      if (!Indexed(*field)) continue;
      if (field->IsMethod()) field->CalculateMethod(id);
      field->AddToIndex(id);
      ++added;
    }
  } catch (const xFBL_Exception&) {
    // Leave neither the record nor half of its keys behind.
    for (auto& field : Fields()) {
      if (added == 0) break;
      if (!Indexed(*field)) continue;
      field->RemoveFromIndex(id);
      --added;
    }
    FBL_Table::DeleteRecordByID(id, true);
    throw;
  }
  return id;
}

FBL_BaseField* FBL_IndexedTable::OwnField(const FBL_BaseField& field) const {
  for (auto& own : Fields()) {
    if (own->GetFieldNumber() == field.GetFieldNumber()) return own.get();
  }
  return nullptr;
}

std::vector<FBL_BaseField*> FBL_IndexedTable::CollectIndexChanges(
    REC_ID recID, std::span<FBL_BaseField* const> fields) {
  std::vector<FBL_BaseField*> changed;
  for (FBL_BaseField* field : fields) {
    field->FreeOldValue();
    if (field->IsMethod() || !field->HasFlag(kFieldKeepsOldValue)) continue;
    field->LoadOldValueOf(recID);
    if (field->IsChanged()) {
      changed.push_back(field);
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
      const FBL_BaseField* own = OwnField(*used);
      if (own == nullptr || !field->GetFormula()->Uses(*own)) continue;
      list.push_back(field.get());
      break;
    }
  }
  return list;
}

bool FBL_IndexedTable::UpdateFieldsByID(REC_ID recID, std::span<FBL_BaseField* const> fields,
                                        bool check) {
  for (const FBL_BaseField* field : fields) RequireOwnField(field);
  if (!IsRecordAlive(recID) || (check && !CanModifyRecord(recID))) return false;
  std::vector<FBL_BaseField*> list;
  try {
    list = CollectIndexChanges(recID, fields);
  } catch (...) {
    for (FBL_BaseField* field : fields) field->FreeOldValue();
    throw;
  }
  // Calculated fields are moved to recID for their keys and back after.
  std::vector<std::pair<FBL_BaseField*, REC_ID>> moved;
  // Old keys go while the old values are still on disk.
  for (FBL_BaseField* field : list) {
    if (field->IsMethod()) {
      moved.emplace_back(field, field->GetRecID());
      field->CalculateMethod(recID);
      field->RemoveFromIndex(recID);
      continue;
    }
    field->SwapOldValue();
    field->RemoveFromIndex(recID);
    field->RestoreOldValue();
  }
  FBL_Table::UpdateFieldsByID(recID, fields, false);
  for (FBL_BaseField* field : fields) field->FreeOldValue();
  for (FBL_BaseField* field : list) {
    if (field->IsMethod()) field->CalculateMethod(recID);
    field->AddToIndex(recID);
  }
  for (auto [field, at] : moved) {
    if (at != recID) field->CalculateMethod(at);
  }
  return true;
}

uint32_t FBL_IndexedTable::DeleteRecordsByID(const FBL_BitSet& records,
                                             const std::function<void(REC_ID)>& deleted) {
  // Bounds the keys held at once (a key and its sort entry per record).
  constexpr size_t kBatch = size_t{1} << 18;
  std::vector<REC_ID> batch;
  uint32_t count = 0;
  REC_ID r = records.NextMember(0);
  while (r != 0) {
    batch.clear();
    for (; r != 0 && batch.size() < kBatch; r = records.NextMember(r)) {
      if (IsRecordAlive(r)) batch.push_back(r);
    }
    for (auto& field : Fields()) {
      if (Indexed(*field)) field->RemoveStoredKeys(batch);
    }
    for (REC_ID id : batch) {
      if (!FBL_Table::DeleteRecordByID(id, true)) continue;
      ++count;
      if (deleted) deleted(id);
    }
  }
  return count;
}

bool FBL_IndexedTable::DeleteRecordByID(REC_ID recID, bool force) {
  if (!IsRecordAlive(recID)) return false;
  if (!force && !CanModifyRecord(recID)) return false;
  for (auto& field : Fields()) {
    if (Indexed(*field)) field->RemoveStoredKeys(recID);
  }
  return FBL_Table::DeleteRecordByID(recID, true);
}
