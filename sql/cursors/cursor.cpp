#include "sql/cursors/cursor.h"

#include "kernel/sets/bit_set.h"
#include "kernel/tables/record_locks.h"
#include "objects/object_database.h"
#include "platform/errors.h"
#include "sql/cursors/cursor_table_indirect.h"
#include "sql/cursors/cursor_table_tmp.h"
#include "sql/parser/select_parser.h"

namespace {

constexpr int32_t kErrCantBeUpdated = 605;

}  // namespace

OBL_Cursor::OBL_Cursor(OBL_DataBase& db, uint8_t location, uint8_t lockMode, uint8_t direction)
    : mDb(&db),
      mLocation(location),
      mLockMode(db.IsReadOnly() ? uint8_t{1} : lockMode),
      mDirection(direction == 1 ? OBL_CursorDirection::kForwardOnly : OBL_CursorDirection::kRandom) {
  db.RegisterCursor(*this);
}

OBL_Cursor::~OBL_Cursor() {
  DropRows();
  mParser.reset();
  if (mDb != nullptr) mDb->UnregisterCursor(*this);
}

void OBL_Cursor::DropRows() {
  mLettingGo = true;
  try {
    mTable.reset();
  } catch (...) {
    // Destructors report nothing; the rows are gone either way.
  }
  mLettingGo = false;
}

template <class Op>
bool OBL_Cursor::Guard(Op op) {
  try {
    return op();
  } catch (const xFBL_Exception& e) {
    mError = e.Code;
  } catch (const std::bad_alloc&) {
    mError = ERR_NOT_ENOUGH_RAM;
  }
  return false;
}

OBL_I_CursorTable* OBL_Cursor::Table() {
  if (mGoneError != 0) {
    mError = mGoneError;
    return nullptr;
  }
  return mTable.get();
}

uint32_t OBL_Cursor::GetColumnCount() {
  OBL_I_CursorTable* table = Table();
  return table == nullptr ? 0 : table->GetColumnCount();
}

FBL_BaseField* OBL_Cursor::GetColumn(uint32_t index) {
  OBL_I_CursorTable* table = Table();
  return table == nullptr ? nullptr : table->GetColumn(index);
}

uint32_t OBL_Cursor::GetRecordCount() {
  OBL_I_CursorTable* table = Table();
  return table == nullptr ? 0 : table->GetRecordCount();
}

bool OBL_Cursor::FirstRecord() {
  OBL_I_CursorTable* table = Table();
  if (table == nullptr) return false;
  if (mDirection == OBL_CursorDirection::kForwardOnly) return table->GetPosition() == 1;
  return Guard([&] { return table->FirstRecord(); });
}

bool OBL_Cursor::LastRecord() {
  OBL_I_CursorTable* table = Table();
  if (table == nullptr) return false;
  return Guard([&] {
    if (mDirection == OBL_CursorDirection::kForwardOnly && mLockMode != 1) table->ReleaseLock();
    return table->LastRecord();
  });
}

bool OBL_Cursor::NextRecord() {
  OBL_I_CursorTable* table = Table();
  if (table == nullptr) return false;
  return Guard([&] {
    if (mDirection == OBL_CursorDirection::kForwardOnly && mLockMode != 1) table->ReleaseLock();
    return table->NextRecord();
  });
}

bool OBL_Cursor::PrevRecord() {
  OBL_I_CursorTable* table = Table();
  if (table == nullptr || mDirection == OBL_CursorDirection::kForwardOnly) return false;
  return Guard([&] { return table->PrevRecord(); });
}

bool OBL_Cursor::GoToRecord(uint32_t position) {
  OBL_I_CursorTable* table = Table();
  if (table == nullptr) return false;
  return Guard([&] { return table->GoToRecord(position); });
}

uint32_t OBL_Cursor::GetCurrentPosition() {
  OBL_I_CursorTable* table = Table();
  return table == nullptr ? 0 : table->GetPosition();
}

void OBL_Cursor::BlankRecord() {
  OBL_I_CursorTable* table = Table();
  if (table != nullptr) Guard([&] {
      table->BlankRecord();
      return true;
    });
}

bool OBL_Cursor::ChangeAllowed() {
  if (Table() == nullptr) return false;
  if (IsReadOnly()) {
    mError = kErrCantBeUpdated;
    return false;
  }
  return true;
}

bool OBL_Cursor::AddRecord(bool load) {
  return ChangeAllowed() && Guard([&] {
           mTable->AddRecord(load);
           return true;
         });
}

bool OBL_Cursor::DeleteRecord() {
  return ChangeAllowed() && Guard([&] {
           mTable->DeleteRecord();
           return true;
         });
}

bool OBL_Cursor::DeleteAllRecords() {
  return ChangeAllowed() && Guard([&] {
           mTable->DeleteAllRecords();
           return true;
         });
}

bool OBL_Cursor::UpdateRecord() {
  return ChangeAllowed() && Guard([&] {
           mTable->UpdateRecord();
           return true;
         });
}

bool OBL_Cursor::UpdateAllRecords() {
  return ChangeAllowed() && Guard([&] {
           mTable->UpdateAllRecords();
           return true;
         });
}

