#include "objects/system_tables.h"

#include <algorithm>
#include <cstdlib>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/schema_dictionary.h"
#include "platform/errors.h"

namespace {

constexpr uint32_t kValueLength = 504;
constexpr uint32_t kTextSegment = 256;

uint64_t Bits(FBL_BaseField& field) {
  return field.GetAsBits();
}

std::string IntegerText(int64_t value) {
  return std::to_string(value);  // "%li"
}

}  // namespace

// ---- sysItemDescription -------------------------------------------------------------

OBL_SysItemDescription::OBL_SysItemDescription(OBL_DataBase& db)
    : OBL_BaseObject(db, "sysItemDescription", kSysItemDescriptionID, nullptr, 0,
                     db.GetStructureVolume()) {
  GetStore().SetOwnCiphers(FBL_FileCiphers{});  // the dictionary stays plain
  mKind = &AttachNewField(zv::MakeField(kTypeLong, "Kind", kFieldIndexed | kFieldUnique));
  std::unique_ptr<FBL_BaseField> parent = zv::MakeField(kTypeObjectPtr, "ParentPtr", 0);
  static_cast<F_ObjectPTR&>(*parent).SetTargetTable(&GetStore(), false);
  mParent = static_cast<F_ObjectPTR*>(&AttachNewField(std::move(parent)));
  db.AddPointerLink(*this, *mParent, this, OBL_DeletionControl::kRestrict).SetSystem(true);
  mColumnName = static_cast<BF_VarChar*>(
      &AttachNewField(zv::MakeField(kTypeVarChar, "ColumnName", 0, kValueLength)));
  mColumnType = &AttachNewField(zv::MakeField(kTypeByte, "ColumnType", 0));
}

void OBL_SysItemDescription::Fill() {
  std::vector<REC_ID> records;
  for (const OBL_DictionaryEntry& e : zv::SchemaDictionary()) {
    mKind->SetFromBits(static_cast<uint64_t>(static_cast<int64_t>(e.mKind)), true);
    mParent->SetFromBits(e.mOwner != 0 ? records.at(e.mOwner - 1) : 0, false);
    mColumnName->SetString(e.mColumnName);
    mColumnType->SetFromBits(e.mColumnType, false);
    const REC_ID r = GetStore().AddRecord();
    records.push_back(r);
    mByKind[e.mKind] = r;
    mKindOf[r] = e.mKind;
  }
}

void OBL_SysItemDescription::LoadKinds() {
  mByKind.clear();
  mKindOf.clear();
  std::unique_ptr<FBL_BitSet> alive = GetStore().SelectAllRecords();
  FBL_BaseField* fields[] = {mKind};
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    GetStore().ReadFieldsByID(r, fields);
    const auto kind = static_cast<int32_t>(Bits(*mKind));
    mByKind.emplace(kind, r);
    mKindOf[r] = kind;
  }
}

REC_ID OBL_SysItemDescription::Find(int32_t kind) {
  auto it = mByKind.find(kind);
  return it == mByKind.end() ? 0 : it->second;
}

int32_t OBL_SysItemDescription::KindOf(REC_ID description) const {
  auto it = mKindOf.find(description);
  return it == mKindOf.end() ? 0 : it->second;
}

uint32_t OBL_SysItemDescription::Synchronise() {
  LoadKinds();
  uint32_t added = 0;
  for (const OBL_DictionaryEntry& e : zv::SchemaDictionary()) {
    if (Find(e.mKind) != 0) continue;
    mKind->SetFromBits(static_cast<uint64_t>(static_cast<int64_t>(e.mKind)), true);
    mParent->SetFromBits(0, false);
    mColumnName->SetString(e.mColumnName);
    mColumnType->SetFromBits(e.mColumnType, false);
    const REC_ID r = GetStore().AddRecord();
    mByKind[e.mKind] = r;
    mKindOf[r] = e.mKind;
    ++added;
  }
  const auto dictionary = zv::SchemaDictionary();
  FBL_BaseField* fields[] = {mParent};
  for (const OBL_DictionaryEntry& e : dictionary) {
    if (e.mOwner == 0) continue;
    const REC_ID owner = Find(dictionary[e.mOwner - 1].mKind);
    const REC_ID own = Find(e.mKind);
    GetStore().ReadFieldsByID(own, fields);
    if (Bits(*mParent) == owner) continue;
    mParent->SetFromBits(owner, false);
    GetStore().UpdateFieldsByID(own, fields, false);
  }
  GetStore().FlushBuffers();
  return added;
}

// ---- sysItem ------------------------------------------------------------------------------

