#include "api/zdk_cursor.h"

#include "api/handle_registry.h"
#include "api/zdk_database.h"
#include "platform/env.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"

namespace api {

namespace {

constexpr int32_t kErrCantBeUpdated = 605;

// A column of a type without a typed wrapper (none is expected) still
// gets a handle and its text.
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

int32_t ZDK_Cursor::SQLSelect(const std::string& text) {
  mFields.clear();
  mCursor->SetSQL(text);
  if (mCursor->GetError() == 0) mCursor->Execute();
  const int32_t error = mCursor->GetError();
  if (error == 0) SyncFields();
  mPosition = 1;
  return error;
}

std::string ZDK_Cursor::GetSQLstring() const {
  return mCursor->GetSQL();
}

uint32_t ZDK_Cursor::GetRecordCount() {
  return mCursor->GetRecordCount();
}

bool ZDK_Cursor::FirstRecord() {
  mPosition = 1;
  return mCursor->FirstRecord();
}

bool ZDK_Cursor::LastRecord() {
  mPosition = mCursor->GetRecordCount();
  return mCursor->LastRecord();
}

bool ZDK_Cursor::NextRecord() {
  if (mCursor->GetRecordCount() >= mPosition) ++mPosition;
  return mCursor->NextRecord();
}

bool ZDK_Cursor::PrevRecord() {
  if (mPosition > 0) --mPosition;
  return mCursor->PrevRecord();
}

bool ZDK_Cursor::GoToRecord(uint32_t position) {
  const bool moved = mCursor->GoToRecord(position);
  mPosition = moved ? position : 0;
  return moved;
}

void ZDK_Cursor::ThrowError(int32_t fallback) const {
  const int32_t code = mCursor->GetError();
  throw xFBL_Exception(code != 0 ? code : fallback);
}

void ZDK_Cursor::AddRecord() {
  if (!mCursor->AddRecord()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::DeleteRecord() {
  if (!mCursor->DeleteRecord()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::DeleteAllRecords() {
  if (!mCursor->DeleteAllRecords()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::UpdateRecord() {
  if (!mCursor->UpdateRecord()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::UpdateAllRecords() {
  if (!mCursor->UpdateAllRecords()) ThrowError(kErrCantBeUpdated);
}

void ZDK_Cursor::SetBlank() {
  mCursor->BlankRecord();
}

void ZDK_Cursor::DropRecord() {
  mCursor->ReleaseLock();
}

bool ZDK_Cursor::CannotAdd() {
  return mCursor->GetColumnCount() == 0 || mCursor->IsReadOnly();
}

void ZDK_Cursor::ImportASCII(const std::string& path, char fieldDelimiter, char recordDelimiter) {
  if (!platform::Env::Default()->FileExists(path)) throw xFBL_Exception(ERR_FILE_NOT_FOUND);
  if (CannotAdd()) throw xFBL_Exception(kErrCantBeUpdated);
  const int32_t before = mCursor->GetError();
  const uint32_t added = mCursor->ImportText(path, fieldDelimiter, recordDelimiter);
  // The object layer answers 0 with its error code set on a refusal.
  if (added == 0 && mCursor->GetError() != 0 && mCursor->GetError() != before) ThrowError(0);
  SyncFields();
}

void ZDK_Cursor::ExportASCII(const std::string& path, char fieldDelimiter, char recordDelimiter) {
  const int32_t before = mCursor->GetError();
  const uint32_t written = mCursor->ExportText(path, fieldDelimiter, recordDelimiter);
  if (written == 0 && mCursor->GetError() != 0 && mCursor->GetError() != before) ThrowError(0);
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

void ZDK_Cursor::SyncFields() {
  const uint32_t count = mCursor->GetColumnCount();
  bool same = count == mFields.size();
  for (uint32_t i = 1; same && i <= count; ++i) {
    same = mCursor->GetColumn(i) == &mFields[i - 1]->Kernel();
  }
  if (same) return;
  std::vector<std::unique_ptr<ZDK_Field>> next;
  next.reserve(count);
  for (uint32_t i = 1; i <= count; ++i) {
    FBL_BaseField* column = mCursor->GetColumn(i);
    if (column == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
    next.push_back(WrapColumn(*column));
  }
  mFields.swap(next);
}

ZDK_Cursor* FindCursor(int32_t handle) {
  return static_cast<ZDK_Cursor*>(HandleRegistry::Instance().Find(handle, HandleKind::Cursor));
}

}  // namespace api
