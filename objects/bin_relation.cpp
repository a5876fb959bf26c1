#include "objects/bin_relation.h"

#include <cstring>

#include "kernel/indexes/index_kinds.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"

namespace {

// A branch index's key: the RecID as the key column stores it.
struct Key {
  explicit Key(REC_ID recID) { std::memcpy(mBytes, &recID, sizeof recID); }
  uint8_t mBytes[4];
};

}  // namespace

OBL_BinRelation::OBL_BinRelation(OBL_DataBase& db, std::string name, uint16_t number)
    : OBL_Relation(db, std::move(name), OBL_LinkType::kBinRelation), mNumber(number) {
  if (number == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER, "Relation number 0");
  mKeyField = zv::MakeField(kTypeULong, "RecID", 0);
  mKeyField->ChangeNumber(number);
}

OBL_BinRelation::~OBL_BinRelation() {
  for (auto& index : mIndexes) {
    try {
      if (index) index->Close();
    } catch (const xFBL_Exception&) {
      // The volume's close writes what remains.
    }
    index.reset();
  }
}

void OBL_BinRelation::AddBranch(OBL_BaseObject& table, uint16_t relType,
                                OBL_DeletionControl control) {
  if (mBranches.size() >= 2)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "A binary relation has two branches");
  OBL_Relation::AddBranch(table, relType, control);
}

void OBL_BinRelation::Open() {
  if (mBranches.size() != 2) throw xFBL_Exception(ERR_ASSERTION_FAIL, "A relation needs two branches");
  for (uint32_t b = 0; b < 2; ++b) {
    if (mIndexes[b]) continue;
    OBL_BaseObject& table = *mBranches[b].mTable;
    FBL_DataFile* volume = GetDataBase().GetIndexVolume(true);
    if (volume == nullptr) throw xFBL_DatabaseIsNotOpened();
    const uint16_t kind = b == 0 ? kKindLeftBranchIndex : kKindRightBranchIndex;
    const auto owner = static_cast<uint32_t>(table.GetID());
    std::unique_ptr<FBL_SecondaryIndex> index;
    if (mBranches[1 - b].mRelType == kRelToOne) {
      index = std::make_unique<FBL_SXUnique>(*mKeyField, *volume, owner, kind);
    } else {
      index = std::make_unique<FBL_SXNotUnique>(*mKeyField, *volume, owner, kind);
    }
    GetDataBase().EncipherIndex(table, *index);
    index->Open();
    mIndexes[b] = std::move(index);
  }
}

void OBL_BinRelation::Reencipher() {
  RequireOpen();
  for (uint32_t b = 0; b < 2; ++b) {
    const FBL_FileCiphers ciphers = mBranches[b].mTable->GetStore().GetFileCiphers();
    FBL_SecondaryIndex& index = *mIndexes[b];
    index.Close();
    ciphers.Convert(index.GetFile());
    index.SetEncryption(ciphers.mEncryptor, ciphers.mDecryptor);
    index.Open();
  }
}

void OBL_BinRelation::DropFiles() {
  for (auto& index : mIndexes) {
    if (index) index->Drop();
    index.reset();
  }
}

void OBL_BinRelation::RequireOpen() const {
  if (!mIndexes[0] || !mIndexes[1]) throw xOBL_RelationError("The relation is not open");
}

FBL_SecondaryIndex& OBL_BinRelation::Index(uint32_t branch) {
  RequireOpen();
  return *mIndexes[branch - 1];
}

bool OBL_BinRelation::Link(REC_ID left, REC_ID right) {
  RequireOpen();
  if (!mBranches[0].mTable->GetStore().IsRecordAlive(left) ||
      !mBranches[1].mTable->GetStore().IsRecordAlive(right))
    throw xFBL_Exception(ERR_RECORD_NOT_FOUND);
  const Key l(left), r(right);
  std::unique_ptr<FBL_ArraySet> partners = Index(1).SelectRangeAsArray(true, l.mBytes, l.mBytes, true);
  if (partners->Contains(right)) return false;
  REC_ID any = 0;
  // A to-one side takes one partner: checked on both sides first.
  if ((Index(1).IsUnique() && !partners->IsEmpty()) ||
      (Index(2).IsUnique() && Index(2).FindFirst(r.mBytes, any))) {
    throw xOBL_Exception(550, "A to-one side of the relation has its partner");
  }
  Index(1).Insert(l.mBytes, right);
  try {
    Index(2).Insert(r.mBytes, left);
  } catch (...) {
    Index(1).Remove(l.mBytes, right);
    throw;
  }
  return true;
}

bool OBL_BinRelation::Unlink(REC_ID left, REC_ID right) {
  const Key l(left), r(right);
  std::unique_ptr<FBL_ArraySet> partners = Index(1).SelectRangeAsArray(true, l.mBytes, l.mBytes, true);
  if (!partners->Contains(right)) return false;
  Index(1).Remove(l.mBytes, right);
  Index(2).Remove(r.mBytes, left);
  return true;
}

bool OBL_BinRelation::IsEmpty() {
  return GetPairCount() == 0;
}

uint32_t OBL_BinRelation::GetPairCount() {
  return Index(1).GetEntryCount();
}

std::unique_ptr<FBL_BitSet> OBL_BinRelation::PartnersOf(uint32_t branch, const FBL_BitSet& recs) {
  OBL_ObjectTable& other = mBranches.at(2 - branch).mTable->GetStore();
  std::unique_ptr<FBL_BitSet> partners = other.MakeEmptySet();
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    const Key key(r);
    std::unique_ptr<FBL_ArraySet> some = Index(branch).SelectRangeAsArray(true, key.mBytes, key.mBytes, true);
    for (REC_ID p : some->GetItems()) partners->Include(p);
  }
  return partners;
}

void OBL_BinRelation::Unlink(uint32_t branch, const FBL_BitSet& recs) {
  const uint32_t other = 3 - branch;
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    const Key key(r);
    std::unique_ptr<FBL_ArraySet> some = Index(branch).SelectRangeAsArray(true, key.mBytes, key.mBytes, true);
    for (REC_ID p : some->GetItems()) {
      Index(branch).Remove(key.mBytes, p);
      const Key back(p);
      Index(other).Remove(back.mBytes, r);
    }
  }
}

std::unique_ptr<FBL_BitSet> OBL_BinRelation::LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                                           OBL_BaseObject& to) {
  if (!Joins(from, to)) return nullptr;
  const uint32_t branch = BranchOf(from);
  FBL_BitSet one(rec);
  one.Include(rec);
  return PartnersOf(branch, one);
}
