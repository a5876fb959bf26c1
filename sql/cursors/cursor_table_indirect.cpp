#include "sql/cursors/cursor_table_indirect.h"

#include <algorithm>
#include <atomic>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/file_win.h"
#include "kernel/storage/task.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/record_locks.h"
#include "kernel/tables/text_exporter.h"
#include "kernel/tables/text_importer.h"
#include "objects/links.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/cursors/join_builder.h"
#include "sql/cursors/row_sort.h"
#include "sql/cursors/selection.h"
#include "sql/parser/select_statement.h"

namespace {

constexpr int32_t kErrCantBeUpdated = 605;

uint32_t NextLockOwner() {
  static std::atomic<uint32_t> next{1};
  uint32_t owner = next.fetch_add(1) & kLockOwnerMask;
  return owner == 0 ? 1 : owner;
}

void BlankFields(OBL_BaseObject& table) {
  for (FBL_BaseField* field : table.GetFieldList()) {
    zsql::BlankField(*field);
  }
}

}  // namespace

OBL_CursorTable_Indirect::OBL_CursorTable_Indirect(const SQL_SelectStatement& stmt,
                                                   SQL_ParamValues params, OBL_LockMode lockMode,
                                                   bool readOnly, bool rowsOnly)
    : mStmt(stmt),
      mParams(params),
      mLockMode(lockMode),
      mReadOnly(readOnly || lockMode == OBL_LockMode::kReadOnly),
      mRowsOnly(rowsOnly),
      mLockOwner(NextLockOwner()) {}

OBL_CursorTable_Indirect::~OBL_CursorTable_Indirect() {
  try {
    ReleaseLock();
  } catch (const xFBL_Exception&) {
    // The lock file went with its table; nothing is held any more.
  }
}

void OBL_CursorTable_Indirect::Build() {
  mColumns.clear();
  mTables.clear();
  mTables.reserve(mStmt.GetFromCount());
  mColumns.reserve(mStmt.GetSelectList().size());
  mColumnTables.reserve(mStmt.GetSelectList().size());
  for (uint32_t i = 1; i <= mStmt.GetFromCount(); ++i) {
    mTables.push_back(&mStmt.GetFromEntry(i)->GetTable());
  }
  mLocked.assign(mTables.size(), 0);
  mColumnTables.clear();
  for (const SQL_SelectExpr& item : mStmt.GetSelectList()) {
    if (item.mField == nullptr) continue;
    mColumns.push_back(item.mField);
    mColumnTables.push_back(item.mTable - 1);
  }
  if (DecideReadOnly()) mReadOnly = mMustStayReadOnly = true;
  mColumnsOnly = ColumnsAlone();
  OBL_JoinSet_Builder builder(mStmt, zsql::SelectionSets(mStmt, mParams));
  mRows = builder.Build();
  if (!mRowsOnly) SortAndDistinct();
  mPosition = 0;
}

bool OBL_CursorTable_Indirect::DecideReadOnly() const {
  if (mStmt.IsDistinct()) return true;
  if (mTables.size() < 2) return false;
  for (const SQL_LInfo& item : mStmt.GetJoinList()) {
    const auto* relation = dynamic_cast<const OBL_Relation*>(item.mLink);
    if (relation == nullptr) continue;
    for (uint32_t b = 1; b <= relation->GetBranchCount(); ++b) {
      if (relation->GetBranch(b).mRelType != 1) return true;
    }
  }
  return false;
}

bool OBL_CursorTable_Indirect::ColumnsAlone() const {
  if (!mReadOnly || mLockMode != OBL_LockMode::kReadOnly) return false;
  for (size_t i = 0; i < mColumns.size(); ++i) {
    if (mColumns[i]->GetTable() != &mTables[mColumnTables[i]]->GetStore()) return false;
  }
  return true;
}

