// The SQL commands of a database: a cursor over a SELECT, the records of
// a SELECT as text, and the other statements with their parameter values.
#include <memory>
#include <string>
#include <vector>

#include "api/zdk_cursor.h"
#include "api/zdk_database.h"
#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/command_handlers.h"
#include "bridge/cursor_text.h"
#include "bridge/object_arguments.h"
#include "bridge/trace.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"

namespace bridge {

namespace {

// Cursor options: location 1; lock mode 2 read-only (no locks either);
// direction 1 forward-only, 2 random access.
constexpr uint8_t kLocation = 1;
constexpr uint8_t kReadOnly = 2;
constexpr uint8_t kForwardOnly = 1;
constexpr uint8_t kRandomAccess = 2;

// Slot 13 and up hold the call's results and mode.
constexpr int kLastArgumentSlot = ZORVANE_SLOT_RESULT_VALUE - 1;

uint8_t ArgOption(int k, uint8_t fallback) {
  return ArgPresent(k) ? static_cast<uint8_t>(ArgNumber(k)) : fallback;
}

// The texts of slots `from` on, up to the first one not given: the values
// of :1, :2, ... A value may be an empty text; it is never put into the
// statement's text.
std::vector<std::string> ArgParameters(int from) {
  std::vector<std::string> values;
  const bool raw = CallMode() >= 2;
  const int given = CurrentBlock == nullptr ? 0 : CurrentBlock->ParamCount;
  for (int k = from; k <= kLastArgumentSlot; ++k) {
    if (raw ? !ArgPresent(k) : k >= given) break;
    const char* text = ArgText(k);
    if (text == nullptr) break;
    values.emplace_back(text);
  }
  return values;
}

}  // namespace

void Cmd_DataBase_SQLSelect() {
  TraceCommand("DataBase_SQLSelect...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  const std::string text = ArgRequiredText(2);
  api::ZDK_Cursor& cursor = db.SqlSelect(text, ArgOption(3, kLocation), ArgOption(4, kReadOnly),
                                         ArgOption(5, kForwardOnly));
  ReturnLong(cursor.GetHandle());
}

void Cmd_Database_SqlExecute() {
  TraceCommand("Database_SqlExecute...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  const std::string text = ArgRequiredText(2);
  ReturnULong(db.SqlExecute(text, ArgParameters(3)));
}

void Cmd_Database_SQLSelectRecords() {
  TraceCommand("Database_SQLSelectRecords...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  const std::string text = ArgRequiredText(2);
  const int32_t first = ArgPresent(3) ? ArgNumber(3) : 1;
  const int32_t count = ArgPresent(4) ? ArgNumber(4) : -1;
  const char fieldDelimiter = ArgChar(5, '\t');
  const char recordDelimiter = ArgChar(6, '\n');
  // The cursor lives for this command only; a failing query throws its
  // code and leaves nothing. Nothing can write through it, so it is
  // read-only (still without locks), which lets each row load the selected
  // columns alone rather than whole records.
  const std::unique_ptr<OBL_Cursor> cursor =
      db.SqlSelectUnlisted(text, kLocation, kReadOnly, kRandomAccess);
  AppendRecords(*cursor, first, count, fieldDelimiter, recordDelimiter);
}

}  // namespace bridge
