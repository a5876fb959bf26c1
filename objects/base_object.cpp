#include "objects/base_object.h"

#include <algorithm>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/language.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "platform/ascii_text.h"
#include "platform/errors.h"

// ASCII letters only: through the locale's toupper a host that set a locale
// such as Turkish would no longer find the field "id" by "ID".
bool zv::SameName(const std::string& a, const std::string& b) {
  return zv::EqualNoCaseAscii(a, b);
}

std::unique_ptr<FBL_BaseField> zv::ColumnCopy(const FBL_BaseField& field) {
  uint32_t length = 0;
  if (const auto* sized = dynamic_cast<const FBL_LengthField*>(&field))
    length = sized->GetDeclaredLength();
  std::unique_ptr<FBL_BaseField> copy = zv::MakeField(field.GetType(), field.GetName(), 0, length);
  if (!copy) throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
  copy->InitFromField(field);
  return copy;
}

namespace {

bool IsSizedType(uint8_t type) {
  return type == kTypeString || type == kTypeVarChar || type == kTypeFixedBinary ||
         type == kTypeVarBinary;
}

bool IsBlobType(uint8_t type) {
  return type == kTypeBLOB || type == kTypeText || type == kTypePicture;
}

std::string LanguageOf(const FBL_BaseField& field) {
  if (const auto* text = dynamic_cast<const BF_STRING*>(&field)) return text->GetLanguage().GetName();
  if (const auto* text = dynamic_cast<const BF_TEXT*>(&field)) return text->GetLanguage().GetName();
  return {};
}

}  // namespace

OBL_BaseObject::OBL_BaseObject(OBL_DataBase& db, const std::string& name, int32_t id,
                               OBL_BaseObject* parent, uint8_t inheritanceType,
                               FBL_DataFile* volume)
    : mDataBase(db), mID(id), mParent(parent), mInheritanceType(inheritanceType) {
  mStore = std::make_unique<OBL_ObjectTable>(*this, db, static_cast<uint32_t>(id), volume);
  mStore->SetName(name, false);
  db.Prepare(*this);
  mRecID = &mStore->AddField(zv::MakeField(kTypeRecID, "RecID", 0));
  if (parent != nullptr) {
    std::unique_ptr<FBL_BaseField> link = zv::MakeField(kTypeTablePtr, "TablePtr", 0);
    auto* tablePtr = static_cast<BF_TablePTR*>(link.get());
    tablePtr->SetTargetTable(&parent->GetStore(), false);
    mStore->AddField(std::move(link));
    mTablePtr = tablePtr;
    parent->mChildren.push_back(this);
  }
}

