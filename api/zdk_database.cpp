#include "api/zdk_database.h"

#include <algorithm>

#include "api/api_layer.h"
#include "api/handle_registry.h"
#include "platform/errors.h"

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
  mTables.clear();
  try {
    mDb->Close();
  } catch (...) {
    // A failing close of a database being dropped: its journal keeps the
    // last commit, which the next open finds.
  }
  HandleRegistry::Instance().Unregister(mHandle);
}

void ZDK_DataBase::Create(const std::string& path, uint32_t segmentSize, uint32_t mode) {
  mTables.clear();
  mDb->Create(path, segmentSize, mode, FBL_ByteOrder::kDefault);
  SyncTables();
}

void ZDK_DataBase::Open(const std::string& path) {
  // Opening closes first: the tables of an open database go with it.
  mTables.clear();
  mDb->Open(path);
  SyncTables();
}

void ZDK_DataBase::Close() {
  mTables.clear();
  mDb->Close();
}

void ZDK_DataBase::LoadDump(const std::string& dumpPath, const std::string& path, int32_t kind) {
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

}  // namespace api
