// OBL_DeletionPlan: what deleting records takes along, worked out before
// anything changes.
//
// Adding records to the plan follows, to a fixed point:
//  - the object's other parts in an inheritance chain: the parent records
//    its "TablePtr" names (a deletion removes the whole object) and the
//    child records pointing to it (the first child table holding one, or
//    every child table, by the table's chain mode); an abstract table's
//    record without a child part raises xOBL_CorruptedChain (523);
//  - the records of a cascade pointer field pointing to a planned record,
//    and the partners of a planned record in a binary relation whose other
//    branch cascades.
// Then every restrict pointer and branch is checked: a record that points
// to (or is linked to) a planned record and is not planned itself refuses
// the whole deletion with xOBL_RelationError (502), nothing changed.
//
// Execute deletes the planned records (a whole table at once when all its
// records go), sets the set-null pointers to planned records to no record
// and removes the relation pairs of planned records.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_BitSet;
class OBL_BaseObject;
class OBL_DataBase;

class OBL_DeletionPlan {
 public:
  explicit OBL_DeletionPlan(OBL_DataBase& db);
  ~OBL_DeletionPlan();
  OBL_DeletionPlan(const OBL_DeletionPlan&) = delete;
  OBL_DeletionPlan& operator=(const OBL_DeletionPlan&) = delete;

  // Plans the alive members of records (a set over the table's RecIDs)
  // with what they take along; raises as above.
  void Plan(OBL_BaseObject& table, const FBL_BitSet& records);
  // Whether every planned record can be modified (not read-only, not
  // read-locked).
  bool CanExecute();
  // The planned records of a table (null: none).
  const FBL_BitSet* Planned(const OBL_BaseObject& table) const;
  // Runs the plan; progress (optional) hears each deleted record of the
  // table first planned. Returns the records deleted in that table.
  uint32_t Execute(const std::function<void(REC_ID)>& progress = nullptr);

 private:
  // Adds the members not planned yet; returns them (null: none new).
  std::unique_ptr<FBL_BitSet> Add(OBL_BaseObject& table, const FBL_BitSet& records);
  void Expand(OBL_BaseObject& table, const FBL_BitSet& fresh);
  void ExpandChain(OBL_BaseObject& table, const FBL_BitSet& fresh);
  void ExpandLinks(OBL_BaseObject& table, const FBL_BitSet& fresh);
  void CheckRestrictions();
  bool IsAll(OBL_BaseObject& table) const;

  OBL_DataBase& mDataBase;
  OBL_BaseObject* mFirst = nullptr;
  std::map<OBL_BaseObject*, std::unique_ptr<FBL_BitSet>> mPlanned;
  std::vector<std::pair<OBL_BaseObject*, std::unique_ptr<FBL_BitSet>>> mQueue;
};
