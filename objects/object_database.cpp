#include "objects/object_database.h"

#include <algorithm>
#include <cstdio>

#include "kernel/indexes/secondary_index.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/bin_relation.h"
#include "objects/links.h"
#include "objects/object_table.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "platform/errors.h"

namespace {

OBL_DumpService* gDumpService = nullptr;
FBL_FormulaCompiler* gDefaultCompiler = nullptr;

constexpr uint16_t kCurrentFormat = 400;

}  // namespace

void zv::SetDumpService(OBL_DumpService* service) {
  gDumpService = service;
}

void zv::SetDefaultFormulaCompiler(FBL_FormulaCompiler* compiler) {
  gDefaultCompiler = compiler;
}

std::string zv::KeyCheckValue(const FBL_EncryptionKeyRef& key) {
  if (!key) return {};
  uint32_t w1, w2;
  zv::KeyCheckWords(key.get(), w1, w2);
  char text[17];
  std::snprintf(text, sizeof text, "%08X%08X", w1, w2);
  return text;
}

OBL_DataBase::OBL_DataBase(platform::Env* env) : FBL_DataBase(env), mCompiler(gDefaultCompiler) {}

OBL_DataBase::~OBL_DataBase() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the files are released below.
  }
  DropTables();
}

// ---- lifecycle ----------------------------------------------------------------------

void OBL_DataBase::Open(const std::string& path) {
  FBL_DataBase::Open(path, mPendingKey);
}

void OBL_DataBase::Close() {
  if (!IsOpen()) return;
  FBL_DataBase::Close();
  mSuppressStore = false;
  mDatabaseItem = 0;
  mStoredSettings.clear();
}

void OBL_DataBase::ClearFiles() {
  DropTables();
  FBL_DataBase::ClearFiles();
}

// Links refer to fields, children to their parents, everything to sysItem.
void OBL_DataBase::DropTables() {
  LetCursorsGo(nullptr);
  mLinks.clear();
  mTemporary.clear();
  while (!mTables.empty()) mTables.pop_back();
  mSysItem.reset();
}

void OBL_DataBase::OnOpen(bool newDatabase) {
  try {
    if (newDatabase) {
      CreateSystemTables(true);
      return;
    }
    FBL_EmbededFile map(*GetStructureVolume(), static_cast<uint32_t>(kSysItemID), kKindRecordMap, 0);
    if (map.Exists()) {
      try {
        CreateSystemTables(false);
      } catch (const xFBL_Exception&) {
        // Texts that do not read under the structure key given.
        if (GetStructureVolume()->GetHeader().mStructureEncrypted == 1)
          throw xFBL_WrongStructureEncryptionKey();
        throw;
      }
    } else if (GetStructureVersion() == kCurrentFormat) {
      throw xFBL_CantReadDomain("The database has no schema tables");
    }
  } catch (...) {
    DropTables();
    throw;
  }
}

void OBL_DataBase::LoadStructure() {
  try {
    if (GetStructureVersion() == kCurrentFormat) {
      LoadSchema();
    } else {
      FBL_DataBase::LoadStructure();
    }
  } catch (...) {
    DropTables();
    throw;
  }
}

void OBL_DataBase::CreateSystemTables(bool fill) {
  mSysItem.reset();
  mSysItem = std::make_unique<OBL_SysItem>(*this);
  ApplyStructureCiphers();
  mSysItem->GetDescriptions().GetStore().Open();
  mSysItem->GetStore().Open();
  if (fill) {
    mSysItem->GetDescriptions().Fill();
  } else {
    mSysItem->GetDescriptions().LoadKinds();
  }
}

OBL_SysItem& OBL_DataBase::GetSysItem() const {
  if (!mSysItem) throw xFBL_DatabaseIsNotOpened();
  return *mSysItem;
}

void OBL_DataBase::RequireWritable() const {
  if (!IsOpen()) throw xFBL_DatabaseIsNotOpened();
  if (IsReadOnly()) throw xFBL_DataFileError("The database is read-only");
}

