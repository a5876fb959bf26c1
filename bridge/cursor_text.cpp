#include "bridge/cursor_text.h"

#include <string>

#include "api/value_text.h"
#include "api/zdk_cursor.h"
#include "bridge/bridge_state.h"
#include "bridge/result_buffer.h"

namespace bridge {

void AppendRecord(api::ZDK_Cursor& cursor, char fieldDelimiter) {
  const uint32_t n = cursor.GetFieldCount();
  for (uint32_t i = 1; i <= n; ++i) {
    if (i > 1) AppendResult(&fieldDelimiter, 1);
    const std::string value = api::ValueToText(*cursor.GetField(i));
    if (!value.empty()) AppendResult(value.data(), value.size());
  }
}

void AppendRecords(api::ZDK_Cursor& cursor, int32_t first, int32_t count, char fieldDelimiter,
                   char recordDelimiter) {
  const ChunkedResultScope chunked;
  if (count == 0 || !cursor.GoToRecord(static_cast<uint32_t>(first))) return;
  for (;;) {
    AppendRecord(cursor, fieldDelimiter);
    if (count > 0 && --count == 0) return;
    if (!cursor.NextRecord()) return;
    AppendResult(&recordDelimiter, 1);
  }
}

}  // namespace bridge
