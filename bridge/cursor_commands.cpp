// The cursor commands: moving over a SELECT's rows, reading and writing
// them as text, adding records from text, and the rows' files.
#include <cstring>
#include <string>

#include "api/value_text.h"
#include "api/zdk_cursor.h"
#include "api/zdk_database.h"
#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/command_handlers.h"
#include "bridge/cursor_text.h"
#include "bridge/object_arguments.h"
#include "bridge/result_buffer.h"
#include "bridge/trace.h"
#include "platform/errors.h"

namespace bridge {

namespace {

constexpr char kTab = '\t';
constexpr char kLineFeed = '\n';
constexpr char kReturn = '\r';

// An optional record number: given, the cursor moves there first.
bool MoveIfGiven(api::ZDK_Cursor& cursor, int k) {
  if (!ArgPresent(k)) return true;
  return cursor.GoToRecord(static_cast<uint32_t>(ArgNumber(k)));
}

void AppendText(const std::string& text) {
  if (!text.empty()) AppendResult(text.data(), text.size());
}

// Every column wrapper must take text before a record is added from text.
void RequireTextColumns(api::ZDK_Cursor& cursor) {
  for (uint32_t i = 1; i <= cursor.GetFieldCount(); ++i) {
    if (!api::TypeTakesText(cursor.GetField(i)->GetType())) {
      throw xFBL_Exception(ERR_WRONG_PARAMETER);
    }
  }
}

// One record per line: a value for each column in turn; an empty value
// leaves its column blank, a short line leaves the rest blank, and a long
// line goes on as the next record.
bool AddRecordsFromText(api::ZDK_Cursor& cursor, int textSlot) {
  const char* text = ArgRequiredText(textSlot);
  const char fieldDelimiter = ArgChar(textSlot + 1, kTab);
  const char recordDelimiter = ArgChar(textSlot + 2, kLineFeed);
  if (cursor.CannotAdd()) return false;
  RequireTextColumns(cursor);
  const uint32_t n = cursor.GetFieldCount();
  const char stops[3] = {fieldDelimiter, recordDelimiter, '\0'};
  std::string value;
  const char* p = text;
  while (*p != '\0') {
    cursor.SetBlank();
    for (uint32_t i = 1; i <= n && *p != '\0'; ++i) {
      if (*p == fieldDelimiter) {
        ++p;
        continue;
      }
      if (*p == recordDelimiter) {
        ++p;
        break;
      }
      const size_t length = std::strcspn(p, stops);
      value.assign(p, length);
      api::TextToValue(*cursor.GetField(i), value.c_str(), value.size());
      p += length;
      if (*p == fieldDelimiter || (*p == recordDelimiter && i == n)) ++p;
    }
    // Only the last record is read back: the cursor ends on it.
    cursor.AddRecord(*p == '\0');
  }
  return true;
}

}  // namespace

void Cmd_Cursor_Remove() {
  TraceCommand("Cursor_Remove...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  cursor.GetDataBase().RemoveCursor(cursor);
}

void Cmd_Cursor_IsValid() {
  TraceCommand("Cursor_IsValid...");
  // Answered from the registry at every debug level.
  ReturnBoolean(api::FindCursor(ArgNumber(1)) != nullptr);
}

void Cmd_Cursor_GetDatabase() {
  TraceCommand("Cursor_GetDatabase...");
  AppendText(ArgCursor(1).GetDataBase().GetName());
}

void Cmd_Cursor_GetSQLstring() {
  TraceCommand("Cursor_GetSQLstring...");
  AppendText(ArgCursor(1).GetSQLstring());
}

void Cmd_Cursor_GetRecordCount() {
  TraceCommand("Cursor_GetRecordCount...");
  ReturnULong(ArgCursor(1).GetRecordCount());
}

void Cmd_Cursor_SetBlank() {
  TraceCommand("Cursor_SetBlank...");
  ArgCursor(1).SetBlank();
}

void Cmd_Cursor_AddRecord() {
  TraceCommand("Cursor_AddRecord...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  if (ArgPresent(2)) {
    ReturnBoolean(AddRecordsFromText(cursor, 2));
    return;
  }
  cursor.AddRecord();
  ReturnBoolean(true);
}

void Cmd_Cursor_AddRecords() {
  TraceCommand("Cursor_AddRecords...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  ReturnBoolean(AddRecordsFromText(cursor, 2));
}

void Cmd_Cursor_UpdateRecord() {
  TraceCommand("Cursor_UpdateRecord...");
  ArgCursor(1).UpdateRecord();
  ReturnBoolean(true);
}

void Cmd_Cursor_UpdateAllRecords() {
  TraceCommand("Cursor_UpdateAllRecords...");
  ArgCursor(1).UpdateAllRecords();
  ReturnBoolean(true);
}

void Cmd_Cursor_DeleteRecord() {
  TraceCommand("Cursor_DeleteRecord...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  if (!MoveIfGiven(cursor, 2)) {
    ReturnBoolean(false);
    return;
  }
  cursor.DeleteRecord();
  ReturnBoolean(true);
}

void Cmd_Cursor_DeleteAllRecords() {
  TraceCommand("Cursor_DeleteAllRecords...");
  ArgCursor(1).DeleteAllRecords();
  ReturnBoolean(true);
}

void Cmd_Cursor_DropRecord() {
  TraceCommand("Cursor_DropRecord...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  if (MoveIfGiven(cursor, 2)) cursor.DropRecord();
}

void Cmd_Cursor_FirstRecord() {
  TraceCommand("Cursor_FirstRecord...");
  ReturnBoolean(ArgCursor(1).FirstRecord());
}

void Cmd_Cursor_LastRecord() {
  TraceCommand("Cursor_LastRecord...");
  ReturnBoolean(ArgCursor(1).LastRecord());
}

void Cmd_Cursor_NextRecord() {
  TraceCommand("Cursor_NextRecord...");
  ReturnBoolean(ArgCursor(1).NextRecord());
}

void Cmd_Cursor_PrevRecord() {
  TraceCommand("Cursor_PrevRecord...");
  ReturnBoolean(ArgCursor(1).PrevRecord());
}

void Cmd_Cursor_GoToRecord() {
  TraceCommand("Cursor_GoToRecord...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  ReturnBoolean(cursor.GoToRecord(static_cast<uint32_t>(ArgNumber(2))));
}

void Cmd_Cursor_GetPosition() {
  TraceCommand("Cursor_GetPosition...");
  ReturnULong(ArgCursor(1).GetPosition());
}

void Cmd_Cursor_ImportASCII() {
  TraceCommand("Cursor_ImportASCII...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  cursor.ImportASCII(ArgRequiredText(2), ArgChar(3, kTab), ArgChar(4, kReturn));
}

void Cmd_Cursor_ExportASCII() {
  TraceCommand("Cursor_ExportASCII...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  cursor.ExportASCII(ArgRequiredText(2), ArgChar(3, kTab), ArgChar(4, kReturn));
}

void Cmd_Cursor_GetFieldCount() {
  TraceCommand("Cursor_GetFieldCount...");
  ReturnULong(ArgCursor(1).GetFieldCount());
}

void Cmd_Cursor_GetFieldName() {
  TraceCommand("Cursor_GetFieldName...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  const int32_t number = ArgNumber(2);
  api::ZDK_Field* field = number > 0 ? cursor.GetField(static_cast<uint32_t>(number)) : nullptr;
  if (field == nullptr) throw xFBL_Exception(ERR_EXPECTED_FIELD_NOT_FOUND);
  AppendText(field->GetName());
}

void Cmd_Cursor_GetFieldRef() {
  TraceCommand("Cursor_GetFieldRef...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  ReturnLong(ArgCursorField(cursor, 2).GetHandle());
}

void Cmd_Cursor_GetField() {
  TraceCommand("Cursor_GetField...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  AppendText(api::ValueToText(ArgCursorField(cursor, 2)));
}

void Cmd_Cursor_SetField() {
  TraceCommand("Cursor_SetField...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  api::ZDK_Field& field = ArgCursorField(cursor, 2);
  const char* text = ArgText(3);
  api::TextToValue(field, text, text == nullptr ? 0 : std::strlen(text));
}

namespace {

void CheckPictureField() {
  api::ZDK_Cursor& cursor = ArgCursor(1);
  if (ArgCursorField(cursor, 2).GetType() != kTypePicture) {
    throw xFBL_Exception(ERR_WRONG_PARAMETER);
  }
}

}  // namespace

void Cmd_Cursor_GetPicture() {
  TraceCommand("Cursor_GetPicture...");
  CheckPictureField();
}

void Cmd_Cursor_SetPicture() {
  TraceCommand("Cursor_SetPicture...");
  CheckPictureField();
}

void Cmd_Cursor_GetRecord() {
  TraceCommand("Cursor_GetRecord...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  const char fieldDelimiter = ArgChar(3, kTab);
  if (!MoveIfGiven(cursor, 2) || cursor.GetPosition() == 0) {
    throw xFBL_Exception(ERR_RECORD_NOT_FOUND);
  }
  AppendRecord(cursor, fieldDelimiter);
}

void Cmd_Cursor_GetRecords() {
  TraceCommand("Cursor_GetRecords...");
  api::ZDK_Cursor& cursor = ArgCursor(1);
  const int32_t first = ArgPresent(2) ? ArgNumber(2) : 1;
  const int32_t count = ArgPresent(3) ? ArgNumber(3) : -1;
  AppendRecords(cursor, first, count, ArgChar(4, kTab), ArgChar(5, kLineFeed));
}

}  // namespace bridge
