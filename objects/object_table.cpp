#include "objects/object_table.h"

#include "kernel/sets/bit_set.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/base_object.h"
#include "objects/deletion_plan.h"
#include "objects/object_database.h"
#include "platform/errors.h"

OBL_ObjectTable::OBL_ObjectTable(OBL_BaseObject& owner, FBL_DataBase& db, uint32_t tableId,
                                 FBL_DataFile* volume)
    : FBL_IndexedTable(db, tableId, volume), mOwner(owner) {}

OBL_ObjectTable::~OBL_ObjectTable() = default;

REC_ID OBL_ObjectTable::AddRecord(bool check) {
  mOwner.RequireUnlocked();
  OBL_BaseObject* parent = mOwner.GetParent();
  if (parent == nullptr) return FBL_IndexedTable::AddRecord(check);
  OBL_ObjectTable& up = parent->GetStore();
  const REC_ID upRecord = up.AddRecord(check);
  try {
    mOwner.GetTablePtrField()->Set(upRecord);
    return FBL_IndexedTable::AddRecord(check);
  } catch (...) {
    try {
      // The parent parts made for this record go again.
      OBL_DeletionPlan plan(static_cast<OBL_DataBase&>(GetDataBase()));
      FBL_BitSet one(up.GetMaxRecID());
      one.Include(upRecord);
      plan.Plan(*parent, one);
      plan.Execute();
    } catch (const xFBL_Exception&) {
      // The first error is the one to report.
    }
    throw;
  }
}

void OBL_ObjectTable::UpdateRecord(bool check) {
  mOwner.RequireUnlocked();
  if (GetCurrentRecID() == 0) return;
  if (OBL_BaseObject* parent = mOwner.GetParent()) parent->GetStore().UpdateRecord(check);
  FBL_IndexedTable::UpdateRecord(check);
}

bool OBL_ObjectTable::DeleteRecordByID(REC_ID recID, bool force) {
  mOwner.RequireUnlocked();
  if (!IsRecordAlive(recID)) return false;
  OBL_DeletionPlan plan(static_cast<OBL_DataBase&>(GetDataBase()));
  FBL_BitSet one(GetMaxRecID());
  one.Include(recID);
  plan.Plan(mOwner, one);
  if (!force && !plan.CanExecute()) return false;
  plan.Execute();
  return true;
}

void OBL_ObjectTable::DeleteAllRecords() {
  mOwner.RequireUnlocked();
  if (GetRecordCount() == 0) return;
  OBL_DeletionPlan plan(static_cast<OBL_DataBase&>(GetDataBase()));
  plan.Plan(mOwner, *SelectAllRecords());
  if (!plan.CanExecute()) return;
  plan.Execute();
}

bool OBL_ObjectTable::DeleteRecordRaw(REC_ID recID) {
  return FBL_IndexedTable::DeleteRecordByID(recID, true);
}

void OBL_ObjectTable::DeleteAllRecordsRaw() {
  FBL_IndexedTable::DeleteAllRecords();
}

void OBL_ObjectTable::PositionParents() {
  OBL_BaseObject* parent = mOwner.GetParent();
  if (parent == nullptr) return;
  const REC_ID up = GetCurrentRecID() == 0 ? 0 : mOwner.GetTablePtrField()->Get();
  parent->GetStore().GoToRecord(up);
}

bool OBL_ObjectTable::FirstRecord() {
  mOwner.RequireUnlocked();
  const bool found = FBL_IndexedTable::FirstRecord();
  PositionParents();
  return found;
}

bool OBL_ObjectTable::LastRecord() {
  mOwner.RequireUnlocked();
  const bool found = FBL_IndexedTable::LastRecord();
  PositionParents();
  return found;
}

bool OBL_ObjectTable::NextRecord() {
  mOwner.RequireUnlocked();
  const bool found = FBL_IndexedTable::NextRecord();
  if (found) PositionParents();
  return found;
}

bool OBL_ObjectTable::PrevRecord() {
  mOwner.RequireUnlocked();
  const bool found = FBL_IndexedTable::PrevRecord();
  if (found) PositionParents();
  return found;
}

bool OBL_ObjectTable::GoToRecord(REC_ID recID) {
  mOwner.RequireUnlocked();
  const bool found = FBL_IndexedTable::GoToRecord(recID);
  if (found || recID == 0) PositionParents();
  return found;
}

void OBL_ObjectTable::OnSchemaChange(FBL_SchemaChange change, FBL_BaseField* field) {
  mOwner.OnSchemaChange(change, field);
}
