// OBL_CursorTable_Indirect: rows that are tuples of RecIDs into the FROM
// tables (a join set). Loading a row moves every FROM table to the row's
// record, so a column reads the base field and a value set through the
// cursor changes the base table's record buffer; a RecID 0 (the missing
// partner of an outer join) blanks that table's fields, which read NULL.
//
// Read-only: with DISTINCT, or when a join goes through a relation with a
// to-many branch. With DISTINCT the rows are sorted by the ORDER BY items
// and then by every column, and one row of each run of equal rows kept;
// otherwise ORDER BY sorts them. Writes go to the records of the current
// row; AddRecord and DeleteRecord need a single FROM table.
//
// A read-only table whose columns are all stored in their own tables loads
// only those columns for a row, without moving the tables.
//
// Locks: with a lock mode other than 1 and 2 the records of the current row
// are write-locked under the table's own owner number while they are
// current; a record another cursor holds refuses changes (363).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sql/cursors/cursor_table.h"
#include "sql/cursors/join_set.h"
#include "sql/parser/parameters.h"

class OBL_BaseObject;
class SQL_SelectStatement;

class OBL_CursorTable_Indirect : public OBL_CursorTable_Base {
 public:
  // REQUIRES: stmt parsed without error; it and params (the values of
  // its :N) outlive the table.
  // rowsOnly: the rows as joined, neither sorted nor made distinct.
  OBL_CursorTable_Indirect(const SQL_SelectStatement& stmt, SQL_ParamValues params,
                           OBL_LockMode lockMode, bool readOnly, bool rowsOnly = false);
  ~OBL_CursorTable_Indirect() override;

  void Build() override;
  uint32_t GetColumnCount() const override { return static_cast<uint32_t>(mColumns.size()); }
  FBL_BaseField* GetColumn(uint32_t index) const override;
  uint32_t GetRecordCount() const override { return mRows ? mRows->GetRowCount() : 0; }
  void BlankRecord() override;

  bool IsReadOnly() const override { return mReadOnly; }
  void SetReadOnly(bool on) override;
  void AddRecord(bool load) override;
  void DeleteRecord() override;
  void DeleteAllRecords() override;
  void UpdateRecord() override;
  void UpdateAllRecords() override;
  void ClearColumn(uint32_t index) override;
  void ReleaseLock() override;
  bool LockCurrent(FBL_LockKind kind) override;
  REC_ID GetRecID(uint32_t fromPosition) const override;
  std::unique_ptr<FBL_BitSet> GetRecords(uint32_t fromPosition) const override;
  uint32_t ExportText(const std::string& path, const FBL_TextFormat& format) override;
  uint32_t ImportText(const std::string& path, const FBL_TextFormat& format) override;
  bool Uses(const OBL_BaseObject& table) const override;
  void LetGo() override;

  const OBL_I_JoinSet& GetRows() const { return *mRows; }
  const std::vector<OBL_BaseObject*>& GetTables() const { return mTables; }

 protected:
  void LoadRow(uint32_t position) override;

 private:
  bool DecideReadOnly() const;
  // Whether a row may load its columns alone.
  bool ColumnsAlone() const;
  void SortAndDistinct();
  // 605 unless writable.
  void RequireWritable() const;
  // 363 when another cursor holds rec of the table at position i.
  void RequireNotLockedByOther(size_t i, REC_ID rec);
  // The single FROM table AddRecord and DeleteRecord act on.
  OBL_BaseObject& SingleTable() const;

  const SQL_SelectStatement& mStmt;
  SQL_ParamValues mParams;
  OBL_LockMode mLockMode;
  bool mReadOnly;
  bool mMustStayReadOnly = false;
  bool mRowsOnly;
  bool mGone = false;
  std::vector<FBL_BaseField*> mColumns;
  // The FROM column (0-based) of each column.
  std::vector<uint32_t> mColumnTables;
  bool mColumnsOnly = false;
  std::vector<OBL_BaseObject*> mTables;
  std::unique_ptr<OBL_JoinSet_Ram> mRows;
  uint32_t mLockOwner;
  // By FROM position: the record this table holds locked (0: none).
  std::vector<REC_ID> mLocked;
};
