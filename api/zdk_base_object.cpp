#include "api/zdk_base_object.h"

#include <algorithm>

#include "api/handle_registry.h"
#include "api/zdk_database.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"

namespace api {

ZDK_BaseObject::ZDK_BaseObject(ZDK_DataBase& db, OBL_BaseObject& table)
    : mDataBase(db), mTable(table) {
  mHandle = HandleRegistry::Instance().Register(HandleKind::Table, this);
  mFields.emplace_back();  // entry 0: no field has number 0
  try {
    SyncFields();
  } catch (...) {
    mFields.clear();
    HandleRegistry::Instance().Unregister(mHandle);
    throw;
  }
}

ZDK_BaseObject::~ZDK_BaseObject() {
  mFields.clear();
  HandleRegistry::Instance().Unregister(mHandle);
}

void ZDK_BaseObject::SetName(const std::string& name) {
  mTable.SetName(name);
}

ZDK_Field* ZDK_BaseObject::GetField(uint32_t number) const {
  if (number == 0 || number >= mFields.size()) return nullptr;
  return mFields[number].get();
}

ZDK_Field* ZDK_BaseObject::GetField(const std::string& name) const {
  for (size_t i = 1; i < mFields.size(); ++i) {
    if (zv::SameName(mFields[i]->GetName(), name)) return mFields[i].get();
  }
  return nullptr;
}

uint32_t ZDK_BaseObject::GetRecordCount() const {
  mTable.RequireUnlocked();
  return mTable.GetStore().GetRecordCount();
}

void ZDK_BaseObject::SyncFields() {
  const uint32_t count = mTable.GetFieldCount();
  std::vector<std::unique_ptr<ZDK_Field>> next;
  next.reserve(count + 1);
  next.emplace_back();
  for (uint32_t n = 1; n <= count; ++n) {
    FBL_BaseField* field = mTable.GetField(n);
    if (field == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
    auto kept = std::find_if(mFields.begin() + 1, mFields.end(), [&](const auto& w) {
      return w && &w->Kernel() == field && w->GetType() == field->GetType();
    });
    if (kept != mFields.end()) {
      next.push_back(std::move(*kept));
    } else {
      next.push_back(MakeFieldWrapper(*field, this));
    }
  }
  mFields.swap(next);  // wrappers of fields gone are destroyed with `next`
}

ZDK_Field& ZDK_BaseObject::ReplaceWrapper(ZDK_Field& old, FBL_BaseField& now) {
  auto it = std::find_if(mFields.begin() + 1, mFields.end(),
                         [&](const auto& w) { return w.get() == &old; });
  if (it == mFields.end()) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  const int32_t handle = old.TakeHandle();
  std::unique_ptr<ZDK_Field> wrapper;
  try {
    wrapper = MakeFieldWrapper(now, this, handle);
  } catch (...) {
    HandleRegistry::Instance().Unregister(handle);
    throw;
  }
  it->swap(wrapper);
  ZDK_Field& result = **it;
  mDataBase.SyncTables();
  return result;
}

ZDK_Field& ZDK_BaseObject::MakeNewField(const OBL_FieldSpec& fieldSpec) {
  FBL_BaseField& made = mTable.MakeNewField(fieldSpec);
  mDataBase.SyncTables();
  for (size_t i = 1; i < mFields.size(); ++i) {
    if (&mFields[i]->Kernel() == &made) return *mFields[i];
  }
  throw xFBL_Exception(ERR_ASSERTION_NULL);
}

void ZDK_BaseObject::RemoveField(ZDK_Field& field) {
  mTable.RemoveField(field.Kernel());
  mDataBase.SyncTables();
}

ZDK_Field& ZDK_BaseObject::ChangeFieldType(ZDK_Field& field, uint8_t type, uint32_t parameter) {
  FBL_BaseField& now = mTable.ChangeFieldType(field.Kernel(), type, parameter);
  return ReplaceWrapper(field, now);
}

ZDK_Field& ZDK_BaseObject::ChangeFieldLength(ZDK_Field& field, uint32_t length) {
  FBL_BaseField& now = mTable.ChangeFieldLength(field.Kernel(), length);
  return ReplaceWrapper(field, now);
}

void ZDK_BaseObject::RenameField(ZDK_Field& field, const std::string& name) {
  mTable.RenameField(field.Kernel(), name);
}

void ZDK_BaseObject::ChangeFieldTarget(ZDK_Field& field, ZDK_BaseObject& target,
                                       uint8_t deletionControl) {
  if (deletionControl > static_cast<uint8_t>(OBL_DeletionControl::kRestrict))
    throw xFBL_Exception(ERR_WRONG_PARAMETER);
  mTable.ChangeFieldTarget(field.Kernel(), &target.Table(),
                           static_cast<OBL_DeletionControl>(deletionControl));
}

REC_ID ZDK_BaseObject::AddRecord() {
  mTable.RequireUnlocked();
  return mTable.GetStore().AddRecord();
}

void ZDK_BaseObject::UpdateRecord() {
  mTable.RequireUnlocked();
  mTable.GetStore().UpdateRecord();
}

bool ZDK_BaseObject::DeleteRecord() {
  mTable.RequireUnlocked();
  return mTable.DeleteRecord();
}

bool ZDK_BaseObject::GoToRecord(REC_ID recID) {
  mTable.RequireUnlocked();
  return mTable.GetStore().GoToRecord(recID);
}

bool ZDK_BaseObject::FirstRecord() {
  mTable.RequireUnlocked();
  return mTable.GetStore().FirstRecord();
}

bool ZDK_BaseObject::LastRecord() {
  mTable.RequireUnlocked();
  return mTable.GetStore().LastRecord();
}

bool ZDK_BaseObject::NextRecord() {
  mTable.RequireUnlocked();
  return mTable.GetStore().NextRecord();
}

bool ZDK_BaseObject::PrevRecord() {
  mTable.RequireUnlocked();
  return mTable.GetStore().PrevRecord();
}

REC_ID ZDK_BaseObject::GetCurrentRecID() const {
  return mTable.GetStore().GetCurrentRecID();
}

ZDK_BaseObject* FindBaseObject(int32_t handle) {
  return static_cast<ZDK_BaseObject*>(HandleRegistry::Instance().Find(handle, HandleKind::Table));
}

}  // namespace api
