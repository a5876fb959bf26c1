// OBL_CursorTable_Tmp: the rows of an aggregate SELECT, computed once into
// a temporary table of the database (negative ID, never stored). A single
// row of numbers or strings (no GROUP BY) stays in fields of no table
// instead: a table's files and schema objects cost far more than the
// count(*) they would hold, and a table is made only if it is exported. The source
// rows come from an inner read-only Indirect table over the same statement;
// with GROUP BY they are sorted by its fields and each run of equal values
// gives one row, otherwise all of them (or none) give one row; ORDER BY
// then sorts the result rows by select-list columns. Always
// read-only. The temporary table is dropped with the cursor table, unless
// the database dropped it first.
#pragma once

#include <memory>
#include <vector>

#include "sql/cursors/cursor_table.h"
#include "sql/parser/parameters.h"

class OBL_Aggregate;
class OBL_BaseObject;
struct OBL_FieldSpec;
class OBL_CursorTable_Indirect;
class SQL_SelectStatement;

class OBL_CursorTable_Tmp : public OBL_CursorTable_Base {
 public:
  // REQUIRES: stmt parsed without error; it and params (the values of
  // its :N) outlive the table.
  OBL_CursorTable_Tmp(const SQL_SelectStatement& stmt, SQL_ParamValues params);
  ~OBL_CursorTable_Tmp() override;

  void Build() override;
  uint32_t GetColumnCount() const override { return static_cast<uint32_t>(mColumns.size()); }
  FBL_BaseField* GetColumn(uint32_t index) const override;
  uint32_t GetRecordCount() const override { return static_cast<uint32_t>(mRecs.size()); }
  void BlankRecord() override;

  bool IsReadOnly() const override { return true; }
  void SetReadOnly(bool /*on*/) override {}
  void AddRecord(bool) override { Refuse(); }
  void DeleteRecord() override { Refuse(); }
  void DeleteAllRecords() override { Refuse(); }
  void UpdateRecord() override { Refuse(); }
  void UpdateAllRecords() override { Refuse(); }
  void ClearColumn(uint32_t /*index*/) override { Refuse(); }
  void ReleaseLock() override {}
  bool LockCurrent(FBL_LockKind /*kind*/) override { return false; }
  REC_ID GetRecID(uint32_t /*fromPosition*/) const override { return 0; }
  std::unique_ptr<FBL_BitSet> GetRecords(uint32_t fromPosition) const override;
  uint32_t ExportText(const std::string& path, const FBL_TextFormat& format) override;
  uint32_t ImportText(const std::string& /*path*/, const FBL_TextFormat& /*format*/) override {
    Refuse();
  }
  bool Uses(const OBL_BaseObject& table) const override;
  void LetGo() override {
    mResult = nullptr;
    mColumns.clear();
    mRecs.clear();
    mInMemory = false;
  }

 protected:
  void LoadRow(uint32_t position) override;

 private:
  [[noreturn]] static void Refuse();
  void MakeResultTable(const std::vector<OBL_FieldSpec>& layout);
  void DropResultTable();
  // The one row in fields of no table; false when a column's type needs
  // the database (dates take its settings) or files (BLOBs, binaries).
  bool KeepInMemory(std::vector<OBL_Aggregate>& aggregates,
                    const std::vector<OBL_FieldSpec>& layout);
  // The in-memory row as a temporary table's record.
  void Materialize();
  // ORDER BY over the result's columns.
  void OrderResult();

  const SQL_SelectStatement& mStmt;
  SQL_ParamValues mParams;
  OBL_BaseObject* mResult = nullptr;
  std::vector<FBL_BaseField*> mColumns;
  std::vector<REC_ID> mRecs;
  // The in-memory row: the result's values and the buffers the cursor
  // reads (blanked off the row). Fields once handed out live as long as
  // the table: the cursor's wrappers may name them until they resync.
  bool mInMemory = false;
  std::vector<OBL_FieldSpec> mLayout;
  std::vector<std::unique_ptr<FBL_BaseField>> mValues;
  std::vector<std::unique_ptr<FBL_BaseField>> mBuffers;
};
