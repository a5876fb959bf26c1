#include "kernel/tables/table.h"

#include <algorithm>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/small_files.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/record_locks.h"
#include "kernel/tables/record_map.h"
#include "platform/env.h"
#include "platform/errors.h"

namespace {

FBL_DataFile& TableVolume(FBL_DataBase& db, FBL_DataFile* volume) {
  if (volume == nullptr) volume = db.GetRecordVolume();
  if (volume == nullptr) throw xFBL_DatabaseIsNotOpened();
  return *volume;
}

}  // namespace

FBL_Table::FBL_Table(FBL_DataBase& db, uint32_t tableId, FBL_DataFile* volume)
    : mDataBase(db), mVolume(TableVolume(db, volume)), mTableId(tableId) {
  mMap = std::make_unique<FBL_RecordMap>(mVolume, tableId);
  mDataBase.AddFlushClient(this);
}

FBL_Table::~FBL_Table() {
  mDataBase.RemoveFlushClient(this);
  try {
    if (mOpened) CloseFiles();
  } catch (const xFBL_Exception&) {
    // A destructor cannot report: the database must not commit what is
    // left of the table's changes.
    mDataBase.NoteLostChanges();
  }
}

// ---- files ------------------------------------------------------------------------

void FBL_Table::Open() {
  if (mOpened) return;
  OnOpen();
  OpenFiles();
  mOpened = true;
}

// A table without a record map is new, unless its columns have files: then
// the map was lost, and making a new one would open the table empty.
void FBL_Table::OpenFiles() {
  GetFileCiphers().ApplyTo(mMap->GetFile());
  if (!mMap->Exists()) {
    for (auto& field : mFields) {
      if (field->HasStoredFiles())
        throw xFBL_TableCorrupted("The record map of a table with stored columns is missing");
    }
    CreateFiles();
  }
  LoadFiles();
}

void FBL_Table::CreateFiles() {
  for (auto& field : mFields) field->CreateFiles();
  mMap->Create();
}

void FBL_Table::DropFiles() {
  for (auto& field : mFields) field->DropFiles();
  DropLocks();
  mMap->Remove();
  mCurrent = 0;
}

void FBL_Table::LoadFiles() {
  mMap->Open();
  mCurrent = 0;
  mOpened = true;
  for (auto& field : mFields) {
    field->OpenFiles();
    if (field->IsMethod() && field->GetFormula() == nullptr) {
      field->SetMethodText(field->GetMethodText(), false);
    }
  }
}

void FBL_Table::CloseFiles() {
  for (auto& field : mFields) field->CloseFiles();
  mMap->Close();
  DropLocks();
  mCurrent = 0;
  mOpened = false;
}

void FBL_Table::Reopen() {
  CloseFiles();
  LoadFiles();
}

void FBL_Table::Flush() {
  mDataBase.Flush();
}

void FBL_Table::FlushBuffers() {
  if (!mOpened) return;
  mMap->Flush();
  for (auto& field : mFields) field->Flush();
}

bool FBL_Table::CanWrite() const {
  return !mDataBase.IsReadOnly();
}

// ---- records ----------------------------------------------------------------------

REC_ID FBL_Table::AddRecord(bool check) {
  if (!mOpened) throw xFBL_TableError("The table is not open");
  if (check) CheckFieldsBeforeAdd();
  uint32_t count = mMap->GetRecordCount();
  uint32_t max = mMap->GetMaxRecID();
  REC_ID id = count != max ? mMap->FirstFree() : 0;
  if (id == 0) {
    if (max == UINT32_MAX) throw xFBL_TableError("The table has no free RecID");
    id = ++max;
  }
  for (auto& field : mFields) field->WriteRecord(id);
  mMap->WriteHeader(std::min(count + 1, max), max);
  mMap->SetAlive(id, true);
  if (mLocks) mLocks->SetWord(id, 0);
  mCurrent = id;
  return id;
}

void FBL_Table::UpdateRecord(bool check) {
  if (mCurrent == 0) return;
  std::vector<FBL_BaseField*> dirty;
  for (auto& field : mFields) {
    if (field->IsDirty()) dirty.push_back(field.get());
  }
  UpdateFieldsByID(mCurrent, dirty, check);
}

