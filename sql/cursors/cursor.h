// OBL_Cursor: the result of a SELECT statement, rows the caller moves over
// and reads (and, where allowed, changes) column by column.
//
// Lifecycle: constructed with its three modes (registered with the
// database) -> SetSQL parses the text -> Execute builds the rows and stands
// on row 1 (or none) -> moves, reads, writes -> destroyed (unregistered).
// A new text drops the rows. When the database closes or drops one of the
// FROM tables, the cursor lets go of its rows and statement: every
// operation then answers false or 0 and sets the error code, 327 (the
// database closed) or 323 (a table dropped).
//
// Failures inside an operation never escape: the operation answers false
// (or 0, or null) and GetError tells the code. Modes: lock mode 1 no locks,
// 2 read-only, others lock the current row's records (forced to 1 on a
// read-only database); direction 1 forward-only, 2 random access.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "objects/cursor_interface.h"
#include "sql/cursors/cursor_table.h"
#include "sql/parser/parameters.h"

class FBL_BaseField;
class FBL_BitSet;
class OBL_DataBase;
class OBL_Parser;

enum class OBL_CursorDirection : uint8_t { kForwardOnly = 1, kRandom = 2 };

class OBL_Cursor : public OBL_I_Cursor {
 public:
  // REQUIRES: db is open.
  OBL_Cursor(OBL_DataBase& db, uint8_t location, uint8_t lockMode, uint8_t direction);
  ~OBL_Cursor() override;
  OBL_Cursor(const OBL_Cursor&) = delete;
  OBL_Cursor& operator=(const OBL_Cursor&) = delete;

  virtual uint32_t GetColumnCount();
  // 1-based; null out of range. Not owned; valid until the rows go.
  virtual FBL_BaseField* GetColumn(uint32_t index);
  virtual uint32_t GetRecordCount();
  virtual bool FirstRecord();
  virtual bool LastRecord();
  virtual bool NextRecord();
  virtual bool PrevRecord();
  virtual bool GoToRecord(uint32_t position);
  virtual uint32_t GetCurrentPosition();
  virtual void BlankRecord();
  // `load` false: the new record's values are not read back (see
  // OBL_I_CursorTable::AddRecord).
  virtual bool AddRecord(bool load = true);
  virtual bool DeleteRecord();
  virtual bool DeleteAllRecords();
  virtual bool UpdateRecord();
  // The cursor table's read-only flag (a DISTINCT or aggregate cursor stays
  // read-only).
  virtual void SetReadOnly(uint8_t on);
  virtual void ReleaseLock();
  // Delimited text: new records from a file (a writable single-table
  // cursor; they join the rows) and the rows into a file. Both answer the
  // count of records, 0 with the error code set on failure.
  virtual uint32_t ImportText(const std::string& path, char fieldDelimiter, char recordDelimiter);
  virtual uint32_t ExportText(const std::string& path, char fieldDelimiter, char recordDelimiter);
  virtual void SetSQL(const std::string& text);
  virtual bool Execute();
  // Null once the database closed.
  virtual OBL_DataBase* GetDataBase();
  virtual std::string GetSQL() const;
  virtual int32_t GetError() const { return mError; }
  virtual bool IsReadOnly();
  // Sets a column of the current row to NULL (a write: 605 when read-only).
  virtual bool ClearColumn(uint32_t index);
  // Locks the current row's records with a lock kind (2 read, 3 write).
  virtual bool LockCurrent(uint32_t kind);
  virtual bool UpdateAllRecords();
  // The current row's RecID in a FROM table (1-based position).
  virtual REC_ID GetRecID(uint32_t fromPosition);

  // The values of :1, :2, ... in the text (copied), for every Execute until
  // set again; the rows go until the next Execute. Execute fails with 619
  // when the text names a parameter beyond them.
  void SetParams(std::span<const SQL_Param> params);
  // The records of every row in a FROM table (1-based position), without
  // moving over the rows; null with the error code set on failure.
  std::unique_ptr<FBL_BitSet> GetRecords(uint32_t fromPosition);

  void LetGo(const OBL_BaseObject* table) override;

  uint8_t GetLocation() const { return mLocation; }
  uint8_t GetLockMode() const { return mLockMode; }
  OBL_CursorDirection GetDirection() const { return mDirection; }

 private:
  // The table, or null after setting the error: the text did not parse,
  // nothing was executed, or the tables went away.
  OBL_I_CursorTable* Table();
  // Runs op, keeping the code of any failure; answers false on failure.
  template <class Op>
  bool Guard(Op op);
  bool ChangeAllowed();
  void DropRows();

  OBL_DataBase* mDb;
  std::string mText;
  std::unique_ptr<OBL_Parser> mParser;
  std::vector<SQL_Value> mParams;
  std::unique_ptr<OBL_I_CursorTable> mTable;
  int32_t mError = 0;
  int32_t mGoneError = 0;
  uint8_t mLocation;
  uint8_t mLockMode;
  OBL_CursorDirection mDirection;
  bool mLettingGo = false;
};
