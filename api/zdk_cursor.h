// ZDK_Cursor: what a cursor handle names, the result of a SELECT made on a
// database wrapper. It owns its object-layer cursor and one field wrapper
// per result column (numbered from 1), each under a field handle.
//
// Lifecycle: made by its database wrapper, which owns it -> SQLSelect runs
// the query and wraps the columns -> moves, reads and writes -> deleted by
// Cursor_Remove, or with the database when it closes. When the object
// layer lets the rows go (a FROM table dropped), SyncFields drops the
// column wrappers, so their handles go with the columns. When a column's
// field leaves its table or is replaced (a field removed or retyped) the
// object layer is not told, so SyncFields finds it and the cursor is gone
// for good: it never reaches its object-layer cursor again, its moves
// answer false and its changes 323, as for a dropped table.
//
// Position: the script's record number, kept here as the commands define
// it (1 after the select, moved before the object layer's step); it can
// differ from the object layer's own position at the ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/zdk_field.h"

class OBL_Cursor;

namespace api {

class ZDK_DataBase;

class ZDK_Cursor {
 public:
  // REQUIRES: db's database is open.
  ZDK_Cursor(ZDK_DataBase& db, uint8_t location, uint8_t lockMode, uint8_t direction);
  ~ZDK_Cursor();
  ZDK_Cursor(const ZDK_Cursor&) = delete;
  ZDK_Cursor& operator=(const ZDK_Cursor&) = delete;

  int32_t GetHandle() const { return mHandle; }
  ZDK_DataBase& GetDataBase() const { return mDataBase; }

  // The query's error code, 0 on success (the columns are then wrapped).
  int32_t SQLSelect(const std::string& text);
  std::string GetSQLstring() const;
  uint32_t GetRecordCount();

  bool FirstRecord();
  bool LastRecord();
  bool NextRecord();
  bool PrevRecord();
  bool GoToRecord(uint32_t position);
  uint32_t GetPosition() const { return mPosition; }

  // These throw the object layer's error code when it refuses.
  // `load` false: a batch adds more at once (OBL_Cursor::AddRecord).
  void AddRecord(bool load = true);
  void DeleteRecord();
  void DeleteAllRecords();
  void UpdateRecord();
  void UpdateAllRecords();
  void SetBlank();
  // Lets go of the current record (its lock); the rows stay.
  void DropRecord();
  // True when records cannot be added through the cursor (read-only).
  bool CannotAdd();

  // Delimited text files of the rows; a refusal throws its code.
  void ImportASCII(const std::string& path, char fieldDelimiter, char recordDelimiter);
  void ExportASCII(const std::string& path, char fieldDelimiter, char recordDelimiter);

  uint32_t GetFieldCount() const { return static_cast<uint32_t>(mFields.size()); }
  // 1-based; null out of range.
  ZDK_Field* GetField(uint32_t number) const;
  // Without regard to case; null when none has the name.
  ZDK_Field* GetField(const std::string& name) const;

  // Column wrappers in step with the object layer's columns; called
  // after every schema change of the database.
  void SyncFields();

 private:
  // Where a column's field was when it was wrapped; read without touching
  // the field, which may be gone.
  struct ColumnHome {
    const FBL_Table* table;
    const FBL_BaseField* field;
    uint8_t type;
  };

  [[noreturn]] void ThrowError(int32_t fallback) const;
  // Null once the cursor is gone (ThrowIfGone: 323 instead).
  OBL_Cursor* Live() const { return mGone ? nullptr : mCursor.get(); }
  OBL_Cursor& ThrowIfGone() const;
  bool ColumnsStillThere() const;

  ZDK_DataBase& mDataBase;
  std::unique_ptr<OBL_Cursor> mCursor;
  std::vector<std::unique_ptr<ZDK_Field>> mFields;
  std::vector<ColumnHome> mHomes;  // one per entry of mFields
  bool mGone = false;
  uint32_t mPosition = 1;
  int32_t mHandle;
};

// The cursor a handle names, or null.
ZDK_Cursor* FindCursor(int32_t handle);

}  // namespace api
