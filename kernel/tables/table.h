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
// (calculated fields only take the RecID). The writes and reads by RecID
// work on the fields they are given and leave the current record alone; the
// current-record operations are built on them.
//
// Schema: every change of a table's or a field's stored properties made
// with `persist` set ends in OnSchemaChange (schema_change.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "kernel/storage/database.h"
#include "kernel/tables/file_ciphers.h"
#include "kernel/tables/schema_change.h"

class FBL_BaseField;
class FBL_BitSet;
class FBL_DataFile;
class FBL_FormulaCompiler;
class FBL_IndexFactory;
class FBL_RecordLocks;
class FBL_RecordMap;
enum class FBL_LockKind : uint32_t;

// A flush of the database writes every table's buffers (FlushBuffers);
// Flush of a table is a flush of its database.
class FBL_Table : public FBL_FlushClient {
 public:
  // REQUIRES: db is open and outlives the table. tableId names the table's
  // embedded files. volume holds the record map and the value files (null:
  // the database's record volume; the object layer keeps its schema tables
  // in the structure volume); BLOBs and indexes go to their own volumes.
  FBL_Table(FBL_DataBase& db, uint32_t tableId, FBL_DataFile* volume = nullptr);
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
  // The database's Flush: every table's buffers, the structure, a commit.
  virtual void Flush();
  // Writes the record map's header and every field's buffers and files;
  // nothing else.
  void FlushBuffers() override;
  // Writes every field's buffer as a new record; returns its RecID.
  virtual REC_ID AddRecord(bool check = true);
  // Writes the dirty fields of the current record (UpdateFieldsByID). With
  // check, nothing happens when it cannot be modified.
  virtual void UpdateRecord(bool check = true);
  // Deletes the current record (DeleteRecordByID); the next alive record
  // becomes current, or the last one when none follows. False when nothing
  // was deleted.
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

  // ---- writes and reads by RecID ---------------------------------------------
  // The fields given are the table's own or copies that share their
  // descriptors (a cursor's), else 310. The current record and the buffers
  // of the fields not given stay as they are.
  //
  // Deletes recID: its values, its index entries and its bit; the files
  // shrink when no alive record follows it. Deleting the current record
  // leaves none current. False when recID is not alive or, without force,
  // cannot be modified.
  virtual bool DeleteRecordByID(REC_ID recID, bool force = false);
  // Writes the given fields' buffers as recID's values. False (nothing
  // written) when recID is not alive or, with check, cannot be modified.
  virtual bool UpdateFieldsByID(REC_ID recID, std::span<FBL_BaseField* const> fields,
                                bool check = true);
  // Loads recID's values into the given fields (a calculated field only
  // takes the RecID). False (nothing loaded) when recID is not alive.
  bool ReadFieldsByID(REC_ID recID, std::span<FBL_BaseField* const> fields);

  // ---- the schema ------------------------------------------------------------
  // With persist, OnSchemaChange(kTableName) follows.
  virtual void SetName(const std::string& name, bool persist = false);
  // Runs after each change made with persist set, once the change is made
  // (field is null for the table's own name). Empty here. An error it raises
  // reaches the caller of the change, which stays made.
  virtual void OnSchemaChange(FBL_SchemaChange /*change*/, FBL_BaseField* /*field*/) {}
  // Puts replacement (a new field of another type, or of another declared
  // length) in field's place: every alive record's value converted
  // (AssignFrom), the same position and field number, its index built
  // afresh; field's files are deleted and field is handed back. On failure
  // (a unique replacement over values that became equal raises 344) the
  // table is as before, except for an error while the old column's files
  // give way to the new one's: then the database takes no more commits
  // (RequireWhole) and keeps its last flush. With persist,
  // OnSchemaChange(kFieldType, or kFieldLength for the same type) follows.
  // Copies made of field (a cursor's) stand for the old column.
  // REQUIRES: the table is open.
  virtual std::unique_ptr<FBL_BaseField> ReplaceField(FBL_BaseField& field,
                                                      std::unique_ptr<FBL_BaseField> replacement,
                                                      bool persist);

  // ---- ciphers -----------------------------------------------------------------
  // The ciphers of the table's files: its own when given, else those of its
  // database's key.
  FBL_FileCiphers GetFileCiphers() const;
  // Ciphers of the table's own (unset ones: plain files whatever the
  // database's key), for files opened from now on; ClearOwnCiphers follows
  // the database's key again.
  void SetOwnCiphers(FBL_FileCiphers ciphers);
  void ClearOwnCiphers();
  bool HasOwnCiphers() const { return mHasOwnCiphers; }
  // Brings every file of the open table (record map, columns) to the
  // ciphers now in force, converting their bytes; the indexes are built
  // anew under theirs. The current record is cleared.
  void ApplyFileCiphers();

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
  // owner: a 30-bit id of the locker (record_locks.h has the lock words).
  bool LockRecord(REC_ID recID, FBL_LockKind kind, uint32_t owner);
  bool UnlockRecord(REC_ID recID, uint32_t owner);
  bool IsRecordLocked(REC_ID recID);

  // The table's name, as tasks and messages show it ("" until given).
  const std::string& GetName() const { return mName; }
  FBL_DataBase& GetDataBase() const { return mDataBase; }
  FBL_DataFile& GetVolume() const { return mVolume; }
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
  // Raises 310 unless field stands for a column of this table.
  void RequireOwnField(const FBL_BaseField* field) const;
  const std::vector<std::unique_ptr<FBL_BaseField>>& Fields() const { return mFields; }

 private:
  // Cuts every file to the highest alive RecID below `deleted`.
  void TruncateAfterDelete(REC_ID deleted, uint32_t recordCount);
  // The conversion part of ReplaceField; replacement is attached under a
  // spare field number.
  void CopyValuesInto(FBL_BaseField& field, FBL_BaseField& replacement);
  FBL_RecordLocks& Locks();
  void DropLocks();

  FBL_DataBase& mDataBase;
  FBL_DataFile& mVolume;
  uint32_t mTableId;
  std::string mName;
  std::unique_ptr<FBL_RecordMap> mMap;
  std::unique_ptr<FBL_RecordLocks> mLocks;
  std::vector<std::unique_ptr<FBL_BaseField>> mFields;
  REC_ID mCurrent = 0;
  bool mOpened = false;
  FBL_IndexFactory* mIndexFactory = nullptr;
  FBL_FormulaCompiler* mFormulaCompiler = nullptr;
  bool mHasOwnCiphers = false;
  FBL_FileCiphers mOwnCiphers;
  // The ciphers of the database key last seen (a key schedule is costly).
  mutable FBL_EncryptionKeyRef mCipherKey;
  mutable FBL_FileCiphers mKeyCiphers;
};