bool FBL_Table::DeleteRecord(bool force) {
  const REC_ID deleted = mCurrent;
  if (deleted == 0 || !DeleteRecordByID(deleted, force)) return false;
  // Past the last record the files were cut: the new last one is current.
  const REC_ID next = mMap->Next(deleted);
  mCurrent = next != 0 ? next : mMap->GetMaxRecID();
  if (mCurrent != 0) LoadRecord(mCurrent);
  return true;
}

// ---- writes and reads by RecID ------------------------------------------------------

void FBL_Table::RequireOwnField(const FBL_BaseField* field) const {
  if (field == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
  if (field->GetTable() != this) {
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "The field is not a column of the table");
  }
}

bool FBL_Table::DeleteRecordByID(REC_ID recID, bool force) {
  if (!IsRecordAlive(recID)) return false;
  if (!force && !CanModifyRecord(recID)) return false;
  for (auto& field : mFields) field->DeleteRecord(recID);
  mMap->SetAlive(recID, false);
  const uint32_t count = mMap->GetRecordCount() > 0 ? mMap->GetRecordCount() - 1 : 0;
  if (mMap->Next(recID) == 0) {
    // No record after the deleted one: the files shrink behind it.
    TruncateAfterDelete(recID, count);
  } else {
    mMap->WriteHeader(count, mMap->GetMaxRecID());
  }
  if (mCurrent == recID) mCurrent = 0;
  return true;
}

bool FBL_Table::UpdateFieldsByID(REC_ID recID, std::span<FBL_BaseField* const> fields, bool check) {
  for (const FBL_BaseField* field : fields) RequireOwnField(field);
  if (!IsRecordAlive(recID) || (check && !CanModifyRecord(recID))) return false;
  for (FBL_BaseField* field : fields) field->WriteRecord(recID);
  return true;
}

bool FBL_Table::ReadFieldsByID(REC_ID recID, std::span<FBL_BaseField* const> fields) {
  for (const FBL_BaseField* field : fields) RequireOwnField(field);
  if (!IsRecordAlive(recID)) return false;
  for (FBL_BaseField* field : fields) field->LoadRecord(recID);
  return true;
}

void FBL_Table::TruncateAfterDelete(REC_ID deleted, uint32_t recordCount) {
  REC_ID n = mMap->Prev(deleted);
  for (auto& field : mFields) field->Truncate(n);
  mMap->Truncate(n, n == 0 ? 0 : std::min(recordCount, n));
  if (mLocks) mLocks->Truncate(n);
}

void FBL_Table::DeleteAllRecords() {
  if (!CanWrite()) return;
  CloseFiles();
  DropFiles();
  CreateFiles();
  LoadFiles();
}

void FBL_Table::LoadRecord(REC_ID recID) {
  mCurrent = recID;
  for (auto& field : mFields) field->LoadRecord(recID);
}

// ---- walks ------------------------------------------------------------------------

bool FBL_Table::FirstRecord() {
  REC_ID r = mMap->First();
  if (r == 0) {
    mCurrent = 0;
    return false;
  }
  LoadRecord(r);
  return true;
}

bool FBL_Table::LastRecord() {
  REC_ID r = mMap->Last();
  if (r == 0) {
    mCurrent = 0;
    return false;
  }
  LoadRecord(r);
  return true;
}

bool FBL_Table::NextRecord() {
  if (mMap->GetRecordCount() == 0 && mMap->GetMaxRecID() == 0) {
    mCurrent = 0;
    return false;
  }
  REC_ID r = mMap->Next(mCurrent);
  if (r == 0) return false;
  LoadRecord(r);
  return true;
}

bool FBL_Table::PrevRecord() {
  if (mMap->GetRecordCount() == 0 && mMap->GetMaxRecID() == 0) {
    mCurrent = 0;
    return false;
  }
  REC_ID r = mCurrent == 0 ? 0 : mMap->Prev(mCurrent);
  if (r == 0) return false;
  LoadRecord(r);
  return true;
}

bool FBL_Table::GoToRecord(REC_ID recID) {
  if (recID == 0) {
    mCurrent = 0;
    return false;
  }
  if (!mMap->IsAlive(recID)) return false;
  LoadRecord(recID);
  return true;
}

// ---- fields -----------------------------------------------------------------------