void OBL_CursorTable_Indirect::SortAndDistinct() {
  std::vector<OBL_RowKey> keys;
  const auto& select = mStmt.GetSelectList();
  for (const OBL_SortItem& item : mStmt.GetOrderBy()) {
    OBL_RowKey key;
    key.mAscending = item.mAscending;
    if (item.mColumn != 0 && item.mColumn <= select.size()) {
      key.mField = select[item.mColumn - 1].mField;
      key.mColumn = select[item.mColumn - 1].mTable - 1;
    } else {
      key.mField = item.mField;
      key.mColumn = item.mTable - 1;
    }
    if (key.mField != nullptr) keys.push_back(key);
  }
  if (!mStmt.IsDistinct()) {
    if (!keys.empty()) mRows->Reorder(zsql::SortRows(*mRows, mTables, keys));
    return;
  }
  std::vector<OBL_RowKey> columns;
  for (const SQL_SelectExpr& item : select) {
    if (item.mField != nullptr) columns.push_back({item.mField, item.mTable - 1, true});
  }
  std::vector<OBL_RowKey> all = keys;
  all.insert(all.end(), columns.begin(), columns.end());
  std::vector<uint32_t> order = zsql::SortRows(*mRows, mTables, all);
  // Rows equal in every column run together now: keep the first of each.
  zsql::RowKeys reader(mTables, columns);
  std::vector<uint32_t> kept;
  std::vector<uint8_t> previous, current;
  for (size_t i = 0; i < order.size(); ++i) {
    reader.Read(*mRows, order[i], current);
    if (i != 0 && current == previous) continue;
    kept.push_back(order[i]);
    previous.swap(current);
  }
  mRows->Reorder(kept);
}

FBL_BaseField* OBL_CursorTable_Indirect::GetColumn(uint32_t index) const {
  if (index < 1 || index > mColumns.size()) return nullptr;
  return mColumns[index - 1];
}

void OBL_CursorTable_Indirect::LoadRow(uint32_t position) {
  ReleaseLock();
  const uint32_t row = position - 1;
  if (mColumnsOnly) {
    for (size_t i = 0; i < mColumns.size(); ++i) {
      const REC_ID rec = mRows->Get(row, mColumnTables[i]);
      if (rec == 0) {
        zsql::BlankField(*mColumns[i]);
      } else {
        mColumns[i]->LoadRecord(rec);
      }
    }
    return;
  }
  const bool locking =
      mLockMode != OBL_LockMode::kNoLocks && mLockMode != OBL_LockMode::kReadOnly;
  for (size_t i = 0; i < mTables.size(); ++i) {
    OBL_ObjectTable& store = mTables[i]->GetStore();
    const REC_ID rec = mRows->Get(row, static_cast<uint32_t>(i));
    if (rec == 0 || !store.GoToRecord(rec)) {
      BlankFields(*mTables[i]);
      store.GoToRecord(0);
      continue;
    }
    if (locking && store.LockRecord(rec, FBL_LockKind::kWrite, mLockOwner)) mLocked[i] = rec;
  }
}

void OBL_CursorTable_Indirect::BlankRecord() {
  ReleaseLock();
  for (OBL_BaseObject* table : mTables) {
    BlankFields(*table);
    table->GetStore().GoToRecord(0);
  }
}

void OBL_CursorTable_Indirect::ReleaseLock() {
  if (mGone) return;
  for (size_t i = 0; i < mLocked.size(); ++i) {
    if (mLocked[i] == 0) continue;
    mTables[i]->GetStore().UnlockRecord(mLocked[i], mLockOwner);
    mLocked[i] = 0;
  }
}

bool OBL_CursorTable_Indirect::LockCurrent(FBL_LockKind kind) {
  if (mPosition == 0) return false;
  bool all = true;
  for (size_t i = 0; i < mTables.size(); ++i) {
    const REC_ID rec = mRows->Get(mPosition - 1, static_cast<uint32_t>(i));
    if (rec == 0 || mLocked[i] == rec) continue;
    if (mTables[i]->GetStore().LockRecord(rec, kind, mLockOwner)) {
      mLocked[i] = rec;
    } else {
      all = false;
    }
  }
  return all;
}

REC_ID OBL_CursorTable_Indirect::GetRecID(uint32_t fromPosition) const {
  if (mPosition == 0 || fromPosition < 1 || fromPosition > mTables.size()) return 0;
  return mRows->Get(mPosition - 1, fromPosition - 1);
}

