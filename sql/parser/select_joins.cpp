// Join conditions and the join list. A condition field op field between
// two FROM entries joins them through the pointer of one to the other's
// RecID, or else through a relational link made for the pair; completing
// the list merges relational links over the same two tables and, when some
// table is left unjoined, adds the database's own links between them.
#include <algorithm>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/rdb_relation.h"
#include "sql/parser/select_errors.h"
#include "sql/parser/select_parser.h"

using namespace zv::sql;

namespace {

bool IsString(uint8_t type) {
  return type == kTypeString || type == kTypeVarChar;
}

SQL_JoinKind JoinKind(SQL_Token op) {
  switch (op) {
    case SQL_Token::kLeftJoin:
      return SQL_JoinKind::kLeftOuter;
    case SQL_Token::kRightJoin:
      return SQL_JoinKind::kRightOuter;
    case SQL_Token::kFullJoin:
      return SQL_JoinKind::kFullOuter;
    default:
      return SQL_JoinKind::kInner;
  }
}

}  // namespace

SQL_CondNode* OBL_Parser::JoinCondition(FBL_BaseField* a, uint32_t tableA, SQL_Token op,
                                         FBL_BaseField* b, uint32_t tableB) {
  // Two fields of one entry join nothing.
  if (tableA == tableB) return Fail(kErrWrongLink);
  SQL_LInfo join;
  join.mTableA = tableA;
  join.mTableB = tableB;
  join.mKind = JoinKind(op);
  join.mLink = PointerJoin(a, tableA, b, tableB);
  if (join.mLink == nullptr) {
    if (a->GetType() != b->GetType() && !(IsString(a->GetType()) && IsString(b->GetType())))
      return Fail(kErrWrongLink);
    mStmt->mOwnLinks.push_back(
        std::make_unique<OBL_RdbRelation>(mDb, TableAt(tableA), *a, TableAt(tableB), *b));
    join.mLink = mStmt->mOwnLinks.back().get();
    join.mValueJoin = true;
  }
  mStmt->mJoins.push_back(join);
  Next();
  return MakeLeaf(SQL_CondOp::kTrue, nullptr, 0);
}

OBL_Link* OBL_Parser::PointerJoin(FBL_BaseField* a, uint32_t tableA, FBL_BaseField* b,
                                  uint32_t tableB) const {
  const auto pointerTo = [this](FBL_BaseField* pointer, FBL_BaseField* recID,
                                uint32_t target) -> OBL_Link* {
    if (pointer->GetType() != kTypeObjectPtr || recID->GetType() != kTypeRecID) return nullptr;
    OBL_PointerLink* link = mDb.PointerLinkOf(*pointer);
    return link != nullptr && link->GetTarget() == &TableAt(target) ? link : nullptr;
  };
  if (OBL_Link* link = pointerTo(a, b, tableB)) return link;
  return pointerTo(b, a, tableA);
}

void OBL_Parser::CompleteJoinList() {
  MergeRelationalLinks();
  if (mStmt->GetFromCount() <= 1 || AllTablesJoined()) return;
  AddAutomaticLinks();
  if (!Failed() && !AllTablesJoined()) SetError(kErrMissingLink);
}

void OBL_Parser::MergeRelationalLinks() {
  std::vector<SQL_LInfo>& joins = mStmt->mJoins;
  for (size_t i = 0; i < joins.size(); ++i) {
    if (!joins[i].mValueJoin) continue;
    OBL_RdbRelationMult* merged = nullptr;
    for (size_t j = i + 1; j < joins.size();) {
      const SQL_LInfo& later = joins[j];
      const bool same = later.mTableA == joins[i].mTableA && later.mTableB == joins[i].mTableB;
      const bool swapped = later.mTableA == joins[i].mTableB && later.mTableB == joins[i].mTableA;
      if (!later.mValueJoin || (!same && !swapped)) {
        ++j;
        continue;
      }
      if (merged == nullptr) {
        auto mult = std::make_unique<OBL_RdbRelationMult>(mDb, TableAt(joins[i].mTableA),
                                                          TableAt(joins[i].mTableB));
        for (const OBL_KeyPair& pair : static_cast<OBL_RdbRelation*>(joins[i].mLink)->GetKeyPairs())
          mult->AddKeyPair(*pair.mFirst, *pair.mSecond);
        merged = mult.get();
        mStmt->mOwnLinks.push_back(std::move(mult));
        joins[i].mLink = merged;
      }
      // A relational link's first key belongs to its item's table A.
      for (const OBL_KeyPair& pair : static_cast<OBL_RdbRelation*>(later.mLink)->GetKeyPairs()) {
        if (same) {
          merged->AddKeyPair(*pair.mFirst, *pair.mSecond);
        } else {
          merged->AddKeyPair(*pair.mSecond, *pair.mFirst);
        }
      }
      joins.erase(joins.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
}

bool OBL_Parser::AllTablesJoined() const {
  const uint32_t tables = mStmt->GetFromCount();
  std::vector<uint32_t> touches(tables + 1, 0);
  for (const SQL_LInfo& join : mStmt->mJoins) {
    ++touches[join.mTableA];
    ++touches[join.mTableB];
  }
  if (std::find(touches.begin() + 1, touches.end(), 0u) != touches.end()) return false;
  return 2 * mStmt->mJoins.size() >= 2 * (size_t{tables} - 1);
}

bool OBL_Parser::HasJoin(uint32_t tableA, uint32_t tableB) const {
  return std::any_of(mStmt->mJoins.begin(), mStmt->mJoins.end(), [&](const SQL_LInfo& join) {
    return (join.mTableA == tableA && join.mTableB == tableB) ||
           (join.mTableA == tableB && join.mTableB == tableA);
  });
}

void OBL_Parser::AddAutomaticLinks() {
  const uint32_t tables = mStmt->GetFromCount();
  for (uint32_t i = 1; i <= tables; ++i) {
    for (uint32_t j = i + 1; j <= tables; ++j) {
      if (HasJoin(i, j)) continue;
      OBL_BaseObject& a = TableAt(i);
      OBL_BaseObject& b = TableAt(j);
      OBL_Link* found = nullptr;
      for (OBL_Link* link : mDb.LinksOf(b)) {
        if (!link->Joins(a, b)) continue;
        // Two links between the tables: the query must say which.
        if (found != nullptr) return SetError(kErrAmbiguousLink);
        found = link;
      }
      if (found != nullptr) {
        SQL_LInfo join;
        join.mLink = found;
        join.mTableA = i;
        join.mTableB = j;
        mStmt->mJoins.push_back(join);
      }
    }
  }
}
