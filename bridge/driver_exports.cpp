// The driver's flat functions: databases, statements and cursor moves.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "api/api_layer.h"
#include "bridge/bridge_commands.h"
#include "bridge/bridge_state.h"
#include "bridge/driver_binds.h"
#include "bridge/driver_calls.h"
#include "platform/memory.h"

namespace bridge {

std::string DriverErrorDetail;

void ErrorCodeReset() {
  ErrorCode = 0;
  DriverErrorDetail.clear();
  errno = 0;
}

int32_t SystemErrorCode() {
  return errno != 0 ? errno : ERR_INTERNAL;
}

void NoteFailure(int32_t code, const char* detail) {
  // A failure must never read as success.
  ErrorCode = code != 0 ? code : ERR_INTERNAL;
  DriverErrorDetail = detail != nullptr ? detail : "";
}

std::string DriverErrorText() {
  if (ErrorCode == 0) return {};
  std::string text = DriverErrorDetail;
  if (text.empty()) text = ErrorText(ErrorCode);
  // Codes outside the table are the system's (a missing file, no permission).
  if (text.empty() && ErrorCode > 0 && ErrorCode < 300) text = std::strerror(ErrorCode);
  if (text.empty()) text = "Error " + std::to_string(ErrorCode);
  if (text.size() >= ZREVDB_ERROR_BUFFER) text.resize(ZREVDB_ERROR_BUFFER - 1);
  return text;
}

namespace {

int32_t HandleOf(const void* reference) {
  const auto value = reinterpret_cast<uintptr_t>(reference);
  return value <= INT32_MAX ? static_cast<int32_t>(value) : 0;
}

}  // namespace

api::ZDK_DataBase& DataBaseOf(ZREVDB_DataBase* db) {
  api::ZDK_DataBase* found = api::FindDataBase(HandleOf(db));
  if (found == nullptr) throw xFBL_Exception(ERR_WRONG_DB_REF);
  return *found;
}

api::ZDK_Cursor& CursorOf(ZREVDB_Cursor* cursor) {
  api::ZDK_Cursor* found = api::FindCursor(HandleOf(cursor));
  if (found == nullptr) throw xFBL_Exception(ERR_WRONG_CURSOR_REF);
  return *found;
}

ZREVDB_DataBase* DataBaseRef(const api::ZDK_DataBase& db) {
  return reinterpret_cast<ZREVDB_DataBase*>(static_cast<uintptr_t>(db.GetHandle()));
}

ZREVDB_Cursor* CursorRef(const api::ZDK_Cursor& cursor) {
  return reinterpret_cast<ZREVDB_Cursor*>(static_cast<uintptr_t>(cursor.GetHandle()));
}

ZREVDB_Cursor* SelectText(ZREVDB_DataBase* db, const std::string& text) {
  return DriverCall<ZREVDB_Cursor*>(nullptr, [&] {
    // Location 1, read-only, forward-only.
    api::ZDK_Cursor& cursor = DataBaseOf(db).SqlSelect(text, 1, 2, 1);
    return CursorRef(cursor);
  });
}

}  // namespace bridge

using namespace bridge;

