// The schema tables: sysItemDescription (the dictionary of item kinds) and
// sysItem (the items: one record per schema object or property).
//
//   sysItemDescription (ID 0x7FFFFFFF)       sysItem (ID 0x7FFFFFFE)
//   1 Kind        Long, indexed, unique      1 ItemDescrPtr  -> description, restrict, indexed
//   2 ParentPtr   -> itself, restrict        2 Value         VarChar 504
//   3 ColumnName  VarChar 504                3 TextValue     Text, segment 256
//   4 ColumnType  Byte                       4 ParentPtr     -> itself, cascade, indexed
//
// An item: ItemDescrPtr names its kind, ParentPtr its owner item (0 for
// the Database item), Value (short text) or TextValue (long text) its
// value. Every value is text: integers "%li", booleans "1" or "0".
//
// Both tables live in the structure volume. With a structure key, Value
// and TextValue are enciphered with it; the tree (the pointers and their
// indexes) stays plain, so a wrong key is found before anything is
// written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "objects/base_object.h"

class BF_TEXT;
class BF_VarChar;
class F_ObjectPTR;

inline constexpr int32_t kSysItemDescriptionID = 0x7FFFFFFF;
inline constexpr int32_t kSysItemID = 0x7FFFFFFE;

class OBL_SysItemDescription : public OBL_BaseObject {
 public:
  explicit OBL_SysItemDescription(OBL_DataBase& db);
  // Adds the dictionary entries that are missing and sets the owners that
  // differ; a second run changes nothing. Returns the records added.
  uint32_t Synchronise();
  // Adds all 83 entries (a new, empty table).
  void Fill();
  // The RecID of the description of a kind; 0 when there is none.
  REC_ID Find(int32_t kind);
  // Reads Kind of every record.
  void LoadKinds();
  // The kind a description record stands for; 0 for none.
  int32_t KindOf(REC_ID description) const;
  // Does nothing (the dictionary has no table-level operation).
  void Reserved() {}

 private:
  FBL_BaseField* mKind;
  F_ObjectPTR* mParent;
  BF_VarChar* mColumnName;
  FBL_BaseField* mColumnType;
  std::unordered_map<int32_t, REC_ID> mByKind;
  std::unordered_map<REC_ID, int32_t> mKindOf;
};

// A snapshot of every item for the loader: by owner, each kind's first
// (lowest) RecID with its value, and the owner's children by kind.
struct OBL_ItemSnapshot {
  struct Item {
    int32_t mKind = 0;
    REC_ID mParent = 0;
    std::string mValue;
    REC_ID mRecID = 0;
  };
  std::vector<Item> mItems;  // RecID order
  // Parent -> the positions of its items in mItems.
  std::unordered_map<REC_ID, std::vector<uint32_t>> mChildren;

  // The first item of a kind under parent; null when there is none.
  const Item* Find(REC_ID parent, int32_t kind) const;
  // The items of a kind under parent, in RecID order.
  std::vector<const Item*> All(REC_ID parent, int32_t kind) const;
  std::string Text(REC_ID parent, int32_t kind) const;
  // Base 10; a text not starting with digits reads as 0.
  int64_t Integer(REC_ID parent, int32_t kind) const;
};

class OBL_SysItem : public OBL_BaseObject {
 public:
  // Makes sysItemDescription too (owned).
  explicit OBL_SysItem(OBL_DataBase& db);
  ~OBL_SysItem() override;

  OBL_SysItemDescription& GetDescriptions() { return *mDescriptions; }
  // The columns that hold texts (Value, TextValue): what a structure key
  // enciphers.
  std::vector<FBL_BaseField*> TextColumns() const;

  // The item of a kind under parent (0: the root level); 0 when none.
  REC_ID FindItem(int32_t kind, REC_ID parent);
  // Always a new record with an empty Value.
  REC_ID NewItem(int32_t kind, REC_ID parent);
  void SetText(int32_t kind, REC_ID parent, const std::string& text);
  void SetInteger(int32_t kind, REC_ID parent, int64_t value);
  void SetBoolean(int32_t kind, REC_ID parent, bool value) { SetInteger(kind, parent, value); }
  // TextValue; an empty text clears it.
  void SetLongText(int32_t kind, REC_ID parent, const std::string& text);
  // Writes an item under a parent made in the same change (fresh: no
  // search, a new record) or an older one (SetText and SetLongText).
  void Put(int32_t kind, REC_ID parent, const std::string& text, bool fresh);
  void PutInteger(int32_t kind, REC_ID parent, int64_t value, bool fresh);
  void PutLongText(int32_t kind, REC_ID parent, const std::string& text, bool fresh);
  // Missing items read as empty text and 0.
  std::string GetText(int32_t kind, REC_ID parent);
  int64_t GetInteger(int32_t kind, REC_ID parent);
  std::string GetLongText(int32_t kind, REC_ID parent);
  // The Value of an item by RecID.
  std::string GetItemValue(REC_ID item) { return ReadValue(item); }
  void SetItemValue(REC_ID item, const std::string& text);
  // Deletes the item, its children going with it (ParentPtr cascades).
  void DeleteItemTree(REC_ID item);
  // Deletes the item of a kind under parent when there is one.
  void DeleteItem(int32_t kind, REC_ID parent);
  // Items of a kind under parent, in RecID order.
  std::vector<REC_ID> ChildItems(REC_ID parent, int32_t kind);
  // Reads every item once (what the loader walks).
  OBL_ItemSnapshot TakeSnapshot();
  // Empties the table.
  void Clear();

 private:
  REC_ID Description(int32_t kind);
  REC_ID AddRecord(REC_ID description, REC_ID parent, const std::string& value,
                   const std::string& longText);
  std::string ReadValue(REC_ID item);

  std::unique_ptr<OBL_SysItemDescription> mDescriptions;
  F_ObjectPTR* mDescrPtr;
  BF_VarChar* mValue;
  BF_TEXT* mTextValue;
  F_ObjectPTR* mParentPtr;
};
