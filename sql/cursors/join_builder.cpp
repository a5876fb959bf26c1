#include "sql/cursors/join_builder.h"

#include <algorithm>
#include <utility>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/conditions/selection_kinds.h"

// The records of one table linked to a record of another through a link.
// An object pointer is read straight from its column (pointing side) or
// from a map of the pointing records built once (target side); other links
// answer through LinkedRecords.
class OBL_JoinSet_Builder::Partners {
 public:
  Partners(const SQL_LInfo& item, OBL_BaseObject& from, OBL_BaseObject& to, uint32_t fromPos)
      : mLink(*item.mLink), mFrom(from), mTo(to) {
    mPointer = dynamic_cast<OBL_PointerLink*>(item.mLink);
    if (mPointer == nullptr) return;
    // The pointing side: the item's table that holds the field (the first
    // when a table points to itself).
    mForward = &mPointer->GetTable() == &from && (&from != &to || fromPos == item.mTableA);
    mColumn = zv::ColumnCopy(mPointer->GetField());
  }

  // Every record of `to` linked to rec (rec 0: none).
  void Of(REC_ID rec, std::vector<REC_ID>& out) {
    out.clear();
    if (rec == 0) return;
    if (mPointer != nullptr && mForward) {
      const REC_ID target = PointerOf(rec);
      if (target != 0) out.push_back(target);
      return;
    }
    if (mPointer != nullptr) {
      BuildReverse();
      auto lo = std::lower_bound(mReverse.begin(), mReverse.end(), std::make_pair(rec, REC_ID{0}));
      for (; lo != mReverse.end() && lo->first == rec; ++lo) out.push_back(lo->second);
      return;
    }
    std::unique_ptr<FBL_BitSet> linked = mLink.LinkedRecords(mFrom, rec, mTo);
    if (!linked) return;
    for (REC_ID r = linked->NextMember(0); r != 0; r = linked->NextMember(r)) out.push_back(r);
  }

 private:
  REC_ID PointerOf(REC_ID rec) {
    mColumn->LoadRecord(rec);
    if (mColumn->IsNull()) return 0;
    return static_cast<REC_ID>(mColumn->GetAsBits());
  }

  // (target, pointing record) pairs of every alive pointing record, by
  // target.
  void BuildReverse() {
    if (mReverseBuilt) return;
    mReverseBuilt = true;
    std::unique_ptr<FBL_BitSet> all = mFrom.GetStore().SelectAllRecords();
    std::unique_ptr<FBL_BitSet> pointing = mPointer->PointingTo(*all);
    for (REC_ID r = pointing->NextMember(0); r != 0; r = pointing->NextMember(r)) {
      const REC_ID target = PointerOf(r);
      if (target != 0) mReverse.emplace_back(target, r);
    }
    std::sort(mReverse.begin(), mReverse.end());
  }

  OBL_Link& mLink;
  OBL_BaseObject& mFrom;
  OBL_BaseObject& mTo;
  OBL_PointerLink* mPointer = nullptr;
  bool mForward = false;
  std::unique_ptr<FBL_BaseField> mColumn;
  bool mReverseBuilt = false;
  std::vector<std::pair<REC_ID, REC_ID>> mReverse;
};

OBL_JoinSet_Builder::OBL_JoinSet_Builder(const SQL_SelectStatement& stmt,
                                         std::vector<std::unique_ptr<FBL_Set>> sets)
    : mStmt(stmt), mSets(std::move(sets)), mItems(stmt.GetJoinList()) {
  if (mSets.size() != stmt.GetFromCount()) {
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "One selection set per FROM table");
  }
  for (SQL_LInfo& item : mItems) {
    item.mDone = false;
    if (item.mLink == nullptr || item.mTableA == 0 || item.mTableB == 0 ||
        item.mTableA > mSets.size() || item.mTableB > mSets.size()) {
      throw xFBL_Exception(ERR_ASSERTION_FAIL, "A join item without its link or tables");
    }
  }
}

OBL_JoinSet_Builder::~OBL_JoinSet_Builder() = default;

OBL_BaseObject& OBL_JoinSet_Builder::TableAt(uint32_t position) const {
  return mStmt.GetFromEntry(position)->GetTable();
}

