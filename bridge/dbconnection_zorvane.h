// DBConnection_ZORVANE: the connection object a host's database layer
// drives, over the flat ZREVDB_* functions.
//
// Lifecycle: made by newdbconnectionref -> Connect -> queries make cursors,
// which the connection owns and lists -> Disconnect (or the destructor)
// deletes the cursors and closes the database -> releasedbconnectionref.
// Every live connection is listed, so a second release is refused.
#pragma once

#include <cstdint>
#include <vector>

#include "zorvane/dbdriver.h"

namespace bridge {

class DBConnection_ZORVANE : public DBConnection {
 public:
  explicit DBConnection_ZORVANE(int32_t id);
  ~DBConnection_ZORVANE() override;
  DBConnection_ZORVANE(const DBConnection_ZORVANE&) = delete;
  DBConnection_ZORVANE& operator=(const DBConnection_ZORVANE&) = delete;

  bool IsConnected() override { return mConnected; }
  int32_t GetConnectionType() override { return ZREVDB_CONNECTION_TYPE; }
  bool IsError() override { return mError; }
  bool Connect(char** args, int32_t count) override;
  void Disconnect() override;
  const char* GetDriverName() override { return "zorvane"; }
  bool SqlExecute(const char* text, const BindValue* binds, int32_t count,
                  uint32_t* outAffected) override;
  DBCursor* SqlQuery(const char* text, const BindValue* binds, int32_t count,
                     bool noDataLimit) override;
  void Reserved9() override {}
  void Reserved10() override {}
  void Reserved11() override {}
  const char* GetErrorMessage() override { return mError ? mErrorText : ""; }
  std::vector<DBCursor*>* GetCursors() override { return &mCursors; }
  bool DeleteCursor(int32_t id) override;
  DBCursor* FindCursor(int32_t id) override;
  DBCursor* GetCursorAt(int32_t index) override;
  int32_t CountCursors() override { return static_cast<int32_t>(mCursors.size()); }
  bool GetTableNames(char* buffer, uint32_t* size) override;
  void AddCursor(DBCursor* cursor) override { mCursors.push_back(cursor); }
  void DeleteCursors() override;

  // Whether the object is a connection made here and not yet released.
  static bool IsLive(const DBConnection* connection);

 private:
  void TakeError();

  ZREVDB_DataBase* mDataBase = nullptr;
  bool mError = false;
  bool mConnected = false;
  std::vector<DBCursor*> mCursors;  // owned
  char mErrorText[ZREVDB_ERROR_BUFFER] = {};
};

// The next id from the host's counter (or our own when none is set).
int32_t NextDriverId();

}  // namespace bridge
