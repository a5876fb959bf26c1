// Links between tables: what joins their records and what a deletion of a
// record does to the records linked to it.
//
//   OBL_PointerLink   the link of an object-pointer field (F_ObjectPTR): a
//                     record of the pointing table holds the RecID of a
//                     record of the target table, or 0. Stored with its
//                     field ("Target", "DeletionControl" under the Field
//                     item), not as a Link item.
//   OBL_Relation      a link with branches (one table each): the binary
//                     relations (bin_relation.h) and the relational links
//                     (rdb_relation.h).
//
// The database owns every link. Flags: a system link (the schema tables'
// own pointers) and an internal link (stored elsewhere, or never) are not
// written as Link items.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "objects/base_object.h"

class FBL_BitSet;
class F_ObjectPTR;
class FBL_FileStream;
class OBL_DataBase;

class FBL_BaseField;
class FBL_Table;

namespace zv {

// The alive records of table whose pointer field (a column of it) holds a
// member of targets: index searches for a few targets, a scan for many.
std::unique_ptr<FBL_BitSet> RecordsPointingTo(FBL_Table& table, FBL_BaseField& field,
                                              const FBL_BitSet& targets);

}  // namespace zv

// The stored "LinkType" of a link.
enum class OBL_LinkType : uint8_t {
  kPointer = 0,
  kBinRelation = 1,
  kRdbRelation = 2,
  kRdbRelationMult = 3,
};

class OBL_Link {
 public:
  OBL_Link(OBL_DataBase& db, std::string name, OBL_LinkType type);
  virtual ~OBL_Link();
  OBL_Link(const OBL_Link&) = delete;
  OBL_Link& operator=(const OBL_Link&) = delete;

  // Whether the link joins the two tables (in either order).
  virtual bool Joins(const OBL_BaseObject& a, const OBL_BaseObject& b) const = 0;
  // The records of `to` linked to record rec of `from`, a set of to's
  // MaxRecID; null when the link does not join the two tables.
  virtual std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                                    OBL_BaseObject& to) = 0;
  // The same for a set of from's records: the union.
  virtual std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, const FBL_BitSet& recs,
                                                    OBL_BaseObject& to);
  // Whether the link involves the table at all.
  virtual bool Involves(const OBL_BaseObject& table) const = 0;
  // Link items (relations only; a pointer is stored with its field).
  virtual void StoreItems() {}
  virtual void WriteToStream(FBL_FileStream& /*stream*/) const {}

  OBL_DataBase& GetDataBase() const { return mDataBase; }
  const std::string& GetName() const { return mName; }
  OBL_LinkType GetLinkType() const { return mType; }
  REC_ID GetItemID() const { return mItem; }
  void SetItemID(REC_ID item) { mItem = item; }
  bool IsSystem() const { return mSystem; }
  void SetSystem(bool on) { mSystem = on; }
  bool IsInternal() const { return mInternal; }
  void SetInternal(bool on) { mInternal = on; }

 protected:
  void SetName(std::string name) { mName = std::move(name); }

 private:
  OBL_DataBase& mDataBase;
  std::string mName;
  OBL_LinkType mType;
  REC_ID mItem = 0;
  bool mSystem = false;
  bool mInternal = false;
};

class OBL_PointerLink : public OBL_Link {
 public:
  // REQUIRES: field is a column of table's store; both outlive the link.
  OBL_PointerLink(OBL_DataBase& db, OBL_BaseObject& table, F_ObjectPTR& field,
                  OBL_BaseObject* target, OBL_DeletionControl control);

  bool Joins(const OBL_BaseObject& a, const OBL_BaseObject& b) const override;
  std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                            OBL_BaseObject& to) override;
  std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, const FBL_BitSet& recs,
                                            OBL_BaseObject& to) override;
  bool Involves(const OBL_BaseObject& table) const override;

  OBL_BaseObject& GetTable() const { return mTable; }
  F_ObjectPTR& GetField() const { return mField; }
  OBL_BaseObject* GetTarget() const { return mTarget; }
  void SetTarget(OBL_BaseObject* target);
  OBL_DeletionControl GetDeletionControl() const { return mControl; }
  void SetDeletionControl(OBL_DeletionControl control) { mControl = control; }
  // The alive records of the pointing table whose pointer is a member of
  // targets (a set over the target's RecIDs).
  std::unique_ptr<FBL_BitSet> PointingTo(const FBL_BitSet& targets);
  // The pointer values of a set of the pointing table's records.
  std::unique_ptr<FBL_BitSet> PointedBy(const FBL_BitSet& recs);
  // Sets the pointer of each record of recs to no record (NULL when the
  // field is nullable, else 0).
  void ClearPointers(const FBL_BitSet& recs);

 private:
  OBL_BaseObject& mTable;
  F_ObjectPTR& mField;
  OBL_BaseObject* mTarget;
  OBL_DeletionControl mControl;
};

// A branch of a relation: one table, its relation type (1 to-one, other
// values to-many) and its deletion control: what happens to this branch's
// records when a record they are linked to is deleted.
struct OBL_RelationBranch {
  OBL_BaseObject* mTable = nullptr;
  uint16_t mRelType = 0;
  OBL_DeletionControl mControl = OBL_DeletionControl::kSetNull;
};

class OBL_Relation : public OBL_Link {
 public:
  using OBL_Link::OBL_Link;

  // Branches are numbered from 1.
  uint32_t GetBranchCount() const { return static_cast<uint32_t>(mBranches.size()); }
  const OBL_RelationBranch& GetBranch(uint32_t i) const { return mBranches.at(i - 1); }
  // The branch of a table (0: none; the first when both are the table).
  uint32_t BranchOf(const OBL_BaseObject& table) const;
  virtual void AddBranch(OBL_BaseObject& table, uint16_t relType, OBL_DeletionControl control);
  bool Involves(const OBL_BaseObject& table) const override;
  bool Joins(const OBL_BaseObject& a, const OBL_BaseObject& b) const override;
  // Writes the Link item and one LinkBranch item per branch.
  void StoreItems() override;
  // The Link item's value (the binary relations keep their file number
  // there).
  virtual std::string ItemValue() const { return {}; }
  // Deletion control of a relation that keeps pairs: the records of the
  // other branch linked to recs of branch's table (a set of the other
  // table's RecIDs); null for a relation that keeps none.
  virtual std::unique_ptr<FBL_BitSet> PartnersOf(uint32_t /*branch*/, const FBL_BitSet& /*recs*/) {
    return nullptr;
  }
  // Removes every pair holding a member of recs on the branch.
  virtual void Unlink(uint32_t /*branch*/, const FBL_BitSet& /*recs*/) {}

 protected:
  std::vector<OBL_RelationBranch> mBranches;
};