void OBL_DataBase::FlushAllFiles() {
  for (OBL_BaseObject* table : GetAllBaseObjects()) {
    if (table->GetStore().IsOpened()) table->GetStore().FlushBuffers();
  }
  for (auto& table : mTemporary) {
    if (table->GetStore().IsOpened()) table->GetStore().FlushBuffers();
  }
  FlushEverything();
}

void OBL_DataBase::CommitChange(OBL_BaseObject* table) {
  if (!IsOpen() || IsReadOnly()) return;
  if (mSysItem && !mSuppressStore) StoreDatabaseItem(false);
  std::vector<OBL_BaseObject*> touched;
  if (mSysItem) touched = {&mSysItem->GetDescriptions(), mSysItem.get()};
  if (table != nullptr) touched.push_back(table);
  for (OBL_BaseObject* t : touched) {
    if (t->GetStore().IsOpened()) t->GetStore().FlushBuffers();
  }
  CommitWrites();
}

void OBL_DataBase::SaveStructure() {
  if (mSysItem && !mSuppressStore) StoreDatabaseItem(false);
  FlushAllFiles();
}

bool OBL_DataBase::IsEncrypted() {
  if (GetEncryptionKey()) return true;
  return mSysItem && mDatabaseItem != 0 &&
         mSysItem->GetInteger(kPropDbEncrypted, mDatabaseItem) != 0;
}

bool OBL_DataBase::IsStructureEncrypted() {
  if (GetStructureCipher()) return true;
  if (FBL_DataFile* volume = GetStructureVolume()) {
    if (volume->GetHeader().mStructureEncrypted == 1) return true;
  }
  return false;
}

// ---- tables ------------------------------------------------------------------------------

void OBL_DataBase::Prepare(OBL_BaseObject& table) {
  table.GetStore().SetIndexFactory(&mIndexFactory);
  table.GetStore().SetFormulaCompiler(mCompiler);
}

void OBL_DataBase::SetFormulaCompiler(FBL_FormulaCompiler* compiler) {
  mCompiler = compiler;
  for (OBL_BaseObject* table : GetAllBaseObjects()) table->GetStore().SetFormulaCompiler(compiler);
  for (auto& table : mTemporary) table->GetStore().SetFormulaCompiler(compiler);
}

OBL_BaseObject* OBL_DataBase::FindBaseObject(const std::string& name) const {
  // GetAllBaseObjects' order, without making its list (every statement
  // names its tables).
  if (mSysItem) {
    OBL_BaseObject& descriptions = mSysItem->GetDescriptions();
    if (zv::SameName(descriptions.GetName(), name)) return &descriptions;
    if (zv::SameName(mSysItem->GetName(), name)) return mSysItem.get();
  }
  for (const auto& table : mTables) {
    if (zv::SameName(table->GetName(), name)) return table.get();
  }
  for (const auto& table : mTemporary) {
    if (zv::SameName(table->GetName(), name)) return table.get();
  }
  return nullptr;
}

OBL_BaseObject* OBL_DataBase::GetBaseObject(uint32_t position) const {
  if (position == 0 || position > mTables.size()) return nullptr;
  return mTables[position - 1].get();
}

std::vector<OBL_BaseObject*> OBL_DataBase::GetAllBaseObjects() const {
  std::vector<OBL_BaseObject*> all;
  if (mSysItem) {
    all.push_back(&mSysItem->GetDescriptions());
    all.push_back(mSysItem.get());
  }
  for (const auto& table : mTables) all.push_back(table.get());
  return all;
}

int32_t OBL_DataBase::NextBaseObjectID() {
  if (mBaseObjectLastID >= kSysItemID - 1) throw xOBL_BaseObjectError("No table ID is left");
  ++mBaseObjectLastID;
  if (mSysItem && mDatabaseItem != 0 && !IsReadOnly()) {
    mSysItem->SetInteger(kPropBaseObjectLastID, mDatabaseItem, mBaseObjectLastID);
    mStoredSettings = ItemsState();
    CommitChange(nullptr);
  }
  return mBaseObjectLastID;
}

void OBL_DataBase::RecomputeBaseObjectLastID() {
  int32_t last = 0;
  for (const auto& table : mTables) last = std::max(last, table->GetID());
  mBaseObjectLastID = last;
  if (mSysItem && mDatabaseItem != 0 && !IsReadOnly()) {
    mSysItem->SetInteger(kPropBaseObjectLastID, mDatabaseItem, mBaseObjectLastID);
    mStoredSettings = ItemsState();
    Flush();
  }
}

