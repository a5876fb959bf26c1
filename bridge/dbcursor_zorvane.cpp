#include "bridge/dbcursor_zorvane.h"

#include "bridge/dbconnection_zorvane.h"
#include "kernel/tables/field_types.h"

namespace bridge {

namespace {

// Field data of a cursor with the data-limit flag.
constexpr uint32_t kDataLimit = 64001;

}  // namespace

int32_t HostTypeNumber(uint16_t engineType) {
  switch (engineType) {
    case kTypeEnum:
    case kTypeByte:
    case kTypeShort:
    case kTypeUShort:
      return 13;
    case kTypeLong:
    case kTypeULong:
    case kTypeObjectPtr:
    case kTypeLLong:
    case kTypeULLong:
    case kTypeRecID:
      return 16;
    case kTypeFloat:
      return 10;
    case kTypeDouble:
    case kTypeLDouble:
      return 11;
    case kTypeDate:
      return 7;
    case kTypeTime:
      return 8;
    case kTypeDateTime:
      return 6;
    case kTypeText:
    case kTypeSound:
    case kTypePicture:
    case kTypeMovie:
    case kTypeBLOB:
    case kTypeFixedBinary:
    case kTypeVarBinary:
      return 5;
    case kTypeMedium:
    case kTypeUMedium:
      return 12;
    default:
      return 3;
  }
}

DBCursor_ZORVANE::DBCursor_ZORVANE(int32_t id, DBConnection_ZORVANE& connection,
                                   ZREVDB_Cursor* cursor, bool dataLimit)
    : mConnection(connection), mCursor(cursor), mDataLimit(dataLimit) {
  mId = id;
}

DBCursor_ZORVANE::~DBCursor_ZORVANE() {
  Close();
}

void DBCursor_ZORVANE::Close() {
  if (mCursor == nullptr) return;
  ZREVDB_RemoveCursor(mCursor);
  mCursor = nullptr;
}

DBConnection* DBCursor_ZORVANE::GetConnection() {
  return &mConnection;
}

const char* DBCursor_ZORVANE::GetErrorMessage() {
  return mConnection.GetErrorMessage();
}

bool DBCursor_ZORVANE::First() {
  const bool moved = ZREVDB_FirstRecord(mCursor);
  mPosition = 1;
  return moved;
}

bool DBCursor_ZORVANE::Last() {
  const bool moved = ZREVDB_LastRecord(mCursor);
  mPosition = GetRecordCount();
  return moved;
}

bool DBCursor_ZORVANE::Next() {
  const bool moved = ZREVDB_NextRecord(mCursor);
  if (GetRecordCount() >= mPosition) ++mPosition;
  return moved;
}

bool DBCursor_ZORVANE::Prev() {
  const bool moved = ZREVDB_PrevRecord(mCursor);
  if (mPosition > 0) --mPosition;
  return moved;
}

int32_t DBCursor_ZORVANE::GetFieldType(uint16_t field) {
  return HostTypeNumber(ZREVDB_GetFieldType(mCursor, field));
}

const char* DBCursor_ZORVANE::GetFieldName(uint16_t field) {
  const char* name = ZREVDB_GetFieldName(mCursor, field);
  return name != nullptr ? name : "";
}

const char* DBCursor_ZORVANE::GetFieldData(uint16_t field, uint32_t* outLength) {
  uint32_t length = mDataLimit ? kDataLimit : 0;
  bool null = false;
  const char* data = ZREVDB_GetData(mCursor, field, &length, &null);
  if (data == nullptr) {
    length = 0;
    data = "";
  }
  if (outLength != nullptr) *outLength = length;
  return data;
}

const char* DBCursor_ZORVANE::GetFieldData(uint16_t field) {
  return GetFieldData(field, nullptr);
}

}  // namespace bridge