std::unique_ptr<OBL_JoinSet_Ram> OBL_JoinSet_Builder::Build() {
  if (mSets.size() == 1) return std::make_unique<OBL_JoinSet_Ram>(std::move(mSets[0]));
  const bool allInner = std::all_of(mItems.begin(), mItems.end(), [](const SQL_LInfo& item) {
    return item.mKind == SQL_JoinKind::kInner;
  });
  return allInner ? BuildInner() : BuildOuter();
}

std::unique_ptr<OBL_JoinSet_Ram> OBL_JoinSet_Builder::BuildInner() {
  const uint32_t columns = static_cast<uint32_t>(mSets.size());
  for (const auto& set : mSets) {
    if (set->IsEmpty()) return std::make_unique<OBL_JoinSet_Ram>(columns);
  }
  if (mItems.empty()) return std::make_unique<OBL_JoinSet_Ram>(columns);
  SQL_LInfo& first = mItems[0];
  uint32_t small = first.mTableA, other = first.mTableB;
  if (Selection(other).Count() < Selection(small).Count()) std::swap(small, other);
  std::unique_ptr<OBL_JoinSet_Disk> disk = Extend(*Start(small), first, small, other, false);
  first.mDone = true;
  for (bool joined = true; joined;) {
    joined = false;
    for (SQL_LInfo& item : mItems) {
      if (item.mDone) continue;
      const bool knowA = disk->ColumnOf(item.mTableA) >= 0;
      const bool knowB = disk->ColumnOf(item.mTableB) >= 0;
      if (!knowA && !knowB) continue;
      disk = JoinItem(*disk, item);
      item.mDone = joined = true;
    }
  }
  return Finish(*disk);
}

std::unique_ptr<OBL_JoinSet_Ram> OBL_JoinSet_Builder::BuildOuter() {
  std::unique_ptr<OBL_JoinSet_Disk> disk;
  SQL_LInfo& first = mItems[0];
  const uint32_t a = first.mTableA, b = first.mTableB;
  switch (first.mKind) {
    case SQL_JoinKind::kInner: {
      uint32_t small = a, other = b;
      if (Selection(other).Count() < Selection(small).Count()) std::swap(small, other);
      disk = Extend(*Start(small), first, small, other, false);
      break;
    }
    case SQL_JoinKind::kLeftOuter:
      disk = Extend(*Start(a), first, a, b, true);
      break;
    case SQL_JoinKind::kRightOuter:
      disk = Extend(*Start(b), first, b, a, true);
      break;
    case SQL_JoinKind::kFullOuter:
      disk = Extend(*Start(a), first, a, b, true);
      AddUnmatched(*disk, first, a, b);
      break;
  }
  first.mDone = true;
  for (bool joined = true; joined && disk->GetColumnCount() < mSets.size();) {
    joined = false;
    for (SQL_LInfo& item : mItems) {
      if (item.mDone) continue;
      if (disk->ColumnOf(item.mTableA) < 0 && disk->ColumnOf(item.mTableB) < 0) continue;
      disk = JoinItem(*disk, item);
      item.mDone = joined = true;
    }
  }
  return Finish(*disk);
}

std::unique_ptr<OBL_JoinSet_Disk> OBL_JoinSet_Builder::JoinItem(const OBL_JoinSet_Disk& in,
                                                                SQL_LInfo item) {
  const bool knowA = in.ColumnOf(item.mTableA) >= 0;
  const bool knowB = in.ColumnOf(item.mTableB) >= 0;
  if (knowA && knowB) return Filter(in, item, item.mKind != SQL_JoinKind::kInner);
  if (!knowA) {
    std::swap(item.mTableA, item.mTableB);
    if (item.mKind == SQL_JoinKind::kLeftOuter) {
      item.mKind = SQL_JoinKind::kRightOuter;
    } else if (item.mKind == SQL_JoinKind::kRightOuter) {
      item.mKind = SQL_JoinKind::kLeftOuter;
    }
  }
  const bool preserve =
      item.mKind == SQL_JoinKind::kLeftOuter || item.mKind == SQL_JoinKind::kFullOuter;
  std::unique_ptr<OBL_JoinSet_Disk> out = Extend(in, item, item.mTableA, item.mTableB, preserve);
  if (item.mKind == SQL_JoinKind::kRightOuter || item.mKind == SQL_JoinKind::kFullOuter) {
    AddUnmatched(*out, item, item.mTableA, item.mTableB);
  }
  return out;
}