OBL_BaseObject& OBL_DataBase::MakeNewBaseObject(const std::string& name, OBL_BaseObject* parent,
                                                uint8_t inheritanceType, bool abstract) {
  RequireWritable();
  if (name.empty() || FindBaseObject(name) != nullptr)
    throw xOBL_BaseObjectError("The table name is empty or in use");
  if (parent != nullptr && (parent->IsTemporary() || parent->IsSystem()))
    throw xOBL_WrongChildType();
  const int32_t id = NextBaseObjectID();
  auto table = std::make_unique<OBL_BaseObject>(*this, name, id, parent, inheritanceType);
  table->SetAbstract(abstract, false);
  table->OpenFiles();
  OBL_BaseObject& made = *table;
  mTables.push_back(std::move(table));
  try {
    made.StoreItems();
  } catch (...) {
    try {
      if (made.GetItemID() != 0) mSysItem->DeleteItemTree(made.GetItemID());
      made.GetStore().CloseFiles();
      made.GetStore().DropFiles();
    } catch (const xFBL_Exception&) {
      // The first error is the one to report.
    }
    mTables.pop_back();
    throw;
  }
  CommitChange(&made);
  return made;
}

OBL_BaseObject& OBL_DataBase::MakeNewBaseObject(
    const std::string& name, const std::function<void(OBL_BaseObject&)>& addFields) {
  HoldCommits();
  OBL_BaseObject* made = nullptr;
  try {
    made = &MakeNewBaseObject(name);
    addFields(*made);
  } catch (...) {
    // Nothing of the table was committed; taking it away again leaves the
    // state of the last commit but for the table ID used.
    bool undone = true;
    try {
      if (made != nullptr) RemoveBaseObject(*made);
    } catch (const xFBL_Exception&) {
      undone = false;
      NoteLostChanges();
    }
    try {
      ReleaseCommits(undone);
    } catch (const xFBL_Exception&) {
      // The first error is the one to report.
    }
    throw;
  }
  ReleaseCommits(true);
  return *made;
}

OBL_BaseObject& OBL_DataBase::MakeTemporaryBaseObject(const std::string& name) {
  if (!IsOpen()) throw xFBL_DatabaseIsNotOpened();
  auto table = std::make_unique<OBL_BaseObject>(*this, name, --mTemporaryLastID);
  table->OpenFiles();
  mTemporary.push_back(std::move(table));
  return *mTemporary.back();
}

void OBL_DataBase::RemoveBaseObject(OBL_BaseObject& table) {
  if (table.IsSystem()) throw xOBL_BaseObjectError("The schema tables stay");
  if (!table.GetChildren().empty()) throw xOBL_BaseObjectError("The table has child tables");
  const bool temporary = table.IsTemporary();
  if (!temporary) RequireWritable();
  LetCursorsGo(&table);
  // Pointers of other tables to this one lose their target.
  for (OBL_PointerLink* link : PointersTo(table)) {
    if (&link->GetTable() == &table) continue;
    link->GetTable().ChangeFieldTarget(link->GetField(), nullptr, link->GetDeletionControl());
  }
  for (OBL_Link* link : LinksOf(table)) {
    auto* relation = dynamic_cast<OBL_BinRelation*>(link);
    if (relation == nullptr) continue;
    if (relation->GetItemID() != 0) mSysItem->DeleteItemTree(relation->GetItemID());
    relation->DropFiles();
    std::erase_if(mLinks, [&](const auto& l) { return l.get() == relation; });
  }
  for (FBL_BaseField* field : table.GetOwnFields()) RemovePointerLink(*field);
  if (!temporary && table.GetItemID() != 0) mSysItem->DeleteItemTree(table.GetItemID());
  if (table.GetStore().IsOpened()) table.GetStore().CloseFiles();
  table.GetStore().DropFiles();
  auto& list = temporary ? mTemporary : mTables;
  std::erase_if(list, [&](const auto& t) { return t.get() == &table; });
  if (!temporary) Flush();
}

