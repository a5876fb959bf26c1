// OBL_BaseObject: a table of the object layer. It owns its record store
// (OBL_ObjectTable, which owns the field objects), names its fields in
// order, knows its place in an inheritance chain and keeps its schema
// items in sysItem in step with every change.
//
// Fields: the store holds the implicit "RecID" (type 30) first and, in a
// table with a parent, "TablePtr" (type 0) second; neither is a user field.
// The user fields of a table are its parent's fields (inherited, the
// parent's own objects) followed by its own fields, numbered from 1.
//
// IDs: 0 and above persistent (stored in the schema), negative temporary
// (never stored). The table's files are named by its ID.
//
// Lifecycle: constructed with its implicit fields -> fields added -> Open
// (files created or opened) -> used -> destroyed with its store. A table
// whose own key, or a key of one of its fields, has not been given stays
// locked: its files stay closed and record access raises 326.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "kernel/storage/encryption_key.h"
#include "kernel/tables/schema_change.h"

class FBL_BaseField;
class FBL_DataFile;
class FBL_FileStream;
class BF_TablePTR;
class OBL_BaseObject;
class OBL_DataBase;
class OBL_ObjectTable;

enum class OBL_FieldSelection : uint8_t { kAll = 0, kStored = 1, kMethods = 2 };

// Deletion-control codes of object pointers and relation branches (stored
// numbers).
enum class OBL_DeletionControl : uint8_t {
  kSetNull = 0,
  kCascade = 1,
  kRestrict = 2,
  kInheritance = 3,
};

// What MakeNewField makes. size: the length of String, VarChar,
// FixedBinary and VarBinary fields (0: the type's default), the segment
// size of BLOB, Text and Picture fields (0: the type's default).
struct OBL_FieldSpec {
  std::string mName;
  uint8_t mType = 0;
  uint32_t mSize = 0;
  std::string mLanguage;
  OBL_BaseObject* mTarget = nullptr;  // object pointers
  OBL_DeletionControl mDeletionControl = OBL_DeletionControl::kSetNull;
  std::string mMethodText;
  uint16_t mFlags = 0;
};

namespace zv {

// Names of tables and fields compare upper-cased (ASCII letters).
bool SameName(const std::string& a, const std::string& b);
// A column object of the field's type that shares its descriptor, for
// reads and writes by RecID that leave the field's buffer alone.
std::unique_ptr<FBL_BaseField> ColumnCopy(const FBL_BaseField& field);
// A field's part of a diagnose report (text gets its lines); true when
// all is right. Never raises.
bool DiagnoseField(FBL_BaseField& field, std::string& text, bool verbose);

}  // namespace zv

class OBL_BaseObject {
 public:
  // REQUIRES: db is open; parent (may be null) outlives this table.
  // volume: where the store keeps its records (null: the record volume).
  OBL_BaseObject(OBL_DataBase& db, const std::string& name, int32_t id,
                 OBL_BaseObject* parent = nullptr, uint8_t inheritanceType = 0,
                 FBL_DataFile* volume = nullptr);
  virtual ~OBL_BaseObject();
  OBL_BaseObject(const OBL_BaseObject&) = delete;
  OBL_BaseObject& operator=(const OBL_BaseObject&) = delete;

  // ---- fields -----------------------------------------------------------------
  virtual const std::string& GetName() const;
  virtual uint32_t GetFieldCount(OBL_FieldSelection which = OBL_FieldSelection::kAll) const;
  virtual std::vector<FBL_BaseField*> GetFieldList(
      OBL_FieldSelection which = OBL_FieldSelection::kAll) const;
  // 1-based over the user fields; null out of range.
  virtual FBL_BaseField* GetField(uint32_t index) const;
  // Case-insensitive; "RecID" is always found (and "TablePtr" in a child).
  virtual FBL_BaseField* GetField(const std::string& name) const;
  // Deletes the current record with what it takes along; false when there
  // is none or it cannot be modified.
  virtual bool DeleteRecord();
  // Writes the table's items (table, fields) into sysItem.
  virtual void StoreItems();
  // The table's block of a diagnose report (every field checked); true
  // when all is right.
  virtual bool Diagnose(std::string& report, bool verbose);
  // The table's block of the structure stream, its children's nested.
  virtual void WriteToStream(FBL_FileStream& stream) const;
  // True when the table has a key of its own, else the stored "Encrypted".
  virtual bool IsEncrypted() const;

  // The table's own fields (inherited ones excluded), in order.
  std::vector<FBL_BaseField*> GetOwnFields() const;
  uint32_t GetOwnFieldCount() const { return static_cast<uint32_t>(mFields.size()); }
  FBL_BaseField& GetRecIDField() const;
  // Null in a table without a parent.
  BF_TablePTR* GetTablePtrField() const { return mTablePtr; }

  // ---- identity and chain -------------------------------------------------------
  int32_t GetID() const { return mID; }
  bool IsTemporary() const { return mID < 0; }
  // sysItemDescription and sysItem.
  bool IsSystem() const;
  OBL_DataBase& GetDataBase() const { return mDataBase; }
  OBL_ObjectTable& GetStore() const { return *mStore; }
  OBL_BaseObject* GetParent() const { return mParent; }
  const std::vector<OBL_BaseObject*>& GetChildren() const { return mChildren; }
  // The chain mode of deletions through this table: 1 deletes the object
  // parts of the first child table holding one, anything else those of
  // every child table.
  uint8_t GetInheritanceType() const { return mInheritanceType; }
  bool IsAbstract() const { return mAbstract; }
  void SetAbstract(bool on, bool persist);
  // Whether the chain below holds a record pointing to recID.
  bool HasChildRecord(REC_ID recID);