std::unique_ptr<OBL_JoinSet_Disk> OBL_JoinSet_Builder::Start(uint32_t position) {
  auto disk = std::make_unique<OBL_JoinSet_Disk>(TableAt(position).GetDataBase(),
                                                 std::vector<uint32_t>{position});
  zsql::ForEachMember(Selection(position), [&](REC_ID r) {
    disk->AppendRow({&r, 1});
    ++mWalked;
  });
  return disk;
}

std::unique_ptr<OBL_JoinSet_Disk> OBL_JoinSet_Builder::Extend(const OBL_JoinSet_Disk& in,
                                                              const SQL_LInfo& item, uint32_t from,
                                                              uint32_t to, bool preserve) {
  std::vector<uint32_t> tables = in.GetTables();
  tables.push_back(to);
  auto out = std::make_unique<OBL_JoinSet_Disk>(in.GetDataBase(), tables);
  const uint32_t known = static_cast<uint32_t>(in.ColumnOf(from));
  Partners partners(item, TableAt(from), TableAt(to), from);
  const FBL_Set& selection = Selection(to);
  std::vector<REC_ID> linked;
  std::vector<REC_ID> tuple(tables.size());
  const uint32_t rows = in.GetRowCount();
  for (uint32_t row = 0; row < rows; ++row) {
    std::span<const REC_ID> source = in.Row(row);
    std::copy(source.begin(), source.end(), tuple.begin());
    partners.Of(source[known], linked);
    bool any = false;
    for (REC_ID r : linked) {
      if (!zsql::Contains(selection, r)) continue;
      tuple.back() = r;
      out->AppendRow(tuple);
      any = true;
    }
    if (!any && preserve && linked.empty()) {
      tuple.back() = 0;
      out->AppendRow(tuple);
    }
  }
  return out;
}

void OBL_JoinSet_Builder::AddUnmatched(OBL_JoinSet_Disk& out, const SQL_LInfo& item,
                                       uint32_t from, uint32_t to) {
  const int32_t column = out.ColumnOf(to);
  Partners partners(item, TableAt(to), TableAt(from), to);
  std::vector<REC_ID> linked;
  std::vector<REC_ID> tuple(out.GetColumnCount(), 0);
  zsql::ForEachMember(Selection(to), [&](REC_ID r) {
    ++mWalked;
    partners.Of(r, linked);
    if (!linked.empty()) return;
    tuple[static_cast<size_t>(column)] = r;
    out.AppendRow(tuple);
  });
}

std::unique_ptr<OBL_JoinSet_Disk> OBL_JoinSet_Builder::Filter(const OBL_JoinSet_Disk& in,
                                                              const SQL_LInfo& item,
                                                              bool keepMissing) {
  auto out = std::make_unique<OBL_JoinSet_Disk>(in.GetDataBase(), in.GetTables());
  const uint32_t a = static_cast<uint32_t>(in.ColumnOf(item.mTableA));
  const uint32_t b = static_cast<uint32_t>(in.ColumnOf(item.mTableB));
  Partners partners(item, TableAt(item.mTableA), TableAt(item.mTableB), item.mTableA);
  std::vector<REC_ID> linked;
  for (uint32_t row = 0; row < in.GetRowCount(); ++row) {
    std::span<const REC_ID> tuple = in.Row(row);
    bool keep = keepMissing && (tuple[a] == 0 || tuple[b] == 0);
    if (!keep) {
      partners.Of(tuple[a], linked);
      keep = std::find(linked.begin(), linked.end(), tuple[b]) != linked.end();
    }
    if (keep) out->AppendRow(tuple);
  }
  return out;
}

std::unique_ptr<OBL_JoinSet_Ram> OBL_JoinSet_Builder::Finish(const OBL_JoinSet_Disk& disk) {
  const uint32_t columns = static_cast<uint32_t>(mSets.size());
  auto ram = std::make_unique<OBL_JoinSet_Ram>(columns);
  const std::vector<uint32_t>& tables = disk.GetTables();
  std::vector<REC_ID> tuple(columns, 0), previous;
  const bool distinct = mStmt.IsFromDistinct();
  for (uint32_t row = 0; row < disk.GetRowCount(); ++row) {
    std::span<const REC_ID> source = disk.Row(row);
    std::fill(tuple.begin(), tuple.end(), 0);
    for (size_t c = 0; c < tables.size(); ++c) tuple[tables[c] - 1] = source[c];
    if (distinct && tuple == previous) continue;
    ram->AppendRow(tuple);
    if (distinct) previous = tuple;
  }
  return ram;
}