// ---- cursors -------------------------------------------------------------------------------

void OBL_DataBase::RegisterCursor(OBL_I_Cursor& cursor) {
  if (mCursors.capacity() == 0) mCursors.reserve(10);
  if (mCursors.size() == mCursors.capacity()) mCursors.reserve(mCursors.capacity() * 2);
  mCursors.push_back(&cursor);
}

void OBL_DataBase::UnregisterCursor(OBL_I_Cursor& cursor) {
  std::erase(mCursors, &cursor);
}

void OBL_DataBase::LetCursorsGo(const OBL_BaseObject* table) {
  // A cursor letting go may drop a temporary table of its own, which comes
  // back here: walk a copy.
  const std::vector<OBL_I_Cursor*> cursors = mCursors;
  for (OBL_I_Cursor* cursor : cursors) {
    if (std::find(mCursors.begin(), mCursors.end(), cursor) != mCursors.end()) cursor->LetGo(table);
  }
  // Closing: the cursors outlive their database and no longer unregister.
  if (table == nullptr) mCursors.clear();
}

// ---- settings ------------------------------------------------------------------------------

void OBL_DataBase::SetDateFormat(uint8_t order, char dateSeparator, char timeSeparator) {
  FBL_DateSettings settings = GetDateSettings();
  settings.mDateOrder = order <= 2 ? order : 0;
  settings.mDateSeparator = dateSeparator;
  settings.mTimeSeparator = timeSeparator;
  SetDateSettings(settings);
  if (IsOpen() && !IsReadOnly()) Flush();
}

void OBL_DataBase::SetTimeOut(uint32_t timeOut) {
  mTimeOut = timeOut;
  if (IsOpen() && !IsReadOnly()) Flush();
}

// ---- links ---------------------------------------------------------------------------------

OBL_Link* OBL_DataBase::FindLink(const std::string& name) const {
  for (const auto& link : mLinks) {
    if (link->GetLinkType() != OBL_LinkType::kPointer && zv::SameName(link->GetName(), name))
      return link.get();
  }
  return nullptr;
}

std::vector<OBL_Link*> OBL_DataBase::LinksOf(const OBL_BaseObject& table) const {
  std::vector<OBL_Link*> links;
  for (const auto& link : mLinks) {
    if (link->Involves(table)) links.push_back(link.get());
  }
  return links;
}

OBL_PointerLink* OBL_DataBase::PointerLinkOf(const FBL_BaseField& field) const {
  for (const auto& link : mLinks) {
    auto* pointer = dynamic_cast<OBL_PointerLink*>(link.get());
    if (pointer != nullptr && &pointer->GetField() == &field) return pointer;
  }
  return nullptr;
}

std::vector<OBL_PointerLink*> OBL_DataBase::PointersTo(const OBL_BaseObject& table) const {
  std::vector<OBL_PointerLink*> pointers;
  for (const auto& link : mLinks) {
    auto* pointer = dynamic_cast<OBL_PointerLink*>(link.get());
    if (pointer != nullptr && pointer->GetTarget() == &table) pointers.push_back(pointer);
  }
  return pointers;
}

OBL_PointerLink& OBL_DataBase::AddPointerLink(OBL_BaseObject& table, F_ObjectPTR& field,
                                              OBL_BaseObject* target, OBL_DeletionControl control) {
  auto link = std::make_unique<OBL_PointerLink>(*this, table, field, target, control);
  OBL_PointerLink& made = *link;
  mLinks.push_back(std::move(link));
  return made;
}

void OBL_DataBase::RemovePointerLink(const FBL_BaseField& field) {
  std::erase_if(mLinks, [&](const auto& link) {
    auto* pointer = dynamic_cast<OBL_PointerLink*>(link.get());
    return pointer != nullptr && &pointer->GetField() == &field;
  });
}

OBL_Link& OBL_DataBase::AdoptLink(std::unique_ptr<OBL_Link> link) {
  link->SetInternal(true);
  mLinks.push_back(std::move(link));
  return *mLinks.back();
}

