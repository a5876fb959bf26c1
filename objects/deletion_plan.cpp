#include "objects/deletion_plan.h"

#include <string>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/base_object.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"

namespace {

// The values of a pointer column for recs, as a set over target's RecIDs.
std::unique_ptr<FBL_BitSet> ReadPointers(FBL_Table& table, FBL_BaseField& field,
                                         const FBL_BitSet& recs, FBL_Table& target) {
  std::unique_ptr<FBL_BitSet> values = target.MakeEmptySet();
  std::unique_ptr<FBL_BaseField> copy = zv::ColumnCopy(field);
  FBL_BaseField* fields[] = {copy.get()};
  for (REC_ID r = recs.NextMember(0); r != 0; r = recs.NextMember(r)) {
    if (!table.ReadFieldsByID(r, fields)) continue;
    const uint64_t value = copy->GetAsBits();
    if (value != 0 && value <= UINT32_MAX) values->Include(static_cast<REC_ID>(value));
  }
  return values;
}

std::vector<OBL_Relation*> RelationsOf(OBL_DataBase& db, const OBL_BaseObject& table) {
  std::vector<OBL_Relation*> relations;
  for (OBL_Link* link : db.LinksOf(table)) {
    if (auto* relation = dynamic_cast<OBL_Relation*>(link)) relations.push_back(relation);
  }
  return relations;
}

[[noreturn]] void Refuse(const std::string& what) {
  throw xOBL_RelationError(what.c_str());
}

}  // namespace

OBL_DeletionPlan::OBL_DeletionPlan(OBL_DataBase& db) : mDataBase(db) {}

OBL_DeletionPlan::~OBL_DeletionPlan() = default;

const FBL_BitSet* OBL_DeletionPlan::Planned(const OBL_BaseObject& table) const {
  auto it = mPlanned.find(const_cast<OBL_BaseObject*>(&table));
  return it == mPlanned.end() ? nullptr : it->second.get();
}

std::unique_ptr<FBL_BitSet> OBL_DeletionPlan::Add(OBL_BaseObject& table,
                                                  const FBL_BitSet& records) {
  table.RequireUnlocked();
  OBL_ObjectTable& store = table.GetStore();
  std::unique_ptr<FBL_BitSet>& planned = mPlanned[&table];
  if (!planned) planned = store.MakeEmptySet();
  std::unique_ptr<FBL_BitSet> fresh = store.MakeEmptySet();
  bool any = false;
  for (REC_ID r = records.NextMember(0); r != 0 && r <= planned->GetSize();
       r = records.NextMember(r)) {
    if (planned->IsMember(r) || !store.IsRecordAlive(r)) continue;
    planned->Include(r);
    fresh->Include(r);
    any = true;
  }
  if (!any) return nullptr;
  return fresh;
}

void OBL_DeletionPlan::Plan(OBL_BaseObject& table, const FBL_BitSet& records) {
  if (mFirst == nullptr) mFirst = &table;
  if (std::unique_ptr<FBL_BitSet> fresh = Add(table, records))
    mQueue.emplace_back(&table, std::move(fresh));
  while (!mQueue.empty()) {
    auto [next, fresh] = std::move(mQueue.back());
    mQueue.pop_back();
    Expand(*next, *fresh);
  }
  CheckRestrictions();
}

void OBL_DeletionPlan::Expand(OBL_BaseObject& table, const FBL_BitSet& fresh) {
  ExpandChain(table, fresh);
  ExpandLinks(table, fresh);
}

// A deletion removes the whole object: its parent part and every child
// part (a part left behind would point to a deleted record).
void OBL_DeletionPlan::ExpandChain(OBL_BaseObject& table, const FBL_BitSet& fresh) {
  auto queue = [&](OBL_BaseObject& other, const FBL_BitSet& records) {
    if (std::unique_ptr<FBL_BitSet> added = Add(other, records))
      mQueue.emplace_back(&other, std::move(added));
  };
  if (OBL_BaseObject* parent = table.GetParent()) {
    queue(*parent, *ReadPointers(table.GetStore(), *table.GetTablePtrField(), fresh,
                                 parent->GetStore()));
  }
  if (table.GetChildren().empty() && !table.IsAbstract()) return;
  std::unique_ptr<FBL_BitSet> covered = table.GetStore().MakeEmptySet();
  for (OBL_BaseObject* child : table.GetChildren()) {
    child->RequireUnlocked();
    BF_TablePTR& tablePtr = *child->GetTablePtrField();
    std::unique_ptr<FBL_BitSet> parts =
        zv::RecordsPointingTo(child->GetStore(), tablePtr, fresh);
    if (parts->IsEmpty()) continue;
    covered->Union(*ReadPointers(child->GetStore(), tablePtr, *parts, table.GetStore()));
    queue(*child, *parts);
  }
  if (!table.IsAbstract()) return;
  for (REC_ID r = fresh.NextMember(0); r != 0; r = fresh.NextMember(r)) {
    if (!covered->IsMember(r)) throw xOBL_CorruptedChain();
  }
}