extern "C" {

ZORVANE_EXPORT void ZREVDB_Init(uint32_t cacheBytes) {
  DriverCall<int>(0, [&] {
    api::ZDK_Start(InitCacheSize(true, cacheBytes, platform::PhysicalMemorySize()));
    return 0;
  });
}

ZORVANE_EXPORT void ZREVDB_Shutdown(void) {
  DriverCall<int>(0, [] {
    api::ZDK_Stop();
    return 0;
  });
}

ZORVANE_EXPORT ZREVDB_DataBase* ZREVDB_Connect(const char*, const char*, const char*,
                                               const char* path, int32_t) {
  return DriverCall<ZREVDB_DataBase*>(nullptr, [&] {
    if (path == nullptr) throw xFBL_Exception(ERR_WRONG_PARAMETER, "No database path given");
    api::ZDK_DataBase& db = api::NewDataBase();
    try {
      db.Open(path);
    } catch (...) {
      api::DeleteDataBase(db);
      throw;
    }
    return DataBaseRef(db);
  });
}

ZORVANE_EXPORT void ZREVDB_DBClose(ZREVDB_DataBase* db) {
  DriverCall<int>(0, [&] {
    api::ZDK_DataBase& found = DataBaseOf(db);
    try {
      found.Close();
    } catch (...) {
      api::DeleteDataBase(found);
      throw;
    }
    api::DeleteDataBase(found);
    return 0;
  });
}

ZORVANE_EXPORT ZREVDB_Cursor* ZREVDB_SQLSelect(ZREVDB_DataBase* db, const char* text) {
  return SelectText(db, text != nullptr ? text : "");
}

ZORVANE_EXPORT bool ZREVDB_SQLExecute(ZREVDB_DataBase* db, const char* text, uint32_t* outAffected,
                                      const BindValue* binds, int32_t count) {
  return DriverCall<bool>(false, [&] {
    api::ZDK_DataBase& found = DataBaseOf(db);
    const BindList list(binds, count);
    const uint32_t changed = found.SqlExecute(text != nullptr ? text : "", list.Values());
    if (outAffected != nullptr) *outAffected = changed;
    return true;
  });
}

ZORVANE_EXPORT void ZREVDB_RemoveCursor(ZREVDB_Cursor* cursor) {
  DriverCall<int>(0, [&] {
    api::ZDK_Cursor& found = CursorOf(cursor);
    found.GetDataBase().RemoveCursor(found);
    return 0;
  });
}

ZORVANE_EXPORT uint32_t ZREVDB_GetRecordCount(ZREVDB_Cursor* cursor) {
  return DriverCall<uint32_t>(0, [&] { return CursorOf(cursor).GetRecordCount(); });
}

ZORVANE_EXPORT uint32_t ZREVDB_GetPosition(ZREVDB_Cursor* cursor) {
  return DriverCall<uint32_t>(0, [&] { return CursorOf(cursor).GetPosition(); });
}

ZORVANE_EXPORT bool ZREVDB_GoToRecord(ZREVDB_Cursor* cursor, uint32_t record) {
  return DriverCall<bool>(false, [&] { return CursorOf(cursor).GoToRecord(record); });
}

ZORVANE_EXPORT bool ZREVDB_FirstRecord(ZREVDB_Cursor* cursor) {
  return DriverCall<bool>(false, [&] { return CursorOf(cursor).FirstRecord(); });
}

ZORVANE_EXPORT bool ZREVDB_LastRecord(ZREVDB_Cursor* cursor) {
  return DriverCall<bool>(false, [&] { return CursorOf(cursor).LastRecord(); });
}

ZORVANE_EXPORT bool ZREVDB_NextRecord(ZREVDB_Cursor* cursor) {
  return DriverCall<bool>(false, [&] { return CursorOf(cursor).NextRecord(); });
}

ZORVANE_EXPORT bool ZREVDB_PrevRecord(ZREVDB_Cursor* cursor) {
  return DriverCall<bool>(false, [&] { return CursorOf(cursor).PrevRecord(); });
}

ZORVANE_EXPORT ZREVDB_Table* ZREVDB_GetTableRef(ZREVDB_DataBase* db, const char* name) {
  return DriverCall<ZREVDB_Table*>(nullptr, [&]() -> ZREVDB_Table* {
    api::ZDK_BaseObject* table = DataBaseOf(db).FindBaseObject(name != nullptr ? name : "");
    if (table == nullptr) return nullptr;
    return reinterpret_cast<ZREVDB_Table*>(static_cast<uintptr_t>(table->GetHandle()));
  });
}

ZORVANE_EXPORT void ZREVDB_GetError(char* buffer) {
  if (buffer == nullptr) return;
  const std::string text = DriverErrorText();
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

}  // extern "C"