FBL_BaseField& FBL_Table::AddField(std::unique_ptr<FBL_BaseField> field) {
  if (!field) throw xFBL_Exception(ERR_ASSERTION_NULL);
  uint32_t number = field->GetFieldNumber();
  size_t at = mFields.size();
  if (number != 0) {
    at = 0;
    for (size_t i = mFields.size(); i > 0; --i) {
      if (mFields[i - 1]->GetFieldNumber() < number) {
        at = i;
        break;
      }
    }
  }
  // A new field takes its position as number, unless a field already has
  // that number: two columns must never share the names of their files.
  uint32_t position = static_cast<uint32_t>(at + 1);
  if (number == 0) {
    for (auto& other : mFields) position = std::max(position, other->GetFieldNumber() + 1);
  }
  FBL_BaseField& added =
      **mFields.insert(mFields.begin() + static_cast<ptrdiff_t>(at), std::move(field));
  added.AttachToTable(*this, position);
  if (mOpened) added.Rebuild();
  return added;
}

std::unique_ptr<FBL_BaseField> FBL_Table::RemoveField(FBL_BaseField& field) {
  for (auto it = mFields.begin(); it != mFields.end(); ++it) {
    if (it->get() != &field) continue;
    std::unique_ptr<FBL_BaseField> removed = std::move(*it);
    mFields.erase(it);
    return removed;
  }
  return nullptr;
}

// ---- the schema -----------------------------------------------------------------

void FBL_Table::SetName(const std::string& name, bool persist) {
  mName = name;
  if (persist) OnSchemaChange(FBL_SchemaChange::kTableName, nullptr);
}

std::unique_ptr<FBL_BaseField> FBL_Table::ReplaceField(FBL_BaseField& field,
                                                       std::unique_ptr<FBL_BaseField> replacement,
                                                       bool persist) {
  if (!replacement) throw xFBL_Exception(ERR_ASSERTION_NULL);
  if (!mOpened) throw xFBL_TableError("The table is not open");
  auto at = std::find_if(mFields.begin(), mFields.end(),
                         [&](const auto& own) { return own.get() == &field; });
  if (at == mFields.end() || replacement->GetTable() != nullptr ||
      replacement->GetFieldNumber() != 0) {
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "ReplaceField takes a column and a new field");
  }
  const bool sameType = replacement->GetType() == field.GetType();
  CopyValuesInto(field, *replacement);
  const uint32_t number = field.GetFieldNumber();
  try {
    field.DropFiles();
    replacement->ChangeNumber(number);
  } catch (...) {
    // The old column's files are gone and the new one has not taken their
    // number: what memory holds must never be committed, the last flush
    // stands (the change is absent after the next open).
    mDataBase.NoteLostChanges();
    throw;
  }
  std::unique_ptr<FBL_BaseField> old = std::move(*at);
  *at = std::move(replacement);
  FBL_BaseField& now = **at;
  if (mCurrent != 0) now.LoadRecord(mCurrent);
  // Formulas that read the old column are made again over the new one.
  for (auto& other : mFields) {
    if (other->IsMethod()) other->SetMethodText(other->GetMethodText(), false);
  }
  if (persist) {
    OnSchemaChange(sameType ? FBL_SchemaChange::kFieldLength : FBL_SchemaChange::kFieldType, &now);
  }
  return old;
}

// The replacement lives under a spare number while the values are copied;
// its index is built once at the end rather than entry by entry.
void FBL_Table::CopyValuesInto(FBL_BaseField& field, FBL_BaseField& replacement) {
  uint32_t spare = 0;
  for (auto& own : mFields) spare = std::max(spare, own->GetFieldNumber());
  constexpr uint16_t kIndexBits = kFieldIndexed | kFieldUnique;
  const auto indexBits = static_cast<uint16_t>(replacement.GetFlags() & kIndexBits);
  if (indexBits != 0) replacement.RemoveFlags(indexBits, false);
  replacement.AttachToTable(*this, spare + 1);
  try {
    replacement.Rebuild();
    if (!replacement.IsMethod()) {
      std::unique_ptr<FBL_BitSet> alive = mMap->SelectAll();
      for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
        field.ReadRecord(r);
        replacement.AssignFrom(field);
        replacement.WriteRecord(r);
      }
    }
    if (indexBits != 0) replacement.AddFlags(indexBits, false);
  } catch (...) {
    try {
      replacement.DropFiles();
      if (mCurrent != 0) field.LoadRecord(mCurrent);
    } catch (const xFBL_Exception&) {
      // The first error is the one to report.
    }
    throw;
  }
}

