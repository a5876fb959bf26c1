#include "bridge/dbconnection_zorvane.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "bridge/bridge_state.h"
#include "bridge/dbcursor_zorvane.h"
#include "bridge/driver_binds.h"
#include "bridge/driver_calls.h"

namespace bridge {

namespace {

int32_t* gHostCounter = nullptr;
int32_t gOwnCounter = 0;

std::unordered_set<const DBConnection*>& LiveConnections() {
  static std::unordered_set<const DBConnection*> live;
  return live;
}

uint32_t NumberArgument(char** args, int32_t count, int32_t index, uint32_t fallback) {
  if (index >= count || args[index] == nullptr) return fallback;
  return static_cast<uint32_t>(std::strtoul(args[index], nullptr, 10));
}

const char* TextArgument(char** args, int32_t count, int32_t index) {
  return index < count && args[index] != nullptr ? args[index] : "";
}

}  // namespace

int32_t NextDriverId() {
  int32_t* counter = gHostCounter != nullptr ? gHostCounter : &gOwnCounter;
  return ++*counter;
}

DBConnection_ZORVANE::DBConnection_ZORVANE(int32_t id) {
  mId = id;
  LiveConnections().insert(this);
}

DBConnection_ZORVANE::~DBConnection_ZORVANE() {
  LiveConnections().erase(this);
  Disconnect();
  DeleteCursors();
}

bool DBConnection_ZORVANE::IsLive(const DBConnection* connection) {
  return LiveConnections().contains(connection);
}

void DBConnection_ZORVANE::TakeError() {
  mError = true;
  ZREVDB_GetError(mErrorText);
}

bool DBConnection_ZORVANE::Connect(char** args, int32_t count) {
  if (mConnected) return true;
  if (args == nullptr) count = 0;
  const uint32_t cacheBytes = NumberArgument(args, count, 4, 0);
  const auto last = static_cast<int32_t>(NumberArgument(args, count, 7, 15432));
  ZREVDB_Init(cacheBytes);
  mDataBase = nullptr;
  if (ErrorCode == 0) {
    if (count < 2) {
      NoteFailure(ERR_WRONG_PARAMETER, "No database path given");
    } else {
      mDataBase = ZREVDB_Connect(TextArgument(args, count, 0), TextArgument(args, count, 2),
                                 TextArgument(args, count, 3), args[1], last);
    }
  }
  if (mDataBase == nullptr) {
    TakeError();
    return false;
  }
  mConnected = true;
  mError = false;
  return true;
}

void DBConnection_ZORVANE::Disconnect() {
  if (!mConnected) return;
  DeleteCursors();
  mConnected = false;
  ZREVDB_DBClose(mDataBase);
  mDataBase = nullptr;
}

bool DBConnection_ZORVANE::SqlExecute(const char* text, const BindValue* binds, int32_t count,
                                      uint32_t* outAffected) {
  if (!mConnected) return false;
  if (outAffected != nullptr) *outAffected = 0;
  mError = false;
  if (ZREVDB_SQLExecute(mDataBase, text, outAffected, binds, count)) return true;
  TakeError();
  return false;
}

DBCursor* DBConnection_ZORVANE::SqlQuery(const char* text, const BindValue* binds, int32_t count,
                                         bool noDataLimit) {
  if (!mConnected) return nullptr;
  const std::string query = DriverCall<std::string>({}, [&] {
    return QuoteBinds(text != nullptr ? text : "", binds, count);
  });
  ZREVDB_Cursor* cursor = ErrorCode == 0 ? SelectText(mDataBase, query) : nullptr;
  if (cursor == nullptr) {
    TakeError();
    return nullptr;
  }
  auto* made = new DBCursor_ZORVANE(NextDriverId(), *this, cursor, !noDataLimit);
  if (!IsConnected() || GetConnectionType() != ZREVDB_CONNECTION_TYPE) {
    delete made;
    return nullptr;
  }
  AddCursor(made);
  mError = false;
  return made;
}

bool DBConnection_ZORVANE::DeleteCursor(int32_t id) {
  const auto found = std::find_if(mCursors.begin(), mCursors.end(),
                                  [&](DBCursor* c) { return c->GetId() == id; });
  if (found == mCursors.end()) return false;
  DBCursor* cursor = *found;
  mCursors.erase(found);
  delete cursor;
  return true;
}

DBCursor* DBConnection_ZORVANE::FindCursor(int32_t id) {
  for (DBCursor* c : mCursors)
    if (c->GetId() == id) return c;
  return nullptr;
}

DBCursor* DBConnection_ZORVANE::GetCursorAt(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= mCursors.size()) return nullptr;
  return mCursors[static_cast<size_t>(index)];
}

void DBConnection_ZORVANE::DeleteCursors() {
  // Taken out of the list first: a cursor's destructor may look at it.
  std::vector<DBCursor*> cursors;
  cursors.swap(mCursors);
  for (DBCursor* c : cursors) delete c;
}

bool DBConnection_ZORVANE::GetTableNames(char* buffer, uint32_t* size) {
  if (size == nullptr) return false;
  return DriverCall<bool>(false, [&] {
    if (!mConnected) throw xFBL_Exception(ERR_DATABASE_NOT_OPENED);
    api::ZDK_DataBase& db = DataBaseOf(mDataBase);
    std::string names;
    for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i) {
      if (i > 1) names += '\n';
      names += db.GetBaseObject(i)->GetName();
    }
    // Each name and its separator or the final zero; the zero alone when none.
    const auto needed = static_cast<uint32_t>(names.size() + 1);
    if (buffer == nullptr || *size < needed) {
      const bool asked = buffer == nullptr;
      *size = needed;
      return asked;
    }
    std::memcpy(buffer, names.c_str(), needed);
    *size = needed;
    return true;
  });
}

}  // namespace bridge

using namespace bridge;

extern "C" {

ZORVANE_EXPORT DBConnection* newdbconnectionref(void) {
  try {
    return new DBConnection_ZORVANE(NextDriverId());
  } catch (...) {
    NoteFailure(ERR_NOT_ENOUGH_RAM, nullptr);
    return nullptr;
  }
}

ZORVANE_EXPORT bool releasedbconnectionref(DBConnection* connection) {
  ErrorCodeReset();
  if (connection == nullptr) return false;
  if (!DBConnection_ZORVANE::IsLive(connection)) {
    NoteFailure(ERR_WRONG_DB_REF, "The connection was released already");
    return false;
  }
  delete connection;
  return true;
}

ZORVANE_EXPORT void setidcounterref(int32_t* counter) {
  gHostCounter = counter;
}

}  // extern "C"