OBL_BaseObject::~OBL_BaseObject() {
  if (mParent != nullptr) {
    auto& siblings = mParent->mChildren;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

// ---- fields ---------------------------------------------------------------------------

const std::string& OBL_BaseObject::GetName() const {
  return mStore->GetName();
}

uint32_t OBL_BaseObject::InheritedCount() const {
  return mParent != nullptr ? mParent->GetFieldCount() : 0;
}

uint32_t OBL_BaseObject::GetFieldCount(OBL_FieldSelection which) const {
  if (which == OBL_FieldSelection::kAll) return InheritedCount() + GetOwnFieldCount();
  return static_cast<uint32_t>(GetFieldList(which).size());
}

std::vector<FBL_BaseField*> OBL_BaseObject::GetFieldList(OBL_FieldSelection which) const {
  std::vector<FBL_BaseField*> list;
  list.reserve(InheritedCount() + mFields.size());
  AppendFields(which, list);
  return list;
}

void OBL_BaseObject::AppendFields(OBL_FieldSelection which,
                                  std::vector<FBL_BaseField*>& list) const {
  if (mParent != nullptr) mParent->AppendFields(which, list);
  const bool methods = which == OBL_FieldSelection::kMethods;
  for (const OwnField& own : mFields) {
    if (which == OBL_FieldSelection::kAll || own.mField->IsMethod() == methods)
      list.push_back(own.mField);
  }
}

std::vector<FBL_BaseField*> OBL_BaseObject::GetOwnFields() const {
  std::vector<FBL_BaseField*> own;
  for (const OwnField& f : mFields) own.push_back(f.mField);
  return own;
}

FBL_BaseField* OBL_BaseObject::GetField(uint32_t index) const {
  const uint32_t inherited = InheritedCount();
  if (index == 0) return nullptr;
  if (index <= inherited) return mParent->GetField(index);
  index -= inherited;
  return index <= mFields.size() ? mFields[index - 1].mField : nullptr;
}

FBL_BaseField* OBL_BaseObject::GetField(const std::string& name) const {
  if (zv::SameName(name, mRecID->GetName())) return mRecID;
  if (mTablePtr != nullptr && zv::SameName(name, mTablePtr->GetName())) return mTablePtr;
  if (mParent != nullptr) {
    if (FBL_BaseField* inherited = mParent->GetField(name)) {
      if (inherited->GetType() != kTypeRecID && inherited->GetType() != kTypeTablePtr)
        return inherited;
    }
  }
  for (const OwnField& own : mFields) {
    if (zv::SameName(name, own.mField->GetName())) return own.mField;
  }
  return nullptr;
}

FBL_BaseField& OBL_BaseObject::GetRecIDField() const {
  return *mRecID;
}

OBL_BaseObject::OwnField* OBL_BaseObject::FindOwn(const FBL_BaseField& field) {
  for (OwnField& own : mFields) {
    if (own.mField == &field) return &own;
  }
  return nullptr;
}

const OBL_BaseObject::OwnField* OBL_BaseObject::FindOwn(const FBL_BaseField& field) const {
  return const_cast<OBL_BaseObject*>(this)->FindOwn(field);
}

OBL_BaseObject::OwnField& OBL_BaseObject::RequireOwn(const FBL_BaseField& field) {
  OwnField* own = FindOwn(field);
  if (own == nullptr)
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "The field is not one of the table's own fields");
  return *own;
}

REC_ID OBL_BaseObject::GetFieldItem(const FBL_BaseField& field) const {
  const OwnField* own = FindOwn(field);
  return own != nullptr ? own->mItem : 0;
}

bool OBL_BaseObject::IsSystem() const {
  return mID == kSysItemID || mID == kSysItemDescriptionID;
}

bool OBL_BaseObject::IsEncrypted() const {
  return mKey != nullptr || !mStoredExample.empty();
}

bool OBL_BaseObject::WaitsForKeys() const {
  if (!mStoredExample.empty() && !mKey) return true;
  for (const OwnField& own : mFields) {
    if (!own.mStoredExample.empty() && !own.mKey) return true;
  }
  return false;
}

void OBL_BaseObject::RequireUnlocked() const {
  if (mLocked) throw xFBL_WrongEncryptionKey("The table waits for its key");
}

void OBL_BaseObject::OpenFiles() {
  if (!mLocked) mStore->Open();
}

bool OBL_BaseObject::DeleteRecord() {
  return mStore->DeleteRecord(false);
}

bool OBL_BaseObject::HasChildRecord(REC_ID recID) {
  for (OBL_BaseObject* child : mChildren) {
    if (child->IsLocked()) continue;
    uint32_t value = recID;
    if (!child->mTablePtr->FindValue(&value)->IsEmpty()) return true;
  }
  return false;
}

// ---- schema changes -------------------------------------------------------------------

bool OBL_BaseObject::Stored() const {
  return !IsTemporary() && !IsSystem() && mItem != 0;
}

void OBL_BaseObject::Commit() {
  mDataBase.CommitChange(this);
}

void OBL_BaseObject::CheckNewName(const std::string& name, const FBL_BaseField* except) const {
  const FBL_BaseField* taken = GetField(name);
  if (taken == nullptr || taken == except) {
    // Children see this table's fields beside their own.
    for (const OBL_BaseObject* child : mChildren) {
      const FBL_BaseField* clash = child->GetField(name);
      if (clash != nullptr && clash != except) throw xFBL_Exception(346);
    }
    return;
  }
  throw xFBL_Exception(346);
}

void OBL_BaseObject::ApplySpec(FBL_BaseField& field, const OBL_FieldSpec& fieldSpec) {
  if (IsBlobType(fieldSpec.mType) && fieldSpec.mSize != 0)
    static_cast<BF_BLOB&>(field).SetSegmentSize(fieldSpec.mSize, false);
  if (fieldSpec.mType == kTypeObjectPtr && fieldSpec.mTarget != nullptr)
    static_cast<F_ObjectPTR&>(field).SetTargetTable(&fieldSpec.mTarget->GetStore(), false);
  if (!fieldSpec.mMethodText.empty()) field.SetMethodText(fieldSpec.mMethodText, false);
}

FBL_BaseField& OBL_BaseObject::AttachNewField(std::unique_ptr<FBL_BaseField> field) {
  FBL_BaseField& added = mStore->AddField(std::move(field));
  mFields.push_back(OwnField{&added, 0, nullptr, {}});
  return added;
}

FBL_BaseField& OBL_BaseObject::AdoptLoadedField(std::unique_ptr<FBL_BaseField> field,
                                                REC_ID item) {
  FBL_BaseField& added = AttachNewField(std::move(field));
  mFields.back().mItem = item;
  return added;
}

FBL_BaseField& OBL_BaseObject::MakeNewField(const OBL_FieldSpec& fieldSpec) {
  RequireUnlocked();
  if (Stored()) mDataBase.RequireWritable();
  CheckNewName(fieldSpec.mName, nullptr);
  if (fieldSpec.mType == kTypeRecID || fieldSpec.mType == kTypeTablePtr)
    throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
  std::unique_ptr<FBL_BaseField> made = zv::MakeField(
      fieldSpec.mType, fieldSpec.mName, fieldSpec.mFlags, IsSizedType(fieldSpec.mType) ? fieldSpec.mSize : 0, fieldSpec.mLanguage);
  if (!made) throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
  ApplySpec(*made, fieldSpec);
  mDataBase.PrepareField(*this, *made, nullptr);
  FBL_BaseField& field = AttachNewField(std::move(made));
  try {
    if (fieldSpec.mType == kTypeObjectPtr) {
      mDataBase.AddPointerLink(*this, static_cast<F_ObjectPTR&>(field), fieldSpec.mTarget,
                               fieldSpec.mDeletionControl);
    }
    if (Stored()) {
      StoreField(mFields.back());
      KeepFieldItemsInOrder();
    }
  } catch (...) {
    try {
      const REC_ID item = GetFieldItem(field);
      DetachOwnField(field);
      if (item != 0) mDataBase.GetSysItem().DeleteItemTree(item);
    } catch (const xFBL_Exception&) {
      // The first error is the one to report.
    }
    throw;
  }
  if (Stored()) Commit();
  return field;
}

void OBL_BaseObject::DetachOwnField(FBL_BaseField& field) {
  mDataBase.RemovePointerLink(field);
  std::erase_if(mFields, [&](const OwnField& own) { return own.mField == &field; });
  std::unique_ptr<FBL_BaseField> removed = mStore->RemoveField(field);
  if (removed) removed->DropFiles();
}

void OBL_BaseObject::RenumberFields() {
  for (uint32_t i = 1; i <= mStore->FieldCount(); ++i) {
    FBL_BaseField* f = mStore->GetField(i);
    if (f->GetFieldNumber() != i) f->ChangeNumber(i);
  }
  // Formulas that read a field that went are made again.
  for (uint32_t i = 1; i <= mStore->FieldCount(); ++i) {
    FBL_BaseField* f = mStore->GetField(i);
    if (f->IsMethod()) f->SetMethodText(f->GetMethodText(), false);
  }
}

void OBL_BaseObject::RemoveField(FBL_BaseField& field) {
  RequireUnlocked();
  if (Stored()) mDataBase.RequireWritable();
  const REC_ID item = RequireOwn(field).mItem;
  if (Stored() && item != 0) mDataBase.GetSysItem().DeleteItemTree(item);
  DetachOwnField(field);
  RenumberFields();
  if (Stored()) Commit();
}

FBL_BaseField& OBL_BaseObject::ReplaceOwnField(OwnField& own, uint8_t type, uint32_t length) {
  FBL_BaseField& field = *own.mField;
  const auto flags =
      static_cast<uint16_t>(field.GetFlags() & ~(kFieldKeepsOldValue | kFieldMethod));
  std::unique_ptr<FBL_BaseField> made =
      zv::MakeField(type, field.GetName(), flags, IsSizedType(type) ? length : 0, LanguageOf(field));
  if (!made) throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
  if (field.IsMethod()) made->SetMethodText(field.GetMethodText(), false);
  mDataBase.PrepareField(*this, *made, own.mKey);
  const uint32_t number = field.GetFieldNumber();
  // The schema hook follows the replacement (FollowReplacement).
  std::unique_ptr<FBL_BaseField> old = mStore->ReplaceField(field, std::move(made), true);
  for (OwnField& o : mFields) {
    if (o.mField->GetFieldNumber() == number) return *o.mField;
  }
  throw xFBL_Exception(ERR_ASSERTION_FAIL, "A replaced field went missing");
}

FBL_BaseField& OBL_BaseObject::ChangeFieldType(FBL_BaseField& field, uint8_t type,
                                               uint32_t param) {
  RequireUnlocked();
  if (Stored()) mDataBase.RequireWritable();
  OwnField& own = RequireOwn(field);
  if (field.GetType() == kTypeBLOB || field.GetType() == kTypeObjectPtr || type == kTypeBLOB ||
      type == kTypeObjectPtr) {
    throw xFBL_Exception(ERR_INTERNAL, "BLOB and ObjectPtr fields keep their type");
  }
  if (type == kTypeRecID || type == kTypeTablePtr) throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
  return ReplaceOwnField(own, type, param);
}

FBL_BaseField& OBL_BaseObject::ChangeFieldLength(FBL_BaseField& field, uint32_t length) {
  RequireUnlocked();
  if (Stored()) mDataBase.RequireWritable();
  OwnField& own = RequireOwn(field);
  if (!IsSizedType(field.GetType()))
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "Only string and binary fields have a length");
  return ReplaceOwnField(own, field.GetType(), length);
}

