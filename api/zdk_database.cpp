#include "api/zdk_database.h"

#include <algorithm>

#include "api/api_layer.h"
#include "api/handle_registry.h"
#include "kernel/storage/file_win.h"
#include "platform/env.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"
#include "sql/statements/statement_executor.h"

namespace api {

namespace {

// Registration order; owns the wrappers.
std::vector<std::unique_ptr<ZDK_DataBase>>& Registry() {
  static std::vector<std::unique_ptr<ZDK_DataBase>> registry;
  return registry;
}

}  // namespace

ZDK_DataBase::ZDK_DataBase() : mDb(std::make_unique<OBL_DataBase>()) {
  mHandle = HandleRegistry::Instance().Register(HandleKind::Database, this);
}

ZDK_DataBase::~ZDK_DataBase() {
  DropWrappers();
  try {
    mDb->Close();
  } catch (...) {
    // A failing close of a database being dropped: its journal keeps the
    // last commit, which the next open finds.
  }
  HandleRegistry::Instance().Unregister(mHandle);
}

void ZDK_DataBase::DropWrappers() {
  // Cursors first: their columns may be fields of the tables.
  mCursors.clear();
  mTables.clear();
}

void ZDK_DataBase::Create(const std::string& path, uint32_t segmentSize, uint32_t mode) {
  DropWrappers();
  mDb->Create(path, segmentSize, mode, FBL_ByteOrder::kDefault);
  SyncTables();
}

void ZDK_DataBase::Open(const std::string& path) {
  // Opening closes first: the tables and cursors of an open database go
  // with it.
  DropWrappers();
  mDb->Open(path);
  SyncTables();
}

void ZDK_DataBase::Close() {
  DropWrappers();
  mDb->Close();
}

void ZDK_DataBase::LoadDump(const std::string& dumpPath, const std::string& path, int32_t kind) {
  mCursors.clear();
  mDb->LoadDump(dumpPath, kind, path);
  if (mDb->IsOpen()) SyncTables();
}

void ZDK_DataBase::SetDateFormat(uint8_t order, char dateSeparator, char timeSeparator) {
  mDb->SetDateFormat(order, dateSeparator, timeSeparator);
}

ZDK_BaseObject* ZDK_DataBase::GetBaseObject(uint32_t number) const {
  if (number == 0 || number > mTables.size()) return nullptr;
  return mTables[number - 1].get();
}

ZDK_BaseObject* ZDK_DataBase::FindBaseObject(const std::string& name) const {
  for (const auto& table : mTables) {
    if (zv::SameName(table->GetName(), name)) return table.get();
  }
  return nullptr;
}

ZDK_BaseObject& ZDK_DataBase::MakeNewBaseObject(const std::string& name) {
  OBL_BaseObject& made = mDb->MakeNewBaseObject(name);
  SyncTables();
  for (const auto& table : mTables) {
    if (&table->Table() == &made) return *table;
  }
  throw xFBL_Exception(ERR_ASSERTION_NULL);
}

void ZDK_DataBase::RemoveBaseObject(ZDK_BaseObject& table) {
  mDb->RemoveBaseObject(table.Table());
  // The table object is gone: its wrapper goes before anything compares
  // addresses with it.
  std::erase_if(mTables, [&](const auto& t) { return t.get() == &table; });
  SyncTables();
}

void ZDK_DataBase::SyncTables() {
  const uint32_t count = mDb->IsOpen() ? mDb->GetBaseObjectCount() : 0;
  std::vector<std::unique_ptr<ZDK_BaseObject>> next;
  next.reserve(count);
  for (uint32_t n = 1; n <= count; ++n) {
    OBL_BaseObject* table = mDb->GetBaseObject(n);
    if (table == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
    auto kept = std::find_if(mTables.begin(), mTables.end(),
                             [&](const auto& w) { return w && &w->Table() == table; });
    if (kept != mTables.end()) {
      next.push_back(std::move(*kept));
    } else {
      next.push_back(std::make_unique<ZDK_BaseObject>(*this, *table));
    }
  }
  mTables.swap(next);
  for (const auto& table : mTables) table->SyncFields();
  for (const auto& cursor : mCursors) cursor->SyncFields();
}

ZDK_Cursor& ZDK_DataBase::SqlSelect(const std::string& text, uint8_t location, uint8_t lockMode,
                                    uint8_t direction) {
  if (!mDb->IsOpen()) throw xFBL_DatabaseIsNotOpened();
  auto cursor = std::make_unique<ZDK_Cursor>(*this, location, lockMode, direction);
  const int32_t error = cursor->SQLSelect(text);
  if (error != 0) throw xFBL_Exception(error);
  mCursors.push_back(std::move(cursor));
  return *mCursors.back();
}

std::unique_ptr<OBL_Cursor> ZDK_DataBase::SqlSelectUnlisted(const std::string& text,
                                                            uint8_t location, uint8_t lockMode,
                                                            uint8_t direction) {
  if (!mDb->IsOpen()) throw xFBL_DatabaseIsNotOpened();
  auto cursor = std::make_unique<OBL_Cursor>(*mDb, location, lockMode, direction);
  cursor->SetSQL(text);
  if (cursor->GetError() == 0) cursor->Execute();
  if (cursor->GetError() != 0) throw xFBL_Exception(cursor->GetError());
  return cursor;
}

void ZDK_DataBase::RemoveCursor(ZDK_Cursor& cursor) {
  std::erase_if(mCursors, [&](const auto& c) { return c.get() == &cursor; });
}

uint32_t ZDK_DataBase::SqlExecute(const std::string& text, const std::vector<std::string>& params) {
  if (!mDb->IsOpen()) throw xFBL_DatabaseIsNotOpened();
  std::vector<SQL_Param> values;
  values.reserve(params.size());
  for (const std::string& p : params) values.push_back(SQL_Param{p, false});
  uint32_t changed = 0;
  try {
    changed = SQL_Execute(*mDb, text, values);
  } catch (...) {
    // What the statement did before failing (records added in a loop)
    // stays; the wrappers follow it either way.
    SyncTables();
    throw;
  }
  SyncTables();
  return changed;
}

ZDK_DataBase& NewDataBase() {
  if (!ZDK_IsStarted()) throw xFBL_Exception(ERR_CACHE_NOT_EXISTS);
  Registry().push_back(std::make_unique<ZDK_DataBase>());
  return *Registry().back();
}

void DeleteDataBase(ZDK_DataBase& db) {
  auto& registry = Registry();
  auto it = std::find_if(registry.begin(), registry.end(),
                         [&](const auto& entry) { return entry.get() == &db; });
  if (it == registry.end()) return;
  std::unique_ptr<ZDK_DataBase> gone = std::move(*it);
  registry.erase(it);
}

void DeleteAllDataBases() {
  auto& registry = Registry();
  while (!registry.empty()) {
    std::unique_ptr<ZDK_DataBase> gone = std::move(registry.back());
    registry.pop_back();
  }
}

std::vector<ZDK_DataBase*> DataBases() {
  std::vector<ZDK_DataBase*> list;
  for (const auto& db : Registry()) list.push_back(db.get());
  return list;
}

ZDK_DataBase* FindDataBase(int32_t handle) {
  return static_cast<ZDK_DataBase*>(HandleRegistry::Instance().Find(handle, HandleKind::Database));
}

ZDK_DataBase* FindDataBaseByName(const std::string& name) {
  for (const auto& db : Registry()) {
    if (zv::SameName(db->GetName(), name)) return db.get();
  }
  return nullptr;
}

ZDK_DataBase* FindOpenDataBaseByPath(const std::string& path) {
  // The structure file's full path, as the database forms it.
  std::string structure = FBL_FileWin::FullPath(path, *platform::Env::Default());
  if (structure.size() < 4 || structure.compare(structure.size() - 4, 4, ".vdb") != 0)
    structure += ".vdb";
  for (const auto& db : Registry()) {
    if (db->Db().IsOpen() && db->Db().GetPath() == structure) return db.get();
  }
  return nullptr;
}

}  // namespace api
