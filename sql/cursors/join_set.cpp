#include "sql/cursors/join_set.h"

#include <algorithm>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "platform/errors.h"

OBL_JoinSet_Ram::OBL_JoinSet_Ram(uint32_t columnCount) : mColumns(columnCount) {}

OBL_JoinSet_Ram::OBL_JoinSet_Ram(std::unique_ptr<FBL_Set> selection) : mColumns(1) {
  if (auto* array = dynamic_cast<FBL_ArraySet*>(selection.get())) {
    array->Sort();
    mTuples.assign(array->GetItems().begin(), array->GetItems().end());
    return;
  }
  if (dynamic_cast<FBL_BitSet*>(selection.get()) == nullptr) {
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "A selection of no known kind");
  }
  mWrapped.reset(static_cast<FBL_BitSet*>(selection.release()));
  mWrappedCount = mWrapped->Count();
}

OBL_JoinSet_Ram::~OBL_JoinSet_Ram() = default;

uint32_t OBL_JoinSet_Ram::GetRowCount() const {
  if (mWrapped) return mWrappedCount;
  return mColumns == 0 ? 0 : static_cast<uint32_t>(mTuples.size() / mColumns);
}

REC_ID OBL_JoinSet_Ram::Get(uint32_t row, uint32_t column) const {
  if (!mWrapped) return mTuples[size_t{row} * mColumns + column];
  // Walks forward and backward go member by member; a jump counts.
  if (row == mHintRow) return mHintRec;
  if (mHintRow != UINT32_MAX && row == mHintRow + 1) {
    mHintRec = mWrapped->NextMember(mHintRec);
  } else if (mHintRow != UINT32_MAX && row + 1 == mHintRow) {
    mHintRec = mWrapped->PrevMember(mHintRec);
  } else if (row == 0) {
    mHintRec = mWrapped->NextMember(0);
  } else {
    MaterializeForJumps();
    return mTuples[row];
  }
  mHintRow = row;
  return mHintRec;
}

void OBL_JoinSet_Ram::MaterializeForJumps() const {
  if (!mWrapped) return;
  mTuples.clear();
  mTuples.reserve(mWrappedCount);
  for (REC_ID r = mWrapped->NextMember(0); r != 0; r = mWrapped->NextMember(r)) {
    mTuples.push_back(r);
  }
  mWrapped.reset();
  mHintRow = UINT32_MAX;
}

void OBL_JoinSet_Ram::AppendRow(std::span<const REC_ID> tuple) {
  Materialize();
  mTuples.insert(mTuples.end(), tuple.begin(), tuple.end());
}

void OBL_JoinSet_Ram::RemoveRow(uint32_t row) {
  Materialize();
  const auto at = mTuples.begin() + static_cast<std::ptrdiff_t>(size_t{row} * mColumns);
  mTuples.erase(at, at + mColumns);
}

void OBL_JoinSet_Ram::Reorder(std::span<const uint32_t> order) {
  std::vector<REC_ID> tuples;
  tuples.reserve(order.size() * mColumns);
  if (mWrapped) {
    // A single column: the rows are the members in ascending order.
    std::vector<REC_ID> members;
    members.reserve(mWrappedCount);
    for (REC_ID r = mWrapped->NextMember(0); r != 0; r = mWrapped->NextMember(r)) {
      members.push_back(r);
    }
    for (uint32_t row : order) tuples.push_back(members[row]);
    mWrapped.reset();
    mHintRow = UINT32_MAX;
  } else {
    for (uint32_t row : order) {
      const auto at = mTuples.begin() + static_cast<std::ptrdiff_t>(size_t{row} * mColumns);
      tuples.insert(tuples.end(), at, at + mColumns);
    }
  }
  mTuples = std::move(tuples);
}

std::vector<REC_ID> OBL_JoinSet_Ram::Column(uint32_t column) const {
  std::vector<REC_ID> out;
  const uint32_t rows = GetRowCount();
  out.reserve(rows);
  if (mWrapped) {
    for (REC_ID r = mWrapped->NextMember(0); r != 0; r = mWrapped->NextMember(r)) out.push_back(r);
    return out;
  }
  for (uint32_t row = 0; row < rows; ++row) out.push_back(mTuples[size_t{row} * mColumns + column]);
  return out;
}

OBL_JoinSet_Disk::OBL_JoinSet_Disk(OBL_DataBase& db, std::vector<uint32_t> tables)
    : mDb(db), mTables(std::move(tables)) {}

int32_t OBL_JoinSet_Disk::ColumnOf(uint32_t fromPosition) const {
  const auto it = std::find(mTables.begin(), mTables.end(), fromPosition);
  return it == mTables.end() ? -1 : static_cast<int32_t>(it - mTables.begin());
}