bool OBL_Cursor::ClearColumn(uint32_t index) {
  return ChangeAllowed() && Guard([&] {
           mTable->ClearColumn(index);
           return true;
         });
}

void OBL_Cursor::SetReadOnly(uint8_t on) {
  if (OBL_I_CursorTable* table = Table()) table->SetReadOnly(on != 0);
}

void OBL_Cursor::ReleaseLock() {
  OBL_I_CursorTable* table = Table();
  if (table != nullptr) Guard([&] {
      table->ReleaseLock();
      return true;
    });
}

bool OBL_Cursor::LockCurrent(uint32_t kind) {
  OBL_I_CursorTable* table = Table();
  if (table == nullptr) return false;
  return Guard([&] { return table->LockCurrent(static_cast<FBL_LockKind>(kind)); });
}

REC_ID OBL_Cursor::GetRecID(uint32_t fromPosition) {
  OBL_I_CursorTable* table = Table();
  return table == nullptr ? 0 : table->GetRecID(fromPosition);
}

std::unique_ptr<FBL_BitSet> OBL_Cursor::GetRecords(uint32_t fromPosition) {
  OBL_I_CursorTable* table = Table();
  std::unique_ptr<FBL_BitSet> records;
  if (table != nullptr) {
    Guard([&] {
      records = table->GetRecords(fromPosition);
      return true;
    });
  }
  return records;
}

uint32_t OBL_Cursor::ImportText(const std::string& path, char fieldDelimiter,
                                char recordDelimiter) {
  uint32_t count = 0;
  if (!ChangeAllowed()) return 0;
  Guard([&] {
    count = mTable->ImportText(path, FBL_TextFormat{fieldDelimiter, recordDelimiter});
    return true;
  });
  return count;
}

uint32_t OBL_Cursor::ExportText(const std::string& path, char fieldDelimiter,
                                char recordDelimiter) {
  uint32_t count = 0;
  OBL_I_CursorTable* table = Table();
  if (table == nullptr) return 0;
  Guard([&] {
    count = table->ExportText(path, FBL_TextFormat{fieldDelimiter, recordDelimiter});
    return true;
  });
  return count;
}

void OBL_Cursor::SetSQL(const std::string& text) {
  if (mDb == nullptr) {
    mError = mGoneError;
    return;
  }
  DropRows();
  mGoneError = 0;
  mText = text + " ";
  mParser = std::make_unique<OBL_Parser>(*mDb);
  mError = mParser->Parse(mText);
}

void OBL_Cursor::SetParams(std::span<const SQL_Param> params) {
  // The rows hold a view of the values.
  DropRows();
  mParams.resize(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    mParams[i].mNull = params[i].mNull;
    mParams[i].mBytes.assign(params[i].mNull ? std::string_view() : params[i].mBytes);
  }
}

bool OBL_Cursor::Execute() {
  if (mDb == nullptr || mGoneError != 0) {
    mError = mGoneError;
    return false;
  }
  DropRows();
  if (!mParser || mParser->GetError() != 0) return false;
  mError = 0;
  const SQL_SelectStatement& stmt = mParser->GetStatement();
  return Guard([&] {
    std::unique_ptr<OBL_I_CursorTable> table;
    if (stmt.HasAggregate()) {
      table = std::make_unique<OBL_CursorTable_Tmp>(stmt, mParams);
    } else {
      table = std::make_unique<OBL_CursorTable_Indirect>(
          stmt, mParams, static_cast<OBL_LockMode>(mLockMode), false);
    }
    table->Build();
    mTable = std::move(table);
    mTable->FirstRecord();
    return true;
  });
}

OBL_DataBase* OBL_Cursor::GetDataBase() { return mDb; }

std::string OBL_Cursor::GetSQL() const {
  return mText.empty() ? mText : mText.substr(0, mText.size() - 1);
}

bool OBL_Cursor::IsReadOnly() {
  if (mLockMode == 2) return true;
  OBL_I_CursorTable* table = Table();
  return table == nullptr || table->IsReadOnly();
}

void OBL_Cursor::LetGo(const OBL_BaseObject* table) {
  if (mLettingGo) return;
  if (table != nullptr && (!mTable || !mTable->Uses(*table))) {
    // A statement parsed over the table still names it.
    if (!mParser) return;
    const SQL_SelectStatement& stmt = mParser->GetStatement();
    bool named = false;
    for (uint32_t i = 1; i <= stmt.GetFromCount(); ++i) {
      named = named || &stmt.GetFromEntry(i)->GetTable() == table;
    }
    if (!named) return;
  }
  mLettingGo = true;
  if (mTable) {
    if (table != nullptr) {
      try {
        mTable->ReleaseLock();
      } catch (const xFBL_Exception&) {
        // The locks go with the tables anyway.
      }
    } else {
      mTable->LetGo();
    }
  }
  mTable.reset();
  mParser.reset();
  mLettingGo = false;
  mGoneError = table == nullptr ? ERR_DATABASE_NOT_OPENED : ERR_BASE_OBJECT_NOT_FOUND;
  if (table == nullptr) mDb = nullptr;
}
