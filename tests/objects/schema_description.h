// The schema of a database as text: every stored property of every user
// table, field and relation, for comparisons across close and reopen.
#pragma once

#include <string>

#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/language.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/string_fields.h"
#include "objects/bin_relation.h"
#include "objects/links.h"
#include "objects/object_database.h"

namespace ztest {

inline std::string DescribeField(OBL_DataBase& db, FBL_BaseField& f) {
  std::string s = "  " + f.GetName() + " type " + std::to_string(f.GetType()) + " flags " +
                  std::to_string(f.GetFlags()) + " number " + std::to_string(f.GetFieldNumber());
  if (auto* sized = dynamic_cast<FBL_LengthField*>(&f))
    s += " length " + std::to_string(sized->GetDeclaredLength());
  if (auto* text = dynamic_cast<BF_STRING*>(&f)) s += " language " + text->GetLanguage().GetName();
  if (auto* text = dynamic_cast<BF_TEXT*>(&f)) s += " language " + text->GetLanguage().GetName();
  if (auto* blob = dynamic_cast<BF_BLOB*>(&f)) {
    s += " segment " + std::to_string(blob->GetSegmentSize()) + " level " +
         std::to_string(blob->GetCompressionLevel());
  }
  if (f.IsMethod()) s += " method [" + f.GetMethodText() + "]";
  if (OBL_PointerLink* link = db.PointerLinkOf(f)) {
    s += " target " + (link->GetTarget() ? link->GetTarget()->GetName() : std::string("-")) +
         " control " + std::to_string(static_cast<int>(link->GetDeletionControl()));
  }
  return s + "\n";
}

inline std::string DescribeSchema(OBL_DataBase& db) {
  std::string s;
  for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i) {
    OBL_BaseObject& t = *db.GetBaseObject(i);
    s += "table " + t.GetName() + " id " + std::to_string(t.GetID()) + " parent " +
         (t.GetParent() ? t.GetParent()->GetName() : std::string("-")) + " inheritance " +
         std::to_string(t.GetInheritanceType()) + " abstract " + std::to_string(t.IsAbstract()) +
         " encrypted " + std::to_string(t.IsEncrypted()) +
         " fields " + std::to_string(t.GetFieldCount()) + "\n";
    for (FBL_BaseField* f : t.GetOwnFields()) s += DescribeField(db, *f);
  }
  for (const auto& link : db.GetLinks()) {
    auto* relation = dynamic_cast<OBL_BinRelation*>(link.get());
    if (relation == nullptr) continue;
    s += "relation " + relation->GetName() + " number " + std::to_string(relation->GetNumber());
    for (uint32_t b = 1; b <= relation->GetBranchCount(); ++b) {
      const OBL_RelationBranch& branch = relation->GetBranch(b);
      s += " [" + branch.mTable->GetName() + " " + std::to_string(branch.mRelType) + " " +
           std::to_string(static_cast<int>(branch.mControl)) + "]";
    }
    s += "\n";
  }
  return s;
}

}  // namespace ztest
