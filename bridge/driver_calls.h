// What the driver's flat functions share: the error they report, the
// opaque references they hand out and the guard every export runs in.
//
// References are registry handles dressed as pointers, so a released
// database or cursor is an unknown handle (390, 393), never freed memory.
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "api/zdk_cursor.h"
#include "api/zdk_database.h"
#include "platform/errors.h"
#include "zorvane/dbdriver.h"

namespace bridge {

// The message a failure carried beyond its code ("" for the standard text).
extern std::string DriverErrorDetail;

// The text of the last failure, at most ZREVDB_ERROR_BUFFER - 1 bytes.
std::string DriverErrorText();

void NoteFailure(int32_t code, const char* detail);
// ErrorCode, the detail and errno cleared, as every export starts.
void ErrorCodeReset();
// A failure of no family: the system's last error, else 300.
int32_t SystemErrorCode();

template <typename Result, typename Body>
Result DriverCall(Result failed, Body body) {
  ErrorCodeReset();
  try {
    return body();
  } catch (const xFBL_Exception& e) {
    NoteFailure(e.Code, e.HasMessage() ? e.what() : nullptr);
  } catch (const std::bad_alloc&) {
    NoteFailure(ERR_NOT_ENOUGH_RAM, nullptr);
  } catch (...) {
    NoteFailure(SystemErrorCode(), nullptr);
  }
  return failed;
}

api::ZDK_DataBase& DataBaseOf(ZREVDB_DataBase* db);
api::ZDK_Cursor& CursorOf(ZREVDB_Cursor* cursor);
ZREVDB_DataBase* DataBaseRef(const api::ZDK_DataBase& db);
ZREVDB_Cursor* CursorRef(const api::ZDK_Cursor& cursor);

// A SELECT of any bytes (ZREVDB_SQLSelect stops at the text's zero).
ZREVDB_Cursor* SelectText(ZREVDB_DataBase* db, const std::string& text);

}  // namespace bridge
