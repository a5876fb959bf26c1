// FBL_SecondaryIndexFactory: makes the index kind a field's type and flags
// ask for (index_kinds.h), its file in the database's index volume named by
// the table and the field's number, enciphered with the database's key.
// Booleans (answered from their bit file) and BLOB-like types get none.
#pragma once

#include "kernel/tables/field_descriptor.h"

class FBL_SecondaryIndexFactory : public FBL_IndexFactory {
 public:
  // REQUIRES: the field is attached to a table of an open database.
  std::unique_ptr<FBL_FieldIndex> MakeIndex(FBL_BaseField& field) override;
};
