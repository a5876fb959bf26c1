// The rows of a cursor: OBL_I_CursorTable is what the cursor asks of them,
// OBL_CursorTable_Base the position and the navigation rules both kinds of
// table share.
//
// Positions run from 1 to the row count; 0 means that no row is current
// (the row buffer is then blank). Writes raise the xFBL_Exception family:
// 605 through a read-only table, 363 on a record locked by another cursor,
// 344 when a unique field would get a duplicate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kernel/sets/rec_id.h"
#include "kernel/tables/delimited_format.h"

class FBL_BaseField;
class FBL_BitSet;
class OBL_BaseObject;
enum class FBL_LockKind : uint32_t;

// Lock modes: 1 no locks, 2 read-only, any other value: the records of the
// current row are locked while it is current.
enum class OBL_LockMode : uint8_t { kNoLocks = 1, kReadOnly = 2, kLockCurrent = 3 };

class OBL_I_CursorTable {
 public:
  virtual ~OBL_I_CursorTable() = default;

  // Computes the rows from the statement; no row is current afterwards.
  virtual void Build() = 0;
  virtual uint32_t GetColumnCount() const = 0;
  // 1-based; null out of range. The field holds the current row's value.
  virtual FBL_BaseField* GetColumn(uint32_t index) const = 0;
  virtual uint32_t GetRecordCount() const = 0;

  virtual bool FirstRecord() = 0;
  virtual bool LastRecord() = 0;
  virtual bool NextRecord() = 0;
  virtual bool PrevRecord() = 0;
  virtual bool GoToRecord(uint32_t position) = 0;
  virtual uint32_t GetPosition() const = 0;
  virtual void BlankRecord() = 0;

  virtual bool IsReadOnly() const = 0;
  // A table that must stay read-only (DISTINCT, aggregates) ignores false.
  virtual void SetReadOnly(bool on) = 0;
  // Adds a record of the current values and makes its row current; with
  // `load` false its values are not read back (a batch's next record
  // replaces them at once).
  virtual void AddRecord(bool load) = 0;
  virtual void DeleteRecord() = 0;
  virtual void DeleteAllRecords() = 0;
  virtual void UpdateRecord() = 0;
  // The current row's changed values into the records of every row.
  virtual void UpdateAllRecords() = 0;
  // Sets the current row's value of a column to NULL.
  virtual void ClearColumn(uint32_t index) = 0;

  virtual void ReleaseLock() = 0;
  // Locks the current row's records with kind; false when one is refused.
  virtual bool LockCurrent(FBL_LockKind kind) = 0;
  // The current row's record of a FROM table (1-based position); 0: none.
  virtual REC_ID GetRecID(uint32_t fromPosition) const = 0;
  // The records of every row in a FROM table, as a set sized to the table
  // (empty when the rows are no records); no row moves and nothing is
  // locked.
  virtual std::unique_ptr<FBL_BitSet> GetRecords(uint32_t fromPosition) const = 0;

  // Delimited text (delimited_format.h) of the columns of the rows: written
  // in ascending RecID order; read as new records of the table the columns
  // belong to (one FROM table). Answers the count of records.
  virtual uint32_t ExportText(const std::string& path, const FBL_TextFormat& format) = 0;
  virtual uint32_t ImportText(const std::string& path, const FBL_TextFormat& format) = 0;

  // Whether the rows come from table.
  virtual bool Uses(const OBL_BaseObject& table) const = 0;
  // The database drops the tables: forget them without touching them.
  virtual void LetGo() = 0;
};

class OBL_CursorTable_Base : public OBL_I_CursorTable {
 public:
  bool FirstRecord() override;
  bool LastRecord() override;
  bool NextRecord() override;
  bool PrevRecord() override;
  bool GoToRecord(uint32_t position) override;
  uint32_t GetPosition() const override { return mPosition; }

 protected:
  // Makes row `position` (1 to the row count) the buffer's content.
  virtual void LoadRow(uint32_t position) = 0;
  // Moves to a row, or to none when position is 0.
  void MoveTo(uint32_t position);

  uint32_t mPosition = 0;
};
