// Relational links: two tables joined by the values of key fields rather
// than by stored pairs or pointers. A record of one table is linked to the
// records of the other whose key fields hold the same values.
//
//   OBL_RdbRelation      one key pair: what a query's join condition
//                        field = field makes.
//   OBL_RdbRelationMult  several key pairs, all of which must be equal: the
//                        merge of a query's relational links over the same
//                        two tables.
//
// Both are internal (never written to the schema); a query owns the ones it
// makes. A null key value links nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "objects/links.h"

// A key field of the first branch's table and its partner in the second's.
struct OBL_KeyPair {
  FBL_BaseField* mFirst = nullptr;
  FBL_BaseField* mSecond = nullptr;
};

class OBL_RdbRelation : public OBL_Relation {
 public:
  // REQUIRES: the tables and fields outlive the relation; first is a field
  // of firstTable (or of a parent of it), second of secondTable.
  OBL_RdbRelation(OBL_DataBase& db, OBL_BaseObject& firstTable, FBL_BaseField& first,
                  OBL_BaseObject& secondTable, FBL_BaseField& second);

  std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, REC_ID rec,
                                            OBL_BaseObject& to) override;
  // One pass over to's records whatever the size of recs.
  std::unique_ptr<FBL_BitSet> LinkedRecords(OBL_BaseObject& from, const FBL_BitSet& recs,
                                            OBL_BaseObject& to) override;

  const std::vector<OBL_KeyPair>& GetKeyPairs() const { return mPairs; }

 protected:
  OBL_RdbRelation(OBL_DataBase& db, OBL_LinkType type, OBL_BaseObject& firstTable,
                  OBL_BaseObject& secondTable);

  std::vector<OBL_KeyPair> mPairs;
};

class OBL_RdbRelationMult : public OBL_RdbRelation {
 public:
  OBL_RdbRelationMult(OBL_DataBase& db, OBL_BaseObject& firstTable, OBL_BaseObject& secondTable);
  // REQUIRES: first belongs to the first branch's table, second to the
  // second's.
  void AddKeyPair(FBL_BaseField& first, FBL_BaseField& second);
};