std::unique_ptr<FBL_BitSet> OBL_CursorTable_Indirect::GetRecords(uint32_t fromPosition) const {
  if (fromPosition < 1 || fromPosition > mTables.size()) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  std::unique_ptr<FBL_BitSet> records = mTables[fromPosition - 1]->GetStore().MakeEmptySet();
  for (REC_ID rec : mRows->Column(fromPosition - 1)) {
    if (rec != 0 && rec <= records->GetSize()) records->Include(rec);
  }
  return records;
}

void OBL_CursorTable_Indirect::SetReadOnly(bool on) {
  mReadOnly = on || mMustStayReadOnly || mLockMode == OBL_LockMode::kReadOnly;
}

void OBL_CursorTable_Indirect::RequireWritable() const {
  if (mReadOnly) throw xFBL_Exception(kErrCantBeUpdated);
}

void OBL_CursorTable_Indirect::RequireNotLockedByOther(size_t i, REC_ID rec) {
  OBL_ObjectTable& store = mTables[i]->GetStore();
  if (mLocked[i] != rec && store.IsRecordLocked(rec)) throw xFBL_CannotSetLock();
  if (!store.CanModifyRecord(rec)) throw xFBL_Exception(kErrCantBeUpdated);
}

OBL_BaseObject& OBL_CursorTable_Indirect::SingleTable() const {
  if (mTables.size() != 1) {
    throw xFBL_Exception(kErrCantBeUpdated, "Records are added and deleted in one table only");
  }
  return *mTables[0];
}

void OBL_CursorTable_Indirect::UpdateRecord() {
  RequireWritable();
  if (mPosition == 0) throw xFBL_Exception(ERR_RECORD_NOT_FOUND);
  for (size_t i = 0; i < mTables.size(); ++i) {
    const REC_ID rec = mRows->Get(mPosition - 1, static_cast<uint32_t>(i));
    if (rec != 0) RequireNotLockedByOther(i, rec);
  }
  for (size_t i = 0; i < mTables.size(); ++i) {
    if (mRows->Get(mPosition - 1, static_cast<uint32_t>(i)) == 0) continue;
    // A table named twice in FROM is written once.
    if (std::find(mTables.begin(), mTables.begin() + static_cast<std::ptrdiff_t>(i),
                  mTables[i]) != mTables.begin() + static_cast<std::ptrdiff_t>(i))
      continue;
    mTables[i]->GetStore().UpdateRecord(false);
  }
}

void OBL_CursorTable_Indirect::AddRecord(bool load) {
  RequireWritable();
  OBL_BaseObject& table = SingleTable();
  ReleaseLock();
  const REC_ID rec = table.GetStore().AddRecord();
  mRows->AppendRow({&rec, 1});
  // The table stands on the new record already, its buffers holding what
  // was written.
  if (load) {
    MoveTo(mRows->GetRowCount());
  } else {
    mPosition = mRows->GetRowCount();
  }
}

void OBL_CursorTable_Indirect::DeleteRecord() {
  RequireWritable();
  OBL_BaseObject& table = SingleTable();
  if (mPosition == 0) throw xFBL_Exception(ERR_RECORD_NOT_FOUND);
  const REC_ID rec = mRows->Get(mPosition - 1, 0);
  RequireNotLockedByOther(0, rec);
  ReleaseLock();
  if (!table.GetStore().DeleteRecordByID(rec)) throw xFBL_Exception(kErrCantBeUpdated);
  mRows->RemoveRow(mPosition - 1);
  // The row that followed takes the place; after the last row, the new last.
  MoveTo(std::min(mPosition, mRows->GetRowCount()));
}