OBL_SysItem::OBL_SysItem(OBL_DataBase& db)
    : OBL_BaseObject(db, "sysItem", kSysItemID, nullptr, 0, db.GetStructureVolume()),
      mDescriptions(std::make_unique<OBL_SysItemDescription>(db)) {
  // The data key never reaches the schema; the structure key only its
  // texts (object_database.h).
  GetStore().SetOwnCiphers(FBL_FileCiphers{});
  std::unique_ptr<FBL_BaseField> descr = zv::MakeField(kTypeObjectPtr, "ItemDescrPtr", kFieldIndexed);
  static_cast<F_ObjectPTR&>(*descr).SetTargetTable(&mDescriptions->GetStore(), false);
  mDescrPtr = static_cast<F_ObjectPTR*>(&AttachNewField(std::move(descr)));
  db.AddPointerLink(*this, *mDescrPtr, mDescriptions.get(), OBL_DeletionControl::kRestrict)
      .SetSystem(true);
  mValue = static_cast<BF_VarChar*>(
      &AttachNewField(zv::MakeField(kTypeVarChar, "Value", 0, kValueLength)));
  std::unique_ptr<FBL_BaseField> text = zv::MakeField(kTypeText, "TextValue", 0);
  static_cast<BF_BLOB&>(*text).SetSegmentSize(kTextSegment, false);
  mTextValue = static_cast<BF_TEXT*>(&AttachNewField(std::move(text)));
  std::unique_ptr<FBL_BaseField> parent = zv::MakeField(kTypeObjectPtr, "ParentPtr", kFieldIndexed);
  static_cast<F_ObjectPTR&>(*parent).SetTargetTable(&GetStore(), false);
  mParentPtr = static_cast<F_ObjectPTR*>(&AttachNewField(std::move(parent)));
  db.AddPointerLink(*this, *mParentPtr, this, OBL_DeletionControl::kCascade).SetSystem(true);
}

OBL_SysItem::~OBL_SysItem() = default;

std::vector<FBL_BaseField*> OBL_SysItem::TextColumns() const {
  return {mValue, mTextValue};
}

REC_ID OBL_SysItem::Description(int32_t kind) {
  const REC_ID d = mDescriptions->Find(kind);
  if (d == 0) throw xFBL_CantReadDomain("An item kind is missing from sysItemDescription");
  return d;
}

REC_ID OBL_SysItem::FindItem(int32_t kind, REC_ID parent) {
  uint32_t description = mDescriptions->Find(kind);
  if (description == 0) return 0;
  uint32_t owner = parent;
  std::unique_ptr<FBL_ArraySet> ofKind = mDescrPtr->FindValueAsSet(&description);
  std::unique_ptr<FBL_ArraySet> under = mParentPtr->FindValueAsSet(&owner);
  std::unique_ptr<FBL_ArraySet> both = FBL_ArraySet::MakeIntersection(ofKind.get(), under.get());
  return both ? both->GetItem(1) : 0;
}

std::vector<REC_ID> OBL_SysItem::ChildItems(REC_ID parent, int32_t kind) {
  uint32_t description = mDescriptions->Find(kind);
  if (description == 0) return {};
  uint32_t owner = parent;
  std::unique_ptr<FBL_ArraySet> ofKind = mDescrPtr->FindValueAsSet(&description);
  std::unique_ptr<FBL_ArraySet> under = mParentPtr->FindValueAsSet(&owner);
  std::unique_ptr<FBL_ArraySet> both = FBL_ArraySet::MakeIntersection(ofKind.get(), under.get());
  if (!both) return {};
  return {both->GetItems().begin(), both->GetItems().end()};
}

REC_ID OBL_SysItem::AddRecord(REC_ID description, REC_ID parent, const std::string& value,
                              const std::string& longText) {
  mDescrPtr->SetFromBits(description, false);
  mValue->SetString(value);
  if (longText.empty()) {
    mTextValue->SetData(nullptr, 0);
  } else {
    mTextValue->SetString(longText.c_str());
  }
  mParentPtr->SetFromBits(parent, false);
  return GetStore().AddRecord();
}

REC_ID OBL_SysItem::NewItem(int32_t kind, REC_ID parent) {
  return AddRecord(Description(kind), parent, {}, {});
}

std::string OBL_SysItem::ReadValue(REC_ID item) {
  FBL_BaseField* fields[] = {mValue};
  if (!GetStore().ReadFieldsByID(item, fields)) return {};
  return mValue->GetString();
}

void OBL_SysItem::SetText(int32_t kind, REC_ID parent, const std::string& text) {
  const REC_ID item = FindItem(kind, parent);
  if (item == 0) {
    AddRecord(Description(kind), parent, text, {});
    return;
  }
  if (ReadValue(item) == text) return;
  mValue->SetString(text);
  FBL_BaseField* fields[] = {mValue};
  GetStore().UpdateFieldsByID(item, fields, false);
}

