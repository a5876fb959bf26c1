// ZDK_BaseObject: what a table handle names. It wraps a table of the
// object layer and keeps one field wrapper per user field, numbered from 1
// as the table numbers them (entry 0 stays empty).
//
// The wrapper list follows the table: every schema change made through
// the wrapper ends in SyncFields, which keeps the wrappers of fields still
// there, makes wrappers for new ones and destroys those of fields gone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/zdk_field.h"
#include "objects/base_object.h"

namespace api {

class ZDK_DataBase;

class ZDK_BaseObject {
 public:
  // REQUIRES: table belongs to db's database and outlives the wrapper.
  ZDK_BaseObject(ZDK_DataBase& db, OBL_BaseObject& table);
  virtual ~ZDK_BaseObject();
  ZDK_BaseObject(const ZDK_BaseObject&) = delete;
  ZDK_BaseObject& operator=(const ZDK_BaseObject&) = delete;

  int32_t GetHandle() const { return mHandle; }
  OBL_BaseObject& Table() const { return mTable; }
  ZDK_DataBase& GetDataBase() const { return mDataBase; }
  const std::string& GetName() const { return mTable.GetName(); }
  void SetName(const std::string& name);

  uint32_t GetFieldCount() const { return static_cast<uint32_t>(mFields.size()) - 1; }
  // 1-based; null out of range.
  ZDK_Field* GetField(uint32_t number) const;
  // Without regard to case; null when none has the name.
  ZDK_Field* GetField(const std::string& name) const;
  uint32_t GetRecordCount() const;

  // fieldSpec.mTarget of an object pointer is the target's table.
  ZDK_Field& MakeNewField(const OBL_FieldSpec& fieldSpec);
  void RemoveField(ZDK_Field& field);
  // The field keeps its handle; its wrapper becomes one of the new type.
  ZDK_Field& ChangeFieldType(ZDK_Field& field, uint8_t type, uint32_t parameter);
  ZDK_Field& ChangeFieldLength(ZDK_Field& field, uint32_t length);
  void RenameField(ZDK_Field& field, const std::string& name);
  void ChangeFieldTarget(ZDK_Field& field, ZDK_BaseObject& target, uint8_t deletionControl);

  // ---- the table's current record ---------------------------------------
  // Forwarded to the record store; the field wrappers read and write the
  // current record's values.
  REC_ID AddRecord();
  void UpdateRecord();
  bool DeleteRecord();
  bool GoToRecord(REC_ID recID);
  bool FirstRecord();
  bool LastRecord();
  bool NextRecord();
  bool PrevRecord();
  REC_ID GetCurrentRecID() const;

  void SyncFields();

 private:
  // Puts a wrapper of the field now at `number` in place of `old`, under
  // old's handle.
  ZDK_Field& ReplaceWrapper(ZDK_Field& old, FBL_BaseField& now);

  ZDK_DataBase& mDataBase;
  OBL_BaseObject& mTable;
  int32_t mHandle;
  std::vector<std::unique_ptr<ZDK_Field>> mFields;
};

// The table a handle names, or null.
ZDK_BaseObject* FindBaseObject(int32_t handle);

}  // namespace api