void OBL_CursorTable_Indirect::DeleteAllRecords() {
  RequireWritable();
  // Nothing is deleted while another cursor holds one of the records.
  for (size_t i = 0; i < mTables.size(); ++i) {
    OBL_ObjectTable& store = mTables[i]->GetStore();
    for (REC_ID rec : mRows->Column(static_cast<uint32_t>(i))) {
      if (rec != 0 && mLocked[i] != rec && store.IsRecordLocked(rec)) throw xFBL_CannotSetLock();
    }
  }
  ReleaseLock();
  bool refused = false;
  for (size_t i = 0; i < mTables.size(); ++i) {
    OBL_ObjectTable& store = mTables[i]->GetStore();
    for (REC_ID rec : mRows->Column(static_cast<uint32_t>(i))) {
      // A cascade may have taken the record already.
      if (rec == 0 || !store.IsRecordAlive(rec)) continue;
      if (!store.DeleteRecordByID(rec)) refused = true;
    }
  }
  mRows = std::make_unique<OBL_JoinSet_Ram>(static_cast<uint32_t>(mTables.size()));
  MoveTo(0);
  if (refused) throw xFBL_Exception(344, "Some records could not be deleted");
}

void OBL_CursorTable_Indirect::UpdateAllRecords() {
  RequireWritable();
  for (size_t i = 0; i < mTables.size(); ++i) {
    OBL_ObjectTable& store = mTables[i]->GetStore();
    std::vector<FBL_BaseField*> changed;
    for (FBL_BaseField* field : mTables[i]->GetFieldList()) {
      if (field->IsDirty() && !field->IsMethod() && field->GetTable() == &store) {
        changed.push_back(field);
      }
    }
    if (changed.empty()) continue;
    // Refusals come before the first write, so a refused update changes
    // nothing: a lock held elsewhere, or one value given to a unique field
    // of several records.
    uint32_t records = 0;
    for (REC_ID rec : mRows->Column(static_cast<uint32_t>(i))) {
      if (rec == 0) continue;
      RequireNotLockedByOther(i, rec);
      ++records;
    }
    for (FBL_BaseField* field : changed) {
      const bool nullValue = field->IsNullable() && field->IsNull();
      if (records > 1 && field->HasFlag(kFieldUnique) && !nullValue) throw xFBL_FieldIsUnique();
    }
    for (REC_ID rec : mRows->Column(static_cast<uint32_t>(i))) {
      if (rec != 0 && !store.UpdateFieldsByID(rec, changed)) {
        throw xFBL_Exception(kErrCantBeUpdated);
      }
    }
    store.Flush();
  }
}

void OBL_CursorTable_Indirect::ClearColumn(uint32_t index) {
  RequireWritable();
  FBL_BaseField* column = GetColumn(index);
  if (column == nullptr) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  column->SetNull(true);
}

bool OBL_CursorTable_Indirect::Uses(const OBL_BaseObject& table) const {
  for (uint32_t i = 1; i <= mStmt.GetFromCount(); ++i) {
    if (&mStmt.GetFromEntry(i)->GetTable() == &table) return true;
  }
  return false;
}

void OBL_CursorTable_Indirect::LetGo() { mGone = true; }

uint32_t OBL_CursorTable_Indirect::ExportText(const std::string& path,
                                             const FBL_TextFormat& format) {
  OBL_BaseObject& table = SingleTable();
  FBL_ArraySet set(GetRecordCount());
  for (REC_ID rec : mRows->Column(0)) set.Append(rec);
  FBL_FileWin file(path);
  FBL_TextExporter exporter(table.GetStore(), file, mColumns, &set, format);
  if (!zv::RunTask(exporter)) throw xFBL_Exception(ERR_DATA_FILE, "The export stopped");
  return exporter.GetExportedCount();
}

uint32_t OBL_CursorTable_Indirect::ImportText(const std::string& path,
                                             const FBL_TextFormat& format) {
  RequireWritable();
  OBL_BaseObject& table = SingleTable();
  ReleaseLock();
  FBL_FileWin file(path);
  FBL_TextImporter importer(table.GetStore(), file, mColumns, format);
  const REC_ID before = table.GetStore().GetMaxRecID();
  if (!zv::RunTask(importer)) throw xFBL_Exception(ERR_DATA_FILE, "The import stopped");
  // The new records join the rows.
  const REC_ID after = table.GetStore().GetMaxRecID();
  for (REC_ID rec = before + 1; rec <= after; ++rec) {
    if (table.GetStore().IsRecordAlive(rec)) mRows->AppendRow({&rec, 1});
  }
  MoveTo(0);
  return importer.GetImportedCount();
}