void OBL_BaseObject::RenameField(FBL_BaseField& field, const std::string& name) {
  if (Stored()) mDataBase.RequireWritable();
  RequireOwn(field);
  CheckNewName(name, &field);
  field.SetName(name, true);
}

void OBL_BaseObject::SetName(const std::string& name) {
  if (Stored()) mDataBase.RequireWritable();
  OBL_BaseObject* other = mDataBase.FindBaseObject(name);
  if (other != nullptr && other != this) throw xOBL_BaseObjectError("The table name is in use");
  mStore->SetName(name, true);
}

void OBL_BaseObject::SetAbstract(bool on, bool persist) {
  mAbstract = on;
  if (!persist || !Stored()) return;
  mDataBase.GetSysItem().SetBoolean(kPropAbstract, mItem, on);
  Commit();
}

void OBL_BaseObject::ChangeFieldTarget(FBL_BaseField& field, OBL_BaseObject* target,
                                       OBL_DeletionControl control) {
  if (Stored()) mDataBase.RequireWritable();
  RequireOwn(field);
  OBL_PointerLink* link = mDataBase.PointerLinkOf(field);
  if (field.GetType() != kTypeObjectPtr || link == nullptr)
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "Only ObjectPtr fields have a target");
  link->SetDeletionControl(control);
  static_cast<F_ObjectPTR&>(field).SetTargetTable(target ? &target->GetStore() : nullptr, true);
}
