// The rows of a cursor over base tables: tuples of RecIDs, one entry per
// FROM table in FROM order. RecID 0 in a column stands for the missing
// partner of an outer join.
//
//   OBL_JoinSet_Ram   the final rows: a flat array, row after row; with a
//                     single table it may instead wrap the table's
//                     selection bit set (members in ascending RecID
//                     order) until the rows are reordered or changed; a
//                     selection array set becomes the rows at once.
//   OBL_JoinSet_Disk  the tuples of a join being built: one column per
//                     table joined so far, in the order they were joined.
//                     Kept in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_BitSet;
class FBL_Set;
class OBL_DataBase;

class OBL_I_JoinSet {
 public:
  virtual ~OBL_I_JoinSet() = default;
  virtual uint32_t GetColumnCount() const = 0;
  virtual uint32_t GetRowCount() const = 0;
  // row and column 0-based. REQUIRES: both in range.
  virtual REC_ID Get(uint32_t row, uint32_t column) const = 0;
};

class OBL_JoinSet_Ram : public OBL_I_JoinSet {
 public:
  // Empty rows of columnCount columns.
  explicit OBL_JoinSet_Ram(uint32_t columnCount);
  // The members of a single table's selection set (a bit set, not copied,
  // or a sorted array set).
  explicit OBL_JoinSet_Ram(std::unique_ptr<FBL_Set> selection);
  ~OBL_JoinSet_Ram() override;

  uint32_t GetColumnCount() const override { return mColumns; }
  uint32_t GetRowCount() const override;
  REC_ID Get(uint32_t row, uint32_t column) const override;
  bool HasSeveralColumns() const { return mColumns > 1; }

  // Copies the rows out of a wrapped set (nothing to do otherwise).
  void Materialize() { MaterializeForJumps(); }
  void AppendRow(std::span<const REC_ID> tuple);
  // REQUIRES: row in range.
  void RemoveRow(uint32_t row);
  // The rows in the order given (0-based row numbers, each once or fewer).
  void Reorder(std::span<const uint32_t> order);
  // The whole column (0-based), row by row.
  std::vector<REC_ID> Column(uint32_t column) const;

 private:
  // Rows read out of order copy the wrapped set's members once.
  void MaterializeForJumps() const;

  uint32_t mColumns;
  mutable std::vector<REC_ID> mTuples;
  mutable std::unique_ptr<FBL_BitSet> mWrapped;
  uint32_t mWrappedCount = 0;
  // The last member read from the wrapped set, for walks in row order.
  mutable uint32_t mHintRow = UINT32_MAX;
  mutable REC_ID mHintRec = 0;
};

class OBL_JoinSet_Disk : public OBL_I_JoinSet {
 public:
  // tables: the FROM position (1-based) of each column.
  OBL_JoinSet_Disk(OBL_DataBase& db, std::vector<uint32_t> tables);

  uint32_t GetColumnCount() const override { return static_cast<uint32_t>(mTables.size()); }
  uint32_t GetRowCount() const override {
    return static_cast<uint32_t>(mTuples.size() / mTables.size());
  }
  REC_ID Get(uint32_t row, uint32_t column) const override {
    return mTuples[size_t{row} * mTables.size() + column];
  }
  const std::vector<uint32_t>& GetTables() const { return mTables; }
  // The column holding a FROM position, -1 when not joined yet.
  int32_t ColumnOf(uint32_t fromPosition) const;
  void AppendRow(std::span<const REC_ID> tuple) {
    mTuples.insert(mTuples.end(), tuple.begin(), tuple.end());
  }
  std::span<const REC_ID> Row(uint32_t row) const {
    return {mTuples.data() + size_t{row} * mTables.size(), mTables.size()};
  }
  OBL_DataBase& GetDataBase() const { return mDb; }

 private:
  OBL_DataBase& mDb;
  std::vector<uint32_t> mTables;
  std::vector<REC_ID> mTuples;
};
