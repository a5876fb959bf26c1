// DBCursor_ZORVANE: a query's result as the host walks it. It holds the
// cursor's reference, never its address: after Close, or when the
// database went away underneath, every operation answers 393.
//
// Position: 1 after the query, 0 before the first record, record count + 1
// past the last.
#pragma once

#include <cstdint>

#include "zorvane/dbdriver.h"

namespace bridge {

class DBConnection_ZORVANE;

class DBCursor_ZORVANE : public DBCursor {
 public:
  DBCursor_ZORVANE(int32_t id, DBConnection_ZORVANE& connection, ZREVDB_Cursor* cursor,
                   bool dataLimit);
  ~DBCursor_ZORVANE() override;
  DBCursor_ZORVANE(const DBCursor_ZORVANE&) = delete;
  DBCursor_ZORVANE& operator=(const DBCursor_ZORVANE&) = delete;

  void Close() override;
  bool IsAttached() override { return mCursor != nullptr; }
  DBConnection* GetConnection() override;
  int32_t GetCursorType() override { return 0; }
  const char* GetErrorMessage() override;
  bool IsEOF() override { return GetRecordCount() < mPosition; }
  bool IsBOF() override { return mPosition == 0; }
  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prev() override;
  uint16_t GetFieldCount() override { return ZREVDB_GetFieldCount(mCursor); }
  uint32_t GetRecordCount() override { return ZREVDB_GetRecordCount(mCursor); }
  uint32_t GetRecordNumber() override { return ZREVDB_GetPosition(mCursor); }
  int32_t GetFieldType(uint16_t field) override;
  uint32_t GetFieldLength(uint16_t field) override { return ZREVDB_GetFieldLength(mCursor, field); }
  const char* GetFieldName(uint16_t field) override;
  const char* GetFieldData(uint16_t field, uint32_t* outLength) override;
  const char* GetFieldData(uint16_t field) override;
  bool GetFieldIsNull(uint16_t field) override { return ZREVDB_FieldIsNull(mCursor, field); }

 private:
  DBConnection_ZORVANE& mConnection;
  ZREVDB_Cursor* mCursor;
  bool mDataLimit;
  uint32_t mPosition = 1;
};

// The host's type number for an engine type code.
int32_t HostTypeNumber(uint16_t engineType);

}  // namespace bridge
