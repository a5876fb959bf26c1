// The database commands: making, opening and closing databases, their
// settings and keys, and their tables.
#include <cerrno>

#include "api/zdk_database.h"
#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/command_handlers.h"
#include "bridge/object_arguments.h"
#include "bridge/result_buffer.h"
#include "bridge/trace.h"
#include "platform/errors.h"

namespace bridge {

namespace {

constexpr uint32_t kDefaultSegmentSize = 32768;
constexpr uint32_t kSmallestSegmentSize = 2048;
constexpr uint32_t kDefaultStorageMode = 4;

// A wrapper made for one command goes again when the command fails.
template <typename Work>
api::ZDK_DataBase& WithNewDataBase(Work work) {
  api::ZDK_DataBase& db = api::NewDataBase();
  try {
    work(db);
  } catch (...) {
    api::DeleteDataBase(db);
    throw;
  }
  return db;
}

}  // namespace

void Cmd_Database_New() {
  TraceCommand("Database_New...");
  ReturnLong(api::NewDataBase().GetHandle());
}

void Cmd_Database_Create() {
  TraceCommand("Database_Create...");
  const std::string path = ArgRequiredText(1);
  uint32_t mode = ArgPresent(2) ? static_cast<uint32_t>(ArgNumber(2)) : kDefaultStorageMode;
  if (mode == 0) mode = 1;
  if (mode > 4) mode = 4;
  uint32_t segment = ArgPresent(3) ? static_cast<uint32_t>(ArgNumber(3)) : kDefaultSegmentSize;
  if (static_cast<int32_t>(segment) < static_cast<int32_t>(kSmallestSegmentSize))
    segment = kSmallestSegmentSize;
  // Creating deletes the files first: never those of a database in use.
  if (api::FindOpenDataBaseByPath(path) != nullptr) throw xFBL_Exception(EEXIST);
  api::ZDK_DataBase& db =
      WithNewDataBase([&](api::ZDK_DataBase& made) { made.Create(path, segment, mode); });
  ReturnLong(db.GetHandle());
}

void Cmd_Database_Open() {
  TraceCommand("Database_Open...");
  const std::string path = ArgRequiredText(1);
  if (ArgPresent(2)) {
    api::ZDK_DataBase* db = api::FindDataBase(ArgNumber(2));
    if (db == nullptr) throw xFBL_Exception(ERR_WRONG_DB_REF);
    db->Open(path);
    ReturnLong(db->GetHandle());
    return;
  }
  api::ZDK_DataBase& db = WithNewDataBase([&](api::ZDK_DataBase& made) { made.Open(path); });
  ReturnLong(db.GetHandle());
}

void Cmd_Database_Close() {
  TraceCommand("Database_Close...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.Close();
  api::DeleteDataBase(db);
}

void Cmd_Database_Flush() {
  TraceCommand("Database_Flush...");
  ArgDatabase(1).Flush();
}

void Cmd_Database_Dump() {
  TraceCommand("Database_Dump...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.Dump(ArgRequiredText(2), ArgNumber(3));
}

void Cmd_Database_LoadDump() {
  TraceCommand("Database_LoadDump...");
  const std::string dumpPath = ArgRequiredText(1);
  const std::string path = ArgRequiredText(2);
  const int32_t kind = ArgNumber(3);
  api::ZDK_DataBase& db =
      WithNewDataBase([&](api::ZDK_DataBase& made) { made.LoadDump(dumpPath, path, kind); });
  ReturnLong(db.GetHandle());
}

void Cmd_Database_GetSchemaVersion() {
  TraceCommand("Database_GetSchemaVersion...");
  ReturnLong(ArgDatabase(1).GetSchemaVersion());
}

void Cmd_Database_SetSchemaVersion() {
  TraceCommand("Database_SetSchemaVersion...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.SetSchemaVersion(static_cast<uint16_t>(ArgNumber(2)));
}

void Cmd_Database_ChangeStructureEncryption() {
  TraceCommand("Database_ChangeStructureEncryption...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.Db().ChangeStructureEncryption(ArgString(2), ArgString(3));
}

void Cmd_Database_SetStructureEncryption() {
  TraceCommand("Database_SetStructureEncryption...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.Db().SetStructureEncryption(ArgString(2));
  if (db.Db().IsOpen()) db.SyncTables();
}

void Cmd_Database_ChangeEncryption() {
  TraceCommand("Database_ChangeEncryption...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.Db().ChangeEncryption(ArgString(2), ArgString(3));
}

void Cmd_Database_SetEncryption() {
  TraceCommand("Database_SetEncryption...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  db.Db().SetEncryption(ArgString(2));
  if (db.Db().IsOpen()) db.SyncTables();
}

void Cmd_Database_SetDateFormat() {
  TraceCommand("Database_SetDateFormat...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  const uint8_t order = static_cast<uint8_t>(ArgNumber(2));
  if (order > 2) throw xFBL_Exception(ERR_WRONG_PARAMETER);  // no order: nothing changes
  db.SetDateFormat(order, ArgChar(3, db.GetDateSep()), ArgChar(4, db.GetTimeSep()));
}

void Cmd_Database_GetDateFormat() {
  TraceCommand("Database_GetDateFormat...");
  ReturnLong(ArgDatabase(1).GetDateFormat());
}

void Cmd_Database_GetDateSep() {
  TraceCommand("Database_GetDateSep...");
  const char sep = ArgDatabase(1).GetDateSep();
  AppendResult(&sep, 1);
}

void Cmd_Database_GetTimeSep() {
  TraceCommand("Database_GetTimeSep...");
  const char sep = ArgDatabase(1).GetTimeSep();
  AppendResult(&sep, 1);
}

void Cmd_Database_MakeNewBaseObject() {
  TraceCommand("Database_MakeNewBaseObject...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  ReturnLong(db.MakeNewBaseObject(ArgRequiredText(2)).GetHandle());
}

void Cmd_DataBase_RemoveBaseObject() {
  TraceCommand("DataBase_RemoveBaseObject...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  if (api::ZDK_BaseObject* table = ArgDatabaseTable(db, 2)) db.RemoveBaseObject(*table);
}

void Cmd_Database_GetBaseObjectRef() {
  TraceCommand("Database_GetBaseObjectRef...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  api::ZDK_BaseObject* table = ArgDatabaseTable(db, 2);
  if (table == nullptr) throw xFBL_Exception(ERR_EXPECTED_BO_NOT_FOUND);
  ReturnLong(table->GetHandle());
}

void Cmd_Database_GetBaseObjectCount() {
  TraceCommand("Database_GetBaseObjectCount...");
  ReturnULong(ArgDatabase(1).GetBaseObjectCount());
}

void Cmd_Database_GetBaseObjectName() {
  TraceCommand("Database_GetBaseObjectName...");
  api::ZDK_DataBase& db = ArgDatabase(1);
  const int32_t number = ArgNumber(2);
  api::ZDK_BaseObject* table = number > 0 ? db.GetBaseObject(uint32_t(number)) : nullptr;
  if (table == nullptr) throw xFBL_Exception(ERR_BASE_OBJECT_NOT_FOUND);
  AppendResult(table->GetName().data(), table->GetName().size());
}

}  // namespace bridge
