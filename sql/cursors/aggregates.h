// One column of an aggregate cursor computed for every group of rows at
// once: count of rows, count of values, SUM, AVG, min, max (each optionally
// over distinct values only), or a plain field, which takes its value from
// the group's first row. NULL values are left out; SUM, AVG, min and max of
// no value are NULL, counts of nothing 0. Rows may come in any order of
// groups, so that they are read in the order they are stored.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "sql/cursors/row_sort.h"
#include "sql/parser/select_statement.h"

class FBL_BaseField;
class OBL_BaseObject;
class OBL_I_JoinSet;
struct OBL_FieldSpec;

class OBL_Aggregate {
 public:
  // REQUIRES: item's field (if any) belongs to table, FROM position column + 1.
  OBL_Aggregate(const SQL_SelectExpr& item, OBL_BaseObject* table);
  ~OBL_Aggregate();
  OBL_Aggregate(OBL_Aggregate&&) noexcept;

  // The result column's type, length and name.
  OBL_FieldSpec ResultSpec() const;
  // Empty states for groups 0 to count - 1.
  void SetGroupCount(uint32_t count);
  // REQUIRES: rows come to each group in their order.
  void Add(const OBL_I_JoinSet& rows, uint32_t row, uint32_t group);
  // count(*) takes `rows` rows of a group at once and returns true; other
  // aggregates read each row and return false.
  bool AddRows(uint32_t rows, uint32_t group);
  // Writes a group's result into the field of the result table.
  void Store(FBL_BaseField& result, uint32_t group);

 private:
  struct State {
    uint64_t mCount = 0;
    double mSum = 0;
    REC_ID mBestRec = 0;
    bool mHasValue = false;
    std::vector<uint8_t> mBestKey;
    std::set<std::string> mSeen;
  };

  SQL_Token mKind;
  bool mDistinct;
  uint32_t mColumn;
  FBL_BaseField* mField;
  std::unique_ptr<OBL_RowValueReader> mReader;
  std::vector<State> mStates;
};