FBL_BaseField* FBL_Table::GetField(uint32_t position) const {
  if (position == 0 || position > mFields.size()) return nullptr;
  return mFields[position - 1].get();
}

void FBL_Table::CheckFieldsBeforeAdd() {
  for (auto& field : mFields) CheckFieldBeforeAdd(*field);
}

// ---- ciphers -------------------------------------------------------------------------

FBL_FileCiphers FBL_Table::GetFileCiphers() const {
  if (mHasOwnCiphers) return mOwnCiphers;
  const FBL_EncryptionKeyRef& key = mDataBase.GetEncryptionKey();
  if (key != mCipherKey) {
    mKeyCiphers = FBL_FileCiphers::Of(key);
    mCipherKey = key;
  }
  return mKeyCiphers;
}

void FBL_Table::SetOwnCiphers(FBL_FileCiphers ciphers) {
  mOwnCiphers = std::move(ciphers);
  mHasOwnCiphers = true;
}

void FBL_Table::ClearOwnCiphers() {
  mOwnCiphers = {};
  mHasOwnCiphers = false;
}

void FBL_Table::ApplyFileCiphers() {
  if (!mOpened) throw xFBL_TableError("The table is not open");
  for (auto& field : mFields) field->DropIndex();
  CloseFiles();
  GetFileCiphers().Convert(mMap->GetFile());
  for (auto& field : mFields) field->ConvertFileCiphers();
  OpenFiles();
  mOpened = true;
}

// ---- counts and sets ------------------------------------------------------------------

uint32_t FBL_Table::GetRecordCount() const {
  return mMap->GetRecordCount();
}

uint32_t FBL_Table::GetMaxRecID() const {
  return mMap->GetMaxRecID();
}

bool FBL_Table::IsRecordAlive(REC_ID recID) {
  return mMap->IsOpen() && mMap->IsAlive(recID);
}

std::unique_ptr<FBL_BitSet> FBL_Table::SelectAllRecords() {
  return mMap->SelectAll();
}

std::unique_ptr<FBL_BitSet> FBL_Table::MakeEmptySet() const {
  return std::make_unique<FBL_BitSet>(GetMaxRecID());
}

// ---- record locks -----------------------------------------------------------------------

FBL_RecordLocks& FBL_Table::Locks() {
  if (!mLocks) {
    mLocks = std::make_unique<FBL_RecordLocks>(*platform::Env::Default(), GetMaxRecID());
  }
  return *mLocks;
}

void FBL_Table::DropLocks() {
  mLocks.reset();
}

bool FBL_Table::CanModifyRecord(REC_ID recID) {
  if (!CanWrite()) return false;
  return !mLocks || recID == 0 || (mLocks->GetWord(recID) & kLockReadBit) == 0;
}

bool FBL_Table::LockRecord(REC_ID recID, FBL_LockKind kind, uint32_t owner) {
  if (kind == FBL_LockKind::kNone) return true;
  if (recID == 0 || recID > GetMaxRecID()) return false;
  // A kind made from a caller's number may be none of the three.
  if (kind != FBL_LockKind::kRead && kind != FBL_LockKind::kWrite) return false;
  uint32_t word = Locks().GetWord(recID);
  if (!zv::LockWordAcquire(word, kind, owner)) return false;
  mLocks->SetWord(recID, word);
  return true;
}

bool FBL_Table::UnlockRecord(REC_ID recID, uint32_t owner) {
  if (recID == 0 || recID > GetMaxRecID() || !mLocks) return false;
  uint32_t word = mLocks->GetWord(recID);
  if (!zv::LockWordRelease(word, owner)) return false;
  mLocks->SetWord(recID, word);
  return true;
}

bool FBL_Table::IsRecordLocked(REC_ID recID) {
  if (recID == 0 || recID > GetMaxRecID() || !mLocks) return false;
  return (mLocks->GetWord(recID) & (kLockReadBit | kLockWriteBit)) != 0;
}
