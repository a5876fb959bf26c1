// OBL_JoinSet_Builder: the rows of a multi-table SELECT from the tables'
// selection sets and the statement's join items.
//
// Inner joins only: start from the smaller selection set of the first
// item, extend the tuples item by item with the linked records that lie in
// the new table's selection, and filter by items whose tables are both
// joined already. Any outer item: each item joins with the step of its kind
// (left: a known record without any linked record keeps its tuple with
// RecID 0; right: the same from the other side; full: both).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "sql/cursors/join_set.h"
#include "sql/parser/select_statement.h"

class FBL_Set;
class OBL_BaseObject;

class OBL_JoinSet_Builder {
 public:
  // REQUIRES: stmt (its tables and links) outlives the builder; sets holds
  // one selection set per FROM position, a bit set or a sorted array set.
  OBL_JoinSet_Builder(const SQL_SelectStatement& stmt,
                      std::vector<std::unique_ptr<FBL_Set>> sets);
  ~OBL_JoinSet_Builder();

  std::unique_ptr<OBL_JoinSet_Ram> Build();
  // Records of the selection sets the join stepped through.
  uint64_t GetWalkedCount() const { return mWalked; }

 private:
  class Partners;

  std::unique_ptr<OBL_JoinSet_Ram> BuildInner();
  std::unique_ptr<OBL_JoinSet_Ram> BuildOuter();
  // One column: the members of a table's selection.
  std::unique_ptr<OBL_JoinSet_Disk> Start(uint32_t position);
  // Adds table `to` through item: each tuple's record of `from` with each
  // linked record of `to` in its selection; preserve: a record without any
  // linked record keeps its tuple with 0 (a record of 0 too).
  std::unique_ptr<OBL_JoinSet_Disk> Extend(const OBL_JoinSet_Disk& in, const SQL_LInfo& item,
                                           uint32_t from, uint32_t to, bool preserve);
  // Rows (0 elsewhere) for the records of `to`'s selection that have no
  // linked record in `from` at all.
  void AddUnmatched(OBL_JoinSet_Disk& out, const SQL_LInfo& item, uint32_t from, uint32_t to);
  // Keeps the tuples whose records of the item's two tables are linked
  // (keepMissing: also those with 0 in either).
  std::unique_ptr<OBL_JoinSet_Disk> Filter(const OBL_JoinSet_Disk& in, const SQL_LInfo& item,
                                           bool keepMissing);
  // Joins one item whose tables are at least partly known.
  std::unique_ptr<OBL_JoinSet_Disk> JoinItem(const OBL_JoinSet_Disk& in, SQL_LInfo item);
  std::unique_ptr<OBL_JoinSet_Ram> Finish(const OBL_JoinSet_Disk& disk);
  OBL_BaseObject& TableAt(uint32_t position) const;
  const FBL_Set& Selection(uint32_t position) const { return *mSets[position - 1]; }

  const SQL_SelectStatement& mStmt;
  std::vector<std::unique_ptr<FBL_Set>> mSets;
  std::vector<SQL_LInfo> mItems;
  uint64_t mWalked = 0;
};
