#include "objects/rdb_relation.h"

#include <unordered_set>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "objects/object_table.h"

namespace {

// The key values of one record as one text (values end with a zero byte);
// false when a value is null.
bool ReadKey(OBL_ObjectTable& store, REC_ID rec, const std::vector<FBL_BaseField*>& columns,
             std::string& key) {
  if (!store.ReadFieldsByID(rec, columns)) return false;
  key.clear();
  for (FBL_BaseField* column : columns) {
    if (column->IsNull()) return false;
    key += column->GetString();
    key.push_back('\0');
  }
  return true;
}

std::vector<std::unique_ptr<FBL_BaseField>> Copies(const std::vector<FBL_BaseField*>& fields) {
  std::vector<std::unique_ptr<FBL_BaseField>> copies;
  for (FBL_BaseField* field : fields) copies.push_back(zv::ColumnCopy(*field));
  return copies;
}

std::vector<FBL_BaseField*> Pointers(const std::vector<std::unique_ptr<FBL_BaseField>>& copies) {
  std::vector<FBL_BaseField*> all;
  for (const auto& copy : copies) all.push_back(copy.get());
  return all;
}

}  // namespace

OBL_RdbRelation::OBL_RdbRelation(OBL_DataBase& db, OBL_LinkType type, OBL_BaseObject& firstTable,
                                 OBL_BaseObject& secondTable)
    : OBL_Relation(db, firstTable.GetName() + "=" + secondTable.GetName(), type) {
  SetInternal(true);
  AddBranch(firstTable, 0, OBL_DeletionControl::kSetNull);
  AddBranch(secondTable, 0, OBL_DeletionControl::kSetNull);
}

OBL_RdbRelation::OBL_RdbRelation(OBL_DataBase& db, OBL_BaseObject& firstTable, FBL_BaseField& first,
                                 OBL_BaseObject& secondTable, FBL_BaseField& second)
    : OBL_RdbRelation(db, OBL_LinkType::kRdbRelation, firstTable, secondTable) {
  mPairs.push_back(OBL_KeyPair{&first, &second});
}

std::unique_ptr<FBL_BitSet> OBL_RdbRelation::LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                                           OBL_BaseObject& to) {
  FBL_BitSet one(from.GetStore().GetMaxRecID());
  if (rec != 0 && rec <= one.GetSize()) one.Include(rec);
  return LinkedRecords(from, one, to);
}

std::unique_ptr<FBL_BitSet> OBL_RdbRelation::LinkedRecords(OBL_BaseObject& from,
                                                           const FBL_BitSet& recs,
                                                           OBL_BaseObject& to) {
  if (mBranches.size() != 2) return nullptr;
  // A relation of a table to itself answers from the first branch's keys.
  const bool fromFirst = mBranches[0].mTable == &from && mBranches[1].mTable == &to;
  if (!fromFirst && !(mBranches[1].mTable == &from && mBranches[0].mTable == &to)) return nullptr;
  std::vector<FBL_BaseField*> fromFields, toFields;
  for (const OBL_KeyPair& pair : mPairs) {
    fromFields.push_back(fromFirst ? pair.mFirst : pair.mSecond);
    toFields.push_back(fromFirst ? pair.mSecond : pair.mFirst);
  }
  const auto fromCopies = Copies(fromFields);
  const auto toCopies = Copies(toFields);
  std::unordered_set<std::string> keys;
  std::string key;
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    if (ReadKey(from.GetStore(), r, Pointers(fromCopies), key)) keys.insert(key);
  }
  std::unique_ptr<FBL_BitSet> result = to.GetStore().MakeEmptySet();
  if (keys.empty()) return result;
  const std::vector<FBL_BaseField*> toColumns = Pointers(toCopies);
  std::unique_ptr<FBL_BitSet> alive = to.GetStore().SelectAllRecords();
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    if (ReadKey(to.GetStore(), r, toColumns, key) && keys.count(key) != 0) result->Include(r);
  }
  return result;
}

OBL_RdbRelationMult::OBL_RdbRelationMult(OBL_DataBase& db, OBL_BaseObject& firstTable,
                                         OBL_BaseObject& secondTable)
    : OBL_RdbRelation(db, OBL_LinkType::kRdbRelationMult, firstTable, secondTable) {}

void OBL_RdbRelationMult::AddKeyPair(FBL_BaseField& first, FBL_BaseField& second) {
  mPairs.push_back(OBL_KeyPair{&first, &second});
}