uint16_t OBL_DataBase::NewRelationNumber() const {
  uint32_t last = 0;
  for (const auto& link : mLinks) {
    if (auto* relation = dynamic_cast<OBL_BinRelation*>(link.get()))
      last = std::max<uint32_t>(last, relation->GetNumber());
  }
  if (last >= UINT16_MAX) throw xOBL_RelationError("No relation number is left");
  return static_cast<uint16_t>(last + 1);
}

OBL_BinRelation& OBL_DataBase::MakeBinRelation(const std::string& name, OBL_BaseObject& left,
                                               uint16_t leftType, OBL_DeletionControl leftControl,
                                               OBL_BaseObject& right, uint16_t rightType,
                                               OBL_DeletionControl rightControl) {
  RequireWritable();
  if (name.empty() || FindLink(name) != nullptr)
    throw xOBL_RelationError("The relation name is empty or in use");
  if (left.IsSystem() || right.IsSystem() || left.IsTemporary() || right.IsTemporary())
    throw xOBL_RelationError("Relations join stored user tables");
  auto relation = std::make_unique<OBL_BinRelation>(*this, name, NewRelationNumber());
  relation->AddBranch(left, leftType, leftControl);
  relation->AddBranch(right, rightType, rightControl);
  relation->Open();
  OBL_BinRelation& made = *relation;
  mLinks.push_back(std::move(relation));
  try {
    made.StoreItems();
  } catch (...) {
    try {
      if (made.GetItemID() != 0) mSysItem->DeleteItemTree(made.GetItemID());
      made.DropFiles();
    } catch (const xFBL_Exception&) {
      // The first error is the one to report.
    }
    mLinks.pop_back();
    throw;
  }
  Flush();
  return made;
}

void OBL_DataBase::DropLink(OBL_Link& link) {
  auto* relation = dynamic_cast<OBL_BinRelation*>(&link);
  if (dynamic_cast<OBL_PointerLink*>(&link) != nullptr || link.IsSystem())
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "A pointer's link goes with its field");
  if (relation != nullptr) {
    RequireWritable();
    if (!relation->IsEmpty()) throw xOBL_RelationIsNotEmpty();
    if (relation->GetItemID() != 0) mSysItem->DeleteItemTree(relation->GetItemID());
    relation->DropFiles();
  }
  std::erase_if(mLinks, [&](const auto& l) { return l.get() == &link; });
  if (relation != nullptr) Flush();
}

// ---- ciphers -------------------------------------------------------------------------------

void OBL_DataBase::PrepareField(OBL_BaseObject& /*table*/, FBL_BaseField& field,
                                const FBL_EncryptionKeyRef& key) {
  if (key) field.SetOwnCiphers(FBL_FileCiphers::Of(key));
}

void OBL_DataBase::EncipherIndex(OBL_BaseObject& table, FBL_SecondaryIndex& index) {
  const FBL_FileCiphers ciphers = table.GetStore().GetFileCiphers();
  if (ciphers.IsSet()) index.SetEncryption(ciphers.mEncryptor, ciphers.mDecryptor);
}

// ---- maintenance ---------------------------------------------------------------------------

void OBL_DataBase::Reindex() {
  for (OBL_BaseObject* table : GetAllBaseObjects()) {
    if (table->IsLocked()) continue;
    OBL_ObjectTable& store = table->GetStore();
    store.DropIndexes();
    store.OpenIndexes();
  }
  if (!IsReadOnly()) Flush();
}

void OBL_DataBase::DefragmentTables() {
  for (OBL_BaseObject* table : GetAllBaseObjects()) {
    if (table->IsLocked()) continue;
    for (uint32_t i = 1; i <= table->GetStore().FieldCount(); ++i)
      table->GetStore().GetField(i)->Defragment();
  }
}

void OBL_DataBase::Defragment() {
  RequireWritable();
  DefragmentTables();
  FlushAllFiles();
  CompactAll();
  Flush();
}

void OBL_DataBase::Dump(const std::string& path, int32_t kind) {
  if (gDumpService != nullptr && (kind == 1 || kind == 2)) gDumpService->Dump(*this, path, kind);
}

void OBL_DataBase::LoadDump(const std::string& path, int32_t kind, const std::string& newDatabase) {
  if (gDumpService != nullptr && kind == 2) gDumpService->LoadDump(*this, path, kind, newDatabase);
}