void OBL_DeletionPlan::ExpandLinks(OBL_BaseObject& table, const FBL_BitSet& fresh) {
  auto queue = [&](OBL_BaseObject& other, const FBL_BitSet& records) {
    if (std::unique_ptr<FBL_BitSet> added = Add(other, records))
      mQueue.emplace_back(&other, std::move(added));
  };
  for (OBL_PointerLink* link : mDataBase.PointersTo(table)) {
    if (link->GetDeletionControl() != OBL_DeletionControl::kCascade) continue;
    queue(link->GetTable(), *link->PointingTo(fresh));
  }
  for (OBL_Relation* relation : RelationsOf(mDataBase, table)) {
    if (relation->GetBranchCount() != 2) continue;
    for (uint32_t b = 1; b <= 2; ++b) {
      const OBL_RelationBranch& other = relation->GetBranch(3 - b);
      if (relation->GetBranch(b).mTable != &table ||
          other.mControl != OBL_DeletionControl::kCascade)
        continue;
      if (std::unique_ptr<FBL_BitSet> partners = relation->PartnersOf(b, fresh))
        queue(*other.mTable, *partners);
    }
  }
}

void OBL_DeletionPlan::CheckRestrictions() {
  for (auto& [table, planned] : mPlanned) {
    for (OBL_PointerLink* link : mDataBase.PointersTo(*table)) {
      if (link->GetDeletionControl() != OBL_DeletionControl::kRestrict) continue;
      std::unique_ptr<FBL_BitSet> pointing = link->PointingTo(*planned);
      if (const FBL_BitSet* gone = Planned(link->GetTable())) pointing->Difference(*gone);
      if (!pointing->IsEmpty()) {
        Refuse("Records of \"" + link->GetTable().GetName() + "\" point to the records through \"" +
               link->GetField().GetName() + "\" (restrict)");
      }
    }
    for (OBL_Relation* relation : RelationsOf(mDataBase, *table)) {
      if (relation->GetBranchCount() != 2) continue;
      for (uint32_t b = 1; b <= 2; ++b) {
        const OBL_RelationBranch& other = relation->GetBranch(3 - b);
        if (relation->GetBranch(b).mTable != table ||
            other.mControl != OBL_DeletionControl::kRestrict)
          continue;
        std::unique_ptr<FBL_BitSet> partners = relation->PartnersOf(b, *planned);
        if (!partners) continue;
        if (const FBL_BitSet* gone = Planned(*other.mTable)) partners->Difference(*gone);
        if (!partners->IsEmpty()) {
          Refuse("Records are linked through \"" + relation->GetName() + "\" (restrict)");
        }
      }
    }
  }
}

bool OBL_DeletionPlan::CanExecute() {
  for (auto& [table, planned] : mPlanned) {
    OBL_ObjectTable& store = table->GetStore();
    for (REC_ID r = planned->NextMember(0); r != 0; r = planned->NextMember(r)) {
      if (!store.CanModifyRecord(r)) return false;
    }
  }
  return true;
}

bool OBL_DeletionPlan::IsAll(OBL_BaseObject& table) const {
  const FBL_BitSet* planned = Planned(table);
  return planned != nullptr && planned->Count() == table.GetStore().GetRecordCount();
}

uint32_t OBL_DeletionPlan::Execute(const std::function<void(REC_ID)>& progress) {
  // The pointers to clear are found while the records are still there.
  std::vector<std::pair<OBL_PointerLink*, std::unique_ptr<FBL_BitSet>>> clear;
  for (auto& [table, planned] : mPlanned) {
    for (OBL_PointerLink* link : mDataBase.PointersTo(*table)) {
      if (link->GetDeletionControl() != OBL_DeletionControl::kSetNull) continue;
      std::unique_ptr<FBL_BitSet> pointing = link->PointingTo(*planned);
      if (const FBL_BitSet* gone = Planned(link->GetTable())) pointing->Difference(*gone);
      if (!pointing->IsEmpty()) clear.emplace_back(link, std::move(pointing));
    }
    for (OBL_Relation* relation : RelationsOf(mDataBase, *table)) {
      for (uint32_t b = 1; b <= relation->GetBranchCount(); ++b) {
        if (relation->GetBranch(b).mTable == table) relation->Unlink(b, *planned);
      }
    }
  }
  uint32_t first = 0;
  for (auto& [table, planned] : mPlanned) {
    OBL_ObjectTable& store = table->GetStore();
    const bool counted = table == mFirst;
    if (IsAll(*table) && !(counted && progress)) {
      if (counted) first = store.GetRecordCount();
      store.DeleteAllRecordsRaw();
      continue;
    }
    const uint32_t gone = store.DeleteRecordsByID(*planned, counted ? progress : nullptr);
    if (counted) first += gone;
  }
  for (auto& [link, records] : clear) link->ClearPointers(*records);
  mPlanned.clear();
  return first;
}
