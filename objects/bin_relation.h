// OBL_BinRelation: a many-to-many relation between exactly two tables, a
// set of (left RecID, right RecID) pairs.
//
// The pairs live in two branch indexes, embedded files of the index
// volume named by each branch's table, the relation's number and the
// branch: kind 21 for the left branch, 12 for the right. The left index
// maps a left RecID (its key, 4 bytes) to the right RecIDs linked to it,
// the right index the other way. A branch's index refuses a second entry
// per key (unique) when the other branch's relation type is 1 (to-one).
//
// Lifecycle: made with its name and number -> two branches -> Open (files
// created or opened) -> used -> destroyed (files closed) or DropFiles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "objects/links.h"

class FBL_SecondaryIndex;

inline constexpr uint16_t kKindLeftBranchIndex = 21;
inline constexpr uint16_t kKindRightBranchIndex = 12;
// Relation type of a to-one branch.
inline constexpr uint16_t kRelToOne = 1;

class OBL_BinRelation : public OBL_Relation {
 public:
  // number: names the branch files (1..65535), kept in the Link item.
  OBL_BinRelation(OBL_DataBase& db, std::string name, uint16_t number);
  ~OBL_BinRelation() override;

  // A third branch is an internal error (307).
  void AddBranch(OBL_BaseObject& table, uint16_t relType, OBL_DeletionControl control) override;
  // Creates or opens both branch indexes. REQUIRES: two branches.
  void Open();
  // Closes both indexes and deletes their files.
  void DropFiles();

  // Links a record of the left table with one of the right; false when the
  // pair exists. A to-one side whose record has a partner already refuses
  // with 550, nothing changed.
  bool Link(REC_ID left, REC_ID right);
  // False when there was no such pair.
  bool Unlink(REC_ID left, REC_ID right);
  bool IsEmpty();
  uint32_t GetPairCount();

  std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                            OBL_BaseObject& to) override;
  std::unique_ptr<FBL_BitSet> PartnersOf(uint32_t branch, const FBL_BitSet& recs) override;
  void Unlink(uint32_t branch, const FBL_BitSet& recs) override;
  std::string ItemValue() const override { return std::to_string(mNumber); }
  uint16_t GetNumber() const { return mNumber; }
  void WriteToStream(FBL_FileStream& stream) const override;
  // Converts both branch indexes to the ciphers of their tables' files.
  void Reencipher();

 private:
  FBL_SecondaryIndex& Index(uint32_t branch);
  void RequireOpen() const;

  uint16_t mNumber;
  // The keys' column: a RecID, attached to no table.
  std::unique_ptr<FBL_BaseField> mKeyField;
  std::unique_ptr<FBL_SecondaryIndex> mIndexes[2];
};
