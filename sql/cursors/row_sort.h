// Sorting the rows of a cursor with the kernel's sorter (key_sorter.h), so
// that any number of rows sorts within the sort memory budget.
//
// A sort by several keys runs one stable sort per key, the last key first:
// after the pass of the first key, rows equal in it keep the order the
// later keys gave them. Each pass pushes the key of every row with the
// row's place as its number and reads the new order back from the sink.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "kernel/tables/key_order.h"

class FBL_BaseField;
class OBL_BaseObject;
class OBL_I_JoinSet;

// The values of one field of a FROM table read by RecID, leaving the
// table's record buffer alone (except for a field inherited from a parent
// table, which is reached by moving the table).
class OBL_RowValueReader {
 public:
  // REQUIRES: field is a user field of table; both outlive the reader.
  OBL_RowValueReader(FBL_BaseField& field, OBL_BaseObject& table);
  ~OBL_RowValueReader();
  OBL_RowValueReader(OBL_RowValueReader&&) noexcept;

  // The field holding rec's value (rec 0: a null value).
  FBL_BaseField& Load(REC_ID rec);
  // rec's key into out (FBL_KeyOrder::kMaxKeySize bytes); its length.
  uint32_t Key(REC_ID rec, uint8_t* out);
  const FBL_KeyOrder& Order() const;

 private:
  FBL_BaseField* mField;
  OBL_BaseObject* mTable;
  std::unique_ptr<FBL_BaseField> mCopy;
};

// A sort key: a field of the FROM table in column `column` of the rows.
struct OBL_RowKey {
  FBL_BaseField* mField = nullptr;
  uint32_t mColumn = 0;  // 0-based column of the join set
  bool mAscending = true;
};

namespace zsql {

// Empties a field's buffer: NULL when the field is nullable, else its
// type's empty value.
void BlankField(FBL_BaseField& field);

// The rows' new order (0-based row numbers), stable. runStarts, when
// given, receives for a sort by one key that cannot be NULL whether each
// place starts a run of equal keys (else it stays empty).
std::vector<uint32_t> SortRows(const OBL_I_JoinSet& rows, std::span<OBL_BaseObject* const> tables,
                               std::span<const OBL_RowKey> keys,
                               std::vector<bool>* runStarts = nullptr);

// The keys of a row, one after the other, for telling runs of equal rows.
class RowKeys {
 public:
  RowKeys(std::span<OBL_BaseObject* const> tables, std::span<const OBL_RowKey> keys);
  void Read(const OBL_I_JoinSet& rows, uint32_t row, std::vector<uint8_t>& out);

 private:
  std::vector<OBL_RowValueReader> mReaders;
  std::vector<uint32_t> mColumns;
};

}  // namespace zsql
