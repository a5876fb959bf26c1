// ZDK_DataBase: what a database handle names, and the registry of every
// such wrapper. The registry exists while the layer is started (Init to
// ShutDown); each wrapper is registered when made and leaves when deleted,
// and ShutDown deletes (and so closes) every one still there.
//
// A wrapper owns its object-layer database, one table wrapper per user
// table of it, in the database's order, and the cursors made on it;
// SyncTables brings the tables (and the cursors' columns) in step after
// opening, creating, a table change or a statement. Closing, opening or
// creating deletes the cursors first, so their handles go with them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/zdk_base_object.h"
#include "api/zdk_cursor.h"
#include "objects/object_database.h"

namespace api {

class ZDK_DataBase {
 public:
  ZDK_DataBase();
  virtual ~ZDK_DataBase();
  ZDK_DataBase(const ZDK_DataBase&) = delete;
  ZDK_DataBase& operator=(const ZDK_DataBase&) = delete;

  int32_t GetHandle() const { return mHandle; }
  OBL_DataBase& Db() const { return *mDb; }
  // The structure file's name; empty while closed.
  std::string GetName() const { return mDb->GetName(); }

  void Create(const std::string& path, uint32_t segmentSize, uint32_t mode);
  void Open(const std::string& path);
  void Close();
  void Flush() { mDb->Flush(); }
  uint16_t GetSchemaVersion() const { return mDb->GetSchemaVersion(); }
  void SetSchemaVersion(uint16_t version) { mDb->SetSchemaVersion(version); }
  void Dump(const std::string& path, int32_t kind) { mDb->Dump(path, kind); }
  void LoadDump(const std::string& dumpPath, const std::string& path, int32_t kind);

  uint8_t GetDateFormat() const { return mDb->GetDateSettings().mDateOrder; }
  char GetDateSep() const { return mDb->GetDateSettings().mDateSeparator; }
  char GetTimeSep() const { return mDb->GetDateSettings().mTimeSeparator; }
  void SetDateFormat(uint8_t order, char dateSeparator, char timeSeparator);

  uint32_t GetBaseObjectCount() const { return static_cast<uint32_t>(mTables.size()); }
  // 1-based; null out of range.
  ZDK_BaseObject* GetBaseObject(uint32_t number) const;
  // Without regard to case; null when none has the name.
  ZDK_BaseObject* FindBaseObject(const std::string& name) const;
  ZDK_BaseObject& MakeNewBaseObject(const std::string& name);
  void RemoveBaseObject(ZDK_BaseObject& table);

  // ---- SQL ------------------------------------------------------------------
  // A new cursor over the query (owned here until RemoveCursor); the
  // query's error code is thrown, with nothing left behind, when it fails.
  // 327 while closed.
  ZDK_Cursor& SqlSelect(const std::string& text, uint8_t location, uint8_t lockMode,
                        uint8_t direction);
  void RemoveCursor(ZDK_Cursor& cursor);
  // A cursor over the query for a command that reads it and lets it go: no
  // script sees it, so it has no handle and no field wrappers. Fails as
  // SqlSelect does.
  std::unique_ptr<OBL_Cursor> SqlSelectUnlisted(const std::string& text, uint8_t location,
                                                uint8_t lockMode, uint8_t direction);
  // Runs a statement other than SELECT; params are the values of :1, :2, ...
  // Returns the records changed (UPDATE, DELETE).
  uint32_t SqlExecute(const std::string& text, const std::vector<std::string>& params);

  // Every table wrapper, then every field wrapper, in step with the schema;
  // then the cursors' column wrappers.
  void SyncTables();

 private:
  void DropWrappers();

  int32_t mHandle;
  std::unique_ptr<OBL_DataBase> mDb;
  std::vector<std::unique_ptr<ZDK_BaseObject>> mTables;
  std::vector<std::unique_ptr<ZDK_Cursor>> mCursors;
};

// ---- the registry --------------------------------------------------------
// A new registered wrapper; 306 while the layer is stopped.
ZDK_DataBase& NewDataBase();
// Deletes a registered wrapper (closing its database).
void DeleteDataBase(ZDK_DataBase& db);
// Deletes every registered wrapper; the registry stays.
void DeleteAllDataBases();
// Registered wrappers in registration order.
std::vector<ZDK_DataBase*> DataBases();
// The database a handle names, or null.
ZDK_DataBase* FindDataBase(int32_t handle);
// The first registered database whose name equals the text without regard
// to case, or null.
ZDK_DataBase* FindDataBaseByName(const std::string& name);
// The registered open database whose structure file the path names (with
// or without ".vdb"), or null.
ZDK_DataBase* FindOpenDataBaseByPath(const std::string& path);

}  // namespace api
