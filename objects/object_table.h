// OBL_ObjectTable: the record store of an object-layer table. It is the
// kernel's indexed table with the object layer's rules added:
//
//  - Inheritance: a child table's record names its parent record through
//    "TablePtr". Every move to a record positions the parent stores on the
//    records the chain names, so inherited fields (the parents' own field
//    objects) hold the values of the same object. Adding a record adds the
//    parent records first; updating updates them too.
//  - Deletion control: deleting records (one, a set, or all at once) goes
//    through a deletion plan (deletion_plan.h) that gathers everything the
//    deletion takes along (object parts, cascades) and refuses the whole
//    deletion, before anything changes, when a restrict link would be left
//    dangling.
//  - Schema: persisted schema changes of the kernel reach the owning table,
//    which keeps its items in sysItem in step.
#pragma once

#include <cstdint>

#include "kernel/tables/indexed_table.h"

class OBL_BaseObject;

class OBL_ObjectTable : public FBL_IndexedTable {
 public:
  // REQUIRES: owner outlives the store.
  OBL_ObjectTable(OBL_BaseObject& owner, FBL_DataBase& db, uint32_t tableId,
                  FBL_DataFile* volume);
  ~OBL_ObjectTable() override;

  OBL_BaseObject& GetOwner() const { return mOwner; }

  // Parents first; a failure takes the parent records out again.
  REC_ID AddRecord(bool check = true) override;
  void UpdateRecord(bool check = true) override;
  // The record with everything the deletion takes along; false (nothing
  // deleted) when recID is not alive or a record of the plan cannot be
  // modified. A refusal by restrict raises xOBL_RelationError (502).
  bool DeleteRecordByID(REC_ID recID, bool force = false) override;
  void DeleteAllRecords() override;
  bool FirstRecord() override;
  bool LastRecord() override;
  bool NextRecord() override;
  bool PrevRecord() override;
  bool GoToRecord(REC_ID recID) override;
  void OnSchemaChange(FBL_SchemaChange change, FBL_BaseField* field) override;

  // The kernel's deletions, without any deletion control (what a deletion
  // plan runs once it holds).
  bool DeleteRecordRaw(REC_ID recID);
  void DeleteAllRecordsRaw();
  // Positions every parent store on the record the current record's
  // "TablePtr" names (none: the parents are cleared).
  void PositionParents();

 private:
  OBL_BaseObject& mOwner;
};
