// FBL_Table: the kernel's table, an ordered list of fields that store their
// values column-wise and a record map that says which RecIDs are alive.
//
// Lifecycle: constructed closed -> Open() (creates the files of a new table,
// loads the header, current RecID 0) -> open -> CloseFiles() -> closed.
// DropFiles() deletes every file; DeleteAllRecords() leaves an open, empty
// table. Invariants while open: the header image matches the record map's
// header on disk; 0 <= RecordCount <= MaxRecID; no alive RecID exceeds
// MaxRecID; every field's value file covers at most MaxRecID slots after a
// truncation.
//
// The table keeps no record buffer: the current record is a RecID and each
// field holds that record's value. Moving to a record loads every field
// (calculated fields only take the RecID).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "kernel/storage/database.h"

class FBL_BaseField;
class FBL_BitSet;
class FBL_FormulaCompiler;
class FBL_IndexFactory;
class FBL_RecordLocks;
class FBL_RecordMap;

// A flush of the database writes every table's buffers (FlushBuffers);
// Flush of a table is a flush of its database.
class FBL_Table : public FBL_FlushClient {
 public:
  // REQUIRES: db is open and outlives the table. tableId names the table's
  // embedded files.
  FBL_Table(FBL_DataBase& db, uint32_t tableId);
  virtual ~FBL_Table();
  FBL_Table(const FBL_Table&) = delete;
  FBL_Table& operator=(const FBL_Table&) = delete;

  // Does nothing when already open.
  virtual void Open();
  virtual void OnOpen() {}
  virtual void OpenFiles();
  virtual void CreateFiles();
  virtual void DropFiles();
  virtual void LoadFiles();
  virtual void CloseFiles();
  virtual void Reopen();
  virtual void Flush();
  // Writes the record map's header and every field's buffers and files.
  void FlushBuffers() override;
  // Writes every field's buffer as a new record; returns its RecID.
  virtual REC_ID AddRecord(bool check = true);
  // Writes the dirty fields of the current record. With check, nothing
  // happens without a current record or when it cannot be modified.
  virtual void UpdateRecord(bool check = true);
  // Deletes the current record; false when nothing was deleted.
  virtual bool DeleteRecord(bool force = false);
  virtual void DeleteAllRecords();
  virtual bool FirstRecord();
  virtual bool LastRecord();
  virtual bool NextRecord();
  virtual bool PrevRecord();
  virtual bool GoToRecord(REC_ID recID);
  // Takes the field; a field with number 0 is appended, others go after the
  // last field of a smaller number. A null field raises 308.
  virtual FBL_BaseField& AddField(std::unique_ptr<FBL_BaseField> field);
  // Hands the field back to the caller; null when it is not in the table.
  virtual std::unique_ptr<FBL_BaseField> RemoveField(FBL_BaseField& field);
  virtual void CheckFieldsBeforeAdd();
  virtual void CheckFieldBeforeAdd(FBL_BaseField& /*field*/) {}
  virtual void CheckFieldBeforeUpdate(FBL_BaseField& /*field*/) {}

  uint32_t GetRecordCount() const;
  uint32_t GetMaxRecID() const;
  REC_ID GetCurrentRecID() const { return mCurrent; }
  bool IsRecordAlive(REC_ID recID);
  // New sets of size MaxRecID owned by the caller.
  std::unique_ptr<FBL_BitSet> SelectAllRecords();
  std::unique_ptr<FBL_BitSet> MakeEmptySet() const;
  uint32_t FieldCount() const { return static_cast<uint32_t>(mFields.size()); }
  // 1-based; null out of range.
  FBL_BaseField* GetField(uint32_t position) const;
  bool CanModifyRecord(REC_ID recID);
  // kind: 1 none, 2 read, 3 write; owner: a 30-bit id of the locker.
  bool LockRecord(REC_ID recID, uint32_t kind, uint32_t owner);
  bool UnlockRecord(REC_ID recID, uint32_t owner);
  bool IsRecordLocked(REC_ID recID);

  // The table's name, as tasks and messages show it ("" until given).
  const std::string& GetName() const { return mName; }
  void SetName(const std::string& name) { mName = name; }
  FBL_DataBase& GetDataBase() const { return mDataBase; }
  uint32_t GetTableId() const { return mTableId; }
  bool IsOpened() const { return mOpened; }
  // Not owned; each must outlive the table. Null means none.
  FBL_IndexFactory* GetIndexFactory() const { return mIndexFactory; }
  void SetIndexFactory(FBL_IndexFactory* factory) { mIndexFactory = factory; }
  FBL_FormulaCompiler* GetFormulaCompiler() const { return mFormulaCompiler; }
  void SetFormulaCompiler(FBL_FormulaCompiler* compiler) { mFormulaCompiler = compiler; }

 protected:
  // Makes recID current and loads every field.
  void LoadRecord(REC_ID recID);
  FBL_RecordMap& Map() const { return *mMap; }
  bool CanWrite() const;
  const std::vector<std::unique_ptr<FBL_BaseField>>& Fields() const { return mFields; }

 private:
  // Cuts every file to the highest alive RecID below `deleted`.
  void TruncateAfterDelete(REC_ID deleted, uint32_t recordCount);
  FBL_RecordLocks& Locks();
  void DropLocks();

  FBL_DataBase& mDataBase;
  uint32_t mTableId;
  std::string mName;
  std::unique_ptr<FBL_RecordMap> mMap;
  std::unique_ptr<FBL_RecordLocks> mLocks;
  std::vector<std::unique_ptr<FBL_BaseField>> mFields;
  REC_ID mCurrent = 0;
  bool mOpened = false;
  FBL_IndexFactory* mIndexFactory = nullptr;
  FBL_FormulaCompiler* mFormulaCompiler = nullptr;
};
