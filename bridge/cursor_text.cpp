#include "bridge/cursor_text.h"

#include <string>
#include <vector>

#include "api/value_text.h"
#include "api/zdk_cursor.h"
#include "bridge/bridge_state.h"
#include "bridge/result_buffer.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"

namespace bridge {

namespace {

// The current record's `n` values, `text(i)` giving value i (from 1).
template <typename Text>
void AppendValues(uint32_t n, char fieldDelimiter, Text text) {
  for (uint32_t i = 1; i <= n; ++i) {
    if (i > 1) AppendResult(&fieldDelimiter, 1);
    const std::string value = text(i);
    if (!value.empty()) AppendResult(value.data(), value.size());
  }
}

// From the current record on, which `at` tells is there.
template <typename Cursor, typename Record>
void AppendRows(Cursor& cursor, bool at, int32_t count, char recordDelimiter, Record record) {
  const ChunkedResultScope chunked;
  if (count == 0 || !at) return;
  for (;;) {
    record();
    if (count > 0 && --count == 0) return;
    if (!cursor.NextRecord()) return;
    AppendResult(&recordDelimiter, 1);
  }
}

}  // namespace

void AppendRecord(api::ZDK_Cursor& cursor, char fieldDelimiter) {
  AppendValues(cursor.GetFieldCount(), fieldDelimiter,
               [&](uint32_t i) { return api::ValueToText(*cursor.GetField(i)); });
}

void AppendRecords(api::ZDK_Cursor& cursor, int32_t first, int32_t count, char fieldDelimiter,
                   char recordDelimiter) {
  const bool at = count != 0 && cursor.GoToRecord(static_cast<uint32_t>(first));
  AppendRows(cursor, at, count, recordDelimiter, [&] { AppendRecord(cursor, fieldDelimiter); });
}

void AppendRecords(OBL_Cursor& cursor, int32_t first, int32_t count, char fieldDelimiter,
                   char recordDelimiter) {
  std::vector<FBL_BaseField*> columns(cursor.GetColumnCount());
  for (uint32_t i = 0; i < columns.size(); ++i) {
    columns[i] = cursor.GetColumn(i + 1);
    if (columns[i] == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
  }
  // A cursor stands on its first record once built: loaded again, its
  // columns would read the same values twice.
  const bool at = count != 0 && ((first == 1 && cursor.GetCurrentPosition() == 1) ||
                                 cursor.GoToRecord(static_cast<uint32_t>(first)));
  AppendRows(cursor, at, count, recordDelimiter, [&] {
    AppendValues(static_cast<uint32_t>(columns.size()), fieldDelimiter,
                 [&](uint32_t i) { return api::ValueToText(*columns[i - 1]); });
  });
}

}  // namespace bridge
