// FBL_IndexedTable: a table that keeps its fields' indexes and unique
// constraints in step with every change. It adds nothing to the data.
//
// Failed unique checks raise xFBL_FieldIsUnique before any file is touched.
// An index insertion that fails after the record was written (an add
// without checks) takes the record out again before the error goes on.
// The index upkeep sits in the RecID forms (DeleteRecordByID,
// UpdateFieldsByID), which the current-record forms call.
#pragma once

#include <functional>

#include "kernel/tables/table.h"

class FBL_BitSet;

class FBL_IndexedTable : public FBL_Table {
 public:
  using FBL_Table::FBL_Table;
  ~FBL_IndexedTable() override;

  void OpenFiles() override;
  void CreateFiles() override;
  void DropFiles() override;
  REC_ID AddRecord(bool check = true) override;
  // The old keys of the record go first, from the values on disk.
  bool DeleteRecordByID(REC_ID recID, bool force = false) override;
  // DeleteRecordByID (forced) of every alive record of the set, in RecID
  // order and in batches: each index takes out a batch's entries in key
  // order first. deleted (may be empty) hears of each record that went.
  // Returns how many went.
  uint32_t DeleteRecordsByID(const FBL_BitSet& records,
                             const std::function<void(REC_ID)>& deleted);
  // Only the given fields whose value differs from the stored one (and the
  // indexed calculated fields that read them) change their index entries.
  bool UpdateFieldsByID(REC_ID recID, std::span<FBL_BaseField* const> fields,
                        bool check = true) override;
  // Raise xFBL_FieldIsUnique when a unique field's value is already taken.
  void CheckFieldBeforeAdd(FBL_BaseField& field) override;
  void CheckFieldBeforeUpdate(FBL_BaseField& field) override;
  // Creates the missing indexes of indexed fields and opens every index.
  virtual void OpenIndexes();
  // Every field drops its index and deletes its file.
  virtual void DropIndexes();
  // Keeps the unique indexes (creating missing ones) and drops the others;
  // true when a unique index remains.
  virtual bool DropNonUniqueIndexes();

 private:
  void CheckUnique(FBL_BaseField& field, REC_ID recID);
  // Of fields, those whose stored value for recID differs (their old
  // values loaded) and are indexed, unique checks passed; then the indexed
  // calculated fields that read them.
  std::vector<FBL_BaseField*> CollectIndexChanges(REC_ID recID,
                                                  std::span<FBL_BaseField* const> fields);
  // The table's own field for the column another field stands for.
  FBL_BaseField* OwnField(const FBL_BaseField& field) const;
};