  // ---- schema changes (each persisted and flushed once, for a stored table) --
  // 346 on a duplicate name, 349 for a type without fields, nothing changed.
  FBL_BaseField& MakeNewField(const OBL_FieldSpec& fieldSpec);
  // Drops the field's data, index and items; later fields renumber.
  void RemoveField(FBL_BaseField& field);
  // 300 for BLOB and ObjectPtr fields (either side); every value converted.
  // param: the length for string and binary types.
  FBL_BaseField& ChangeFieldType(FBL_BaseField& field, uint8_t type, uint32_t param = 0);
  // String, VarChar, FixedBinary and VarBinary: every value cut to length.
  FBL_BaseField& ChangeFieldLength(FBL_BaseField& field, uint32_t length);
  // 346 when another field has the name.
  void RenameField(FBL_BaseField& field, const std::string& name);
  // 346 when another table has the name (501).
  void SetName(const std::string& name);
  // An object pointer's target and deletion control.
  void ChangeFieldTarget(FBL_BaseField& field, OBL_BaseObject* target,
                         OBL_DeletionControl control);

  // ---- schema items ---------------------------------------------------------------
  REC_ID GetItemID() const { return mItem; }
  void SetItemID(REC_ID item) { mItem = item; }
  REC_ID GetFieldItem(const FBL_BaseField& field) const;
  // Store and load hooks of the schema (schema_store.cpp).
  void OnSchemaChange(FBL_SchemaChange change, FBL_BaseField* field);
  // Takes a field made by the loader (items known) into the table.
  FBL_BaseField& AdoptLoadedField(std::unique_ptr<FBL_BaseField> field, REC_ID item);
  // Opens the store's files unless the table waits for a key.
  void OpenFiles();
  // Raises 326 while the table waits for a key.
  void RequireUnlocked() const;

  // ---- keys -----------------------------------------------------------------------
  const FBL_EncryptionKeyRef& GetOwnKey() const { return mKey; }
  // The stored check value of the table's own key (empty: none).
  const std::string& GetStoredExample() const { return mStoredExample; }
  void SetStoredExample(const std::string& example) { mStoredExample = example; }
  bool IsLocked() const { return mLocked; }
  // Whether a key of the table or of one of its fields is stored but not
  // given yet.
  bool WaitsForKeys() const;
  void SetLocked(bool locked) { mLocked = locked; }
  void SetOwnKeyRef(FBL_EncryptionKeyRef key) { mKey = std::move(key); }

 protected:
  // Inserts a field made by the factory: files, items (written by the
  // caller), the children's inherited lists.
  FBL_BaseField& AttachNewField(std::unique_ptr<FBL_BaseField> field);

 private:
  friend class OBL_DataBase;
  struct OwnField {
    FBL_BaseField* mField;
    REC_ID mItem = 0;
    // The field's own key (null: its table's) and the stored check value.
    FBL_EncryptionKeyRef mKey;
    std::string mStoredExample;
  };
  OwnField* FindOwn(const FBL_BaseField& field);
  const OwnField* FindOwn(const FBL_BaseField& field) const;
  OwnField& RequireOwn(const FBL_BaseField& field);
  // Takes the field out of the store and the lists and drops its files.
  void DetachOwnField(FBL_BaseField& field);
  // Gives the store's fields their positions as numbers again.
  void RenumberFields();
  FBL_BaseField& ReplaceOwnField(OwnField& own, uint8_t type, uint32_t length);
  // Keeps the items that name this table (children's "Parent", pointers'
  // "Target", branches' "Name") in step with its name.
  void StoreReferencesToName();
  uint32_t InheritedCount() const;
  // GetFieldList's fields appended to list, the parent's first.
  void AppendFields(OBL_FieldSelection which, std::vector<FBL_BaseField*>& list) const;
  void CheckNewName(const std::string& name, const FBL_BaseField* except) const;
  void ApplySpec(FBL_BaseField& field, const OBL_FieldSpec& fieldSpec);
  // Writes the field's items (new Field item when it has none) and keeps
  // the items of a stored table in field order.
  void StoreField(OwnField& own);
  // Field items keep the fields' order only while they ascend with it.
  void KeepFieldItemsInOrder();
  // ReplaceField put a new object in the place of the own field with the
  // same number.
  OwnField& FollowReplacement(FBL_BaseField& now);
  bool Stored() const;
  void Commit();

  OBL_DataBase& mDataBase;
  int32_t mID;
  std::unique_ptr<OBL_ObjectTable> mStore;
  std::vector<OwnField> mFields;
  FBL_BaseField* mRecID = nullptr;
  BF_TablePTR* mTablePtr = nullptr;
  OBL_BaseObject* mParent;
  std::vector<OBL_BaseObject*> mChildren;
  uint8_t mInheritanceType;
  bool mAbstract = false;
  REC_ID mItem = 0;
  FBL_EncryptionKeyRef mKey;
  std::string mStoredExample;
  bool mLocked = false;
};
