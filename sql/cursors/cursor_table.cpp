#include "sql/cursors/cursor_table.h"

void OBL_CursorTable_Base::MoveTo(uint32_t position) {
  mPosition = position;
  if (position == 0) {
    BlankRecord();
  } else {
    LoadRow(position);
  }
}

bool OBL_CursorTable_Base::FirstRecord() {
  if (GetRecordCount() == 0) {
    MoveTo(0);
    return false;
  }
  MoveTo(1);
  return true;
}

bool OBL_CursorTable_Base::LastRecord() {
  const uint32_t count = GetRecordCount();
  MoveTo(count);
  return count != 0;
}

bool OBL_CursorTable_Base::NextRecord() {
  if (mPosition >= GetRecordCount()) return false;
  MoveTo(mPosition + 1);
  return true;
}

bool OBL_CursorTable_Base::PrevRecord() {
  if (mPosition < 2) return false;
  MoveTo(mPosition - 1);
  return true;
}

bool OBL_CursorTable_Base::GoToRecord(uint32_t position) {
  if (position < 1 || position > GetRecordCount()) {
    MoveTo(0);
    return false;
  }
  MoveTo(position);
  return true;
}
