#include "api/zdk_cursor.h"

#include <algorithm>

#include "api/handle_registry.h"
#include "api/zdk_database.h"
#include "kernel/tables/table.h"
#include "platform/env.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"

namespace api {

namespace {

constexpr int32_t kErrCantBeUpdated = 605;

// A column of a type without a typed wrapper (a RecID column) still gets
// a handle and its text.
std::unique_ptr<ZDK_Field> WrapColumn(FBL_BaseField& column) {
  try {
    return MakeFieldWrapper(column, nullptr);
  } catch (const xFBL_Exception& e) {
    if (e.Code != ERR_ASSERTION_NULL) throw;
  }
  return std::make_unique<ZDK_Field>(column, nullptr);
}

}  // namespace

ZDK_Cursor::ZDK_Cursor(ZDK_DataBase& db, uint8_t location, uint8_t lockMode, uint8_t direction)
    : mDataBase(db),
      mCursor(std::make_unique<OBL_Cursor>(db.Db(), location, lockMode, direction)) {
  mHandle = HandleRegistry::Instance().Register(HandleKind::Cursor, this);
}

ZDK_Cursor::~ZDK_Cursor() {
  HandleRegistry::Instance().Unregister(mHandle);
  mFields.clear();
  mCursor.reset();
}

OBL_Cursor& ZDK_Cursor::ThrowIfGone() const {
  if (mGone) throw xFBL_Exception(ERR_BASE_OBJECT_NOT_FOUND);
  return *mCursor;
}

int32_t ZDK_Cursor::SQLSelect(const std::string& text) {
  OBL_Cursor& cursor = ThrowIfGone();
  mFields.clear();
  mHomes.clear();
  cursor.SetSQL(text);
  if (cursor.GetError() == 0) cursor.Execute();
  const int32_t error = cursor.GetError();
  if (error == 0) SyncFields();
  mPosition = 1;
  return error;
}

std::string ZDK_Cursor::GetSQLstring() const {
  return mCursor->GetSQL();
}

uint32_t ZDK_Cursor::GetRecordCount() {
  OBL_Cursor* cursor = Live();
  return cursor == nullptr ? 0 : cursor->GetRecordCount();
}

bool ZDK_Cursor::FirstRecord() {
  mPosition = 1;
  OBL_Cursor* cursor = Live();
  return cursor != nullptr && cursor->FirstRecord();
}

bool ZDK_Cursor::LastRecord() {
  mPosition = GetRecordCount();
  OBL_Cursor* cursor = Live();
  return cursor != nullptr && cursor->LastRecord();
}

bool ZDK_Cursor::NextRecord() {
  if (GetRecordCount() >= mPosition) ++mPosition;
  OBL_Cursor* cursor = Live();
  return cursor != nullptr && cursor->NextRecord();
}

bool ZDK_Cursor::PrevRecord() {
  if (mPosition > 0) --mPosition;
  OBL_Cursor* cursor = Live();
  return cursor != nullptr && cursor->PrevRecord();
}

bool ZDK_Cursor::GoToRecord(uint32_t position) {
  OBL_Cursor* cursor = Live();
  const bool moved = cursor != nullptr && cursor->GoToRecord(position);
  mPosition = moved ? position : 0;
  return moved;
}

void ZDK_Cursor::ThrowError(int32_t fallback) const {
  const int32_t code = mCursor->GetError();
  throw xFBL_Exception(code != 0 ? code : fallback);
}

void ZDK_Cursor::AddRecord(bool load) {
  if (!ThrowIfGone().AddRecord(load)) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::DeleteRecord() {
  if (!ThrowIfGone().DeleteRecord()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::DeleteAllRecords() {
  if (!ThrowIfGone().DeleteAllRecords()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::UpdateRecord() {
  if (!ThrowIfGone().UpdateRecord()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::UpdateAllRecords() {
  if (!ThrowIfGone().UpdateAllRecords()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::SetBlank() {
  if (OBL_Cursor* cursor = Live()) cursor->BlankRecord();
}

void ZDK_Cursor::DropRecord() {
  if (OBL_Cursor* cursor = Live()) cursor->ReleaseLock();
}

bool ZDK_Cursor::CannotAdd() {
  OBL_Cursor* cursor = Live();
  return cursor == nullptr || cursor->GetColumnCount() == 0 || cursor->IsReadOnly();
}

void ZDK_Cursor::ImportASCII(const std::string& path, char fieldDelimiter, char recordDelimiter) {
  OBL_Cursor& cursor = ThrowIfGone();
  if (!platform::Env::Default()->FileExists(path)) throw xFBL_Exception(ERR_FILE_NOT_FOUND);
  if (CannotAdd()) throw xFBL_Exception(kErrCantBeUpdated);
  const int32_t before = cursor.GetError();
  const uint32_t added = cursor.ImportText(path, fieldDelimiter, recordDelimiter);
  // The object layer answers 0 with its error code set on a refusal.
  if (added == 0 && cursor.GetError() != 0 && cursor.GetError() != before) ThrowError(0);
  SyncFields();
}

void ZDK_Cursor::ExportASCII(const std::string& path, char fieldDelimiter, char recordDelimiter) {
  OBL_Cursor& cursor = ThrowIfGone();
  const int32_t before = cursor.GetError();
  const uint32_t written = cursor.ExportText(path, fieldDelimiter, recordDelimiter);
  if (written == 0 && cursor.GetError() != 0 && cursor.GetError() != before) ThrowError(0);
}

ZDK_Field* ZDK_Cursor::GetField(uint32_t number) const {
  if (number == 0 || number > mFields.size()) return nullptr;
  return mFields[number - 1].get();
}

ZDK_Field* ZDK_Cursor::GetField(const std::string& name) const {
  for (const auto& field : mFields) {
    if (zv::SameName(field->GetName(), name)) return field.get();
  }
  return nullptr;
}

bool ZDK_Cursor::ColumnsStillThere() const {
  return std::all_of(mHomes.begin(), mHomes.end(), [](const ColumnHome& home) {
    // A RecID column is the table's own, never one of its fields.
    if (home.table == nullptr || home.type == kTypeRecID) return true;
    for (uint32_t n = 1; n <= home.table->FieldCount(); ++n) {
      const FBL_BaseField* field = home.table->GetField(n);
      if (field == home.field && field->GetType() == home.type) return true;
    }
    return false;
  });
}

void ZDK_Cursor::SyncFields() {
  if (mGone) return;
  // No columns: no rows, or the object layer let them go with a dropped
  // table (whose fields the homes may name: they are not looked at).
  const uint32_t count = mCursor->GetColumnCount();
  if (count != 0 && !ColumnsStillThere()) {
    // The object-layer cursor still points at the field that went: it is
    // never asked anything again.
    mGone = true;
    mFields.clear();
    mHomes.clear();
    return;
  }
  bool same = count == mFields.size();
  for (uint32_t i = 1; same && i <= count; ++i) {
    same = mCursor->GetColumn(i) == &mFields[i - 1]->Kernel();
  }
  if (same) return;
  std::vector<std::unique_ptr<ZDK_Field>> next;
  std::vector<ColumnHome> homes;
  next.reserve(count);
  homes.reserve(count);
  for (uint32_t i = 1; i <= count; ++i) {
    FBL_BaseField* column = mCursor->GetColumn(i);
    if (column == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
    next.push_back(WrapColumn(*column));
    homes.push_back(ColumnHome{column->GetTable(), column, column->GetType()});
  }
  mFields.swap(next);
  mHomes.swap(homes);
}

ZDK_Cursor* FindCursor(int32_t handle) {
  return static_cast<ZDK_Cursor*>(HandleRegistry::Instance().Find(handle, HandleKind::Cursor));
}

}  // namespace api