void OBL_SysItem::SetItemValue(REC_ID item, const std::string& text) {
  if (ReadValue(item) == text) return;
  mValue->SetString(text);
  FBL_BaseField* fields[] = {mValue};
  GetStore().UpdateFieldsByID(item, fields, false);
}

void OBL_SysItem::SetInteger(int32_t kind, REC_ID parent, int64_t value) {
  SetText(kind, parent, IntegerText(value));
}

void OBL_SysItem::SetLongText(int32_t kind, REC_ID parent, const std::string& text) {
  const REC_ID item = FindItem(kind, parent);
  if (item == 0) {
    AddRecord(Description(kind), parent, {}, text);
    return;
  }
  if (GetLongText(kind, parent) == text) return;
  if (text.empty()) {
    mTextValue->SetData(nullptr, 0);
  } else {
    mTextValue->SetString(text.c_str());
  }
  FBL_BaseField* fields[] = {mTextValue};
  GetStore().UpdateFieldsByID(item, fields, false);
}

void OBL_SysItem::Put(int32_t kind, REC_ID parent, const std::string& text, bool fresh) {
  if (fresh) {
    AddRecord(Description(kind), parent, text, {});
  } else {
    SetText(kind, parent, text);
  }
}

void OBL_SysItem::PutInteger(int32_t kind, REC_ID parent, int64_t value, bool fresh) {
  Put(kind, parent, IntegerText(value), fresh);
}

void OBL_SysItem::PutLongText(int32_t kind, REC_ID parent, const std::string& text, bool fresh) {
  if (fresh) {
    AddRecord(Description(kind), parent, {}, text);
  } else {
    SetLongText(kind, parent, text);
  }
}

std::string OBL_SysItem::GetText(int32_t kind, REC_ID parent) {
  const REC_ID item = FindItem(kind, parent);
  return item == 0 ? std::string() : ReadValue(item);
}

int64_t OBL_SysItem::GetInteger(int32_t kind, REC_ID parent) {
  return std::strtoll(GetText(kind, parent).c_str(), nullptr, 10);
}

std::string OBL_SysItem::GetLongText(int32_t kind, REC_ID parent) {
  const REC_ID item = FindItem(kind, parent);
  if (item == 0) return {};
  FBL_BaseField* fields[] = {mTextValue};
  GetStore().ReadFieldsByID(item, fields);
  return mTextValue->GetString();
}

void OBL_SysItem::DeleteItemTree(REC_ID item) {
  if (item != 0) GetStore().DeleteRecordByID(item, true);
}

void OBL_SysItem::DeleteItem(int32_t kind, REC_ID parent) {
  DeleteItemTree(FindItem(kind, parent));
}

void OBL_SysItem::Clear() {
  GetStore().DeleteAllRecordsRaw();
}

OBL_ItemSnapshot OBL_SysItem::TakeSnapshot() {
  OBL_ItemSnapshot snapshot;
  std::unique_ptr<FBL_BitSet> alive = GetStore().SelectAllRecords();
  snapshot.mItems.reserve(GetStore().GetRecordCount());
  FBL_BaseField* fields[] = {mDescrPtr, mValue, mParentPtr};
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    GetStore().ReadFieldsByID(r, fields);
    OBL_ItemSnapshot::Item item;
    item.mKind = mDescriptions->KindOf(static_cast<REC_ID>(Bits(*mDescrPtr)));
    item.mParent = static_cast<REC_ID>(Bits(*mParentPtr));
    item.mValue = mValue->GetString();
    item.mRecID = r;
    snapshot.mChildren[item.mParent].push_back(static_cast<uint32_t>(snapshot.mItems.size()));
    snapshot.mItems.push_back(std::move(item));
  }
  return snapshot;
}

// ---- the snapshot ------------------------------------------------------------------------

const OBL_ItemSnapshot::Item* OBL_ItemSnapshot::Find(REC_ID parent, int32_t kind) const {
  auto it = mChildren.find(parent);
  if (it == mChildren.end()) return nullptr;
  for (uint32_t i : it->second) {
    if (mItems[i].mKind == kind) return &mItems[i];
  }
  return nullptr;
}

std::vector<const OBL_ItemSnapshot::Item*> OBL_ItemSnapshot::All(REC_ID parent,
                                                                 int32_t kind) const {
  std::vector<const Item*> all;
  auto it = mChildren.find(parent);
  if (it == mChildren.end()) return all;
  for (uint32_t i : it->second) {
    if (mItems[i].mKind == kind) all.push_back(&mItems[i]);
  }
  return all;
}

std::string OBL_ItemSnapshot::Text(REC_ID parent, int32_t kind) const {
  const Item* item = Find(parent, kind);
  return item != nullptr ? item->mValue : std::string();
}

int64_t OBL_ItemSnapshot::Integer(REC_ID parent, int32_t kind) const {
  return std::strtoll(Text(parent, kind).c_str(), nullptr, 10);
}
