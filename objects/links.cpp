#include "objects/links.h"

#include "kernel/sets/bit_set.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "platform/errors.h"

namespace {

// Above this many targets a scan of the column beats an index search each.
constexpr uint32_t kSearchesBeforeScan = 64;

}  // namespace

std::unique_ptr<FBL_BitSet> zv::RecordsPointingTo(FBL_Table& table, FBL_BaseField& field,
                                                  const FBL_BitSet& targets) {
  std::unique_ptr<FBL_BitSet> result = table.MakeEmptySet();
  const uint32_t count = targets.Count();
  if (count == 0 || table.GetRecordCount() == 0) return result;
  if (count <= kSearchesBeforeScan || uint64_t{count} * 16 < table.GetRecordCount()) {
    for (REC_ID t = targets.NextMember(0); t != 0; t = targets.NextMember(t)) {
      uint32_t value = t;
      result->Union(*field.FindValue(&value));
    }
    return result;
  }
  std::unique_ptr<FBL_BaseField> copy = zv::ColumnCopy(field);
  FBL_BaseField* fields[] = {copy.get()};
  std::unique_ptr<FBL_BitSet> alive = table.SelectAllRecords();
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    table.ReadFieldsByID(r, fields);
    const uint64_t value = copy->GetAsBits();
    if (value != 0 && value <= UINT32_MAX && targets.IsMember(static_cast<REC_ID>(value)))
      result->Include(r);
  }
  return result;
}

// ---- OBL_Link ------------------------------------------------------------------------

OBL_Link::OBL_Link(OBL_DataBase& db, std::string name, OBL_LinkType type)
    : mDataBase(db), mName(std::move(name)), mType(type) {}

OBL_Link::~OBL_Link() = default;

std::unique_ptr<FBL_BitSet> OBL_Link::LinkedRecords(OBL_BaseObject& from, const FBL_BitSet& recs,
                                                    OBL_BaseObject& to) {
  if (!Joins(from, to)) return nullptr;
  std::unique_ptr<FBL_BitSet> all = to.GetStore().MakeEmptySet();
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    if (std::unique_ptr<FBL_BitSet> some = LinkedRecords(from, r, to)) all->Union(*some);
  }
  return all;
}

// ---- OBL_PointerLink --------------------------------------------------------------------

OBL_PointerLink::OBL_PointerLink(OBL_DataBase& db, OBL_BaseObject& table, F_ObjectPTR& field,
                                 OBL_BaseObject* target, OBL_DeletionControl control)
    : OBL_Link(db, field.GetName(), OBL_LinkType::kPointer),
      mTable(table),
      mField(field),
      mTarget(target),
      mControl(control) {
  SetInternal(true);
}

void OBL_PointerLink::SetTarget(OBL_BaseObject* target) {
  mTarget = target;
}

bool OBL_PointerLink::Joins(const OBL_BaseObject& a, const OBL_BaseObject& b) const {
  if (mTarget == nullptr) return false;
  return (&a == &mTable && &b == mTarget) || (&a == mTarget && &b == &mTable);
}

bool OBL_PointerLink::Involves(const OBL_BaseObject& table) const {
  return &table == &mTable || &table == mTarget;
}

std::unique_ptr<FBL_BitSet> OBL_PointerLink::LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                                           OBL_BaseObject& to) {
  FBL_BitSet one(from.GetStore().GetMaxRecID());
  one.Include(rec);
  return LinkedRecords(from, one, to);
}

std::unique_ptr<FBL_BitSet> OBL_PointerLink::LinkedRecords(OBL_BaseObject& from,
                                                           const FBL_BitSet& recs,
                                                           OBL_BaseObject& to) {
  if (!Joins(from, to)) return nullptr;
  // A link of a table to itself answers from pointer to target.
  if (&from == &mTable) return PointedBy(recs);
  return PointingTo(recs);
}

std::unique_ptr<FBL_BitSet> OBL_PointerLink::PointingTo(const FBL_BitSet& targets) {
  return zv::RecordsPointingTo(mTable.GetStore(), mField, targets);
}

std::unique_ptr<FBL_BitSet> OBL_PointerLink::PointedBy(const FBL_BitSet& recs) {
  if (mTarget == nullptr) return nullptr;
  OBL_ObjectTable& target = mTarget->GetStore();
  std::unique_ptr<FBL_BitSet> result = target.MakeEmptySet();
  std::unique_ptr<FBL_BaseField> copy = zv::ColumnCopy(mField);
  FBL_BaseField* fields[] = {copy.get()};
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    if (!mTable.GetStore().ReadFieldsByID(r, fields)) continue;
    const uint64_t value = copy->GetAsBits();
    if (value != 0 && value <= UINT32_MAX && target.IsRecordAlive(static_cast<REC_ID>(value)))
      result->Include(static_cast<REC_ID>(value));
  }
  return result;
}

void OBL_PointerLink::ClearPointers(const FBL_BitSet& recs) {
  std::unique_ptr<FBL_BaseField> copy = zv::ColumnCopy(mField);
  FBL_BaseField* fields[] = {copy.get()};
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    copy->SetFromBits(0, false);
    if (copy->IsNullable()) copy->SetNull(true);
    mTable.GetStore().UpdateFieldsByID(r, fields, false);
  }
}

// ---- OBL_Relation -------------------------------------------------------------------------

uint32_t OBL_Relation::BranchOf(const OBL_BaseObject& table) const {
  for (size_t i = 0; i < mBranches.size(); ++i) {
    if (mBranches[i].mTable == &table) return static_cast<uint32_t>(i + 1);
  }
  return 0;
}

void OBL_Relation::AddBranch(OBL_BaseObject& table, uint16_t relType,
                             OBL_DeletionControl control) {
  mBranches.push_back(OBL_RelationBranch{&table, relType, control});
}

bool OBL_Relation::Involves(const OBL_BaseObject& table) const {
  return BranchOf(table) != 0;
}

bool OBL_Relation::Joins(const OBL_BaseObject& a, const OBL_BaseObject& b) const {
  return BranchOf(a) != 0 && BranchOf(b) != 0;
}

void OBL_Relation::StoreItems() {
  if (IsSystem() || IsInternal()) return;
  OBL_SysItem& sys = GetDataBase().GetSysItem();
  const bool fresh = GetItemID() == 0;
  if (fresh) SetItemID(sys.NewItem(kItemLink, GetDataBase().GetDatabaseItem()));
  const REC_ID item = GetItemID();
  sys.PutInteger(kPropLinkType, item, static_cast<int64_t>(GetLinkType()), fresh);
  sys.Put(kPropLinkName, item, GetName(), fresh);
  sys.SetItemValue(item, ItemValue());
  // Branches load in RecID order: they are written again, together.
  if (!fresh) {
    for (REC_ID branch : sys.ChildItems(item, kItemLinkBranch)) sys.DeleteItemTree(branch);
  }
  for (const OBL_RelationBranch& b : mBranches) {
    const REC_ID branch = sys.NewItem(kItemLinkBranch, item);
    sys.Put(kPropBranchName, branch, b.mTable->GetName(), true);
    sys.PutInteger(kPropRelType, branch, b.mRelType, true);
    sys.PutInteger(kPropBranchDeletionControl, branch, static_cast<int64_t>(b.mControl), true);
  }
}
