// FBL_IndexerTask: fills an empty index from its table in one pass. It
// reads the field's value of every alive record in ascending RecID order
// and pushes its keys to a sorter (key_sorter.h), whose sink appends them to
// the index in (key, RecID) order: the sort is stable and the RecIDs come
// ascending.
//
// Lifecycle: made by the index's Build, run once by RunTask (state 1 while
// it runs, 2 after), then destroyed. Progress: one step per record. A task
// stopped while running empties the index again. The field's own value and
// current record are the same after the run as before it.
#pragma once

#include <string>

#include "kernel/storage/task.h"

class FBL_BaseField;
class FBL_FieldIndex;

class FBL_IndexerTask : public FBL_Task {
 public:
  // REQUIRES: field is attached to an open table; index is the field's
  // index (it may not be the field's yet while it is being made).
  FBL_IndexerTask(FBL_FieldIndex& index, FBL_BaseField& field);
  void Run() override;

  // "Indexing: " + table name + ":" + field name.
  static std::string NameOf(const FBL_BaseField& field);

 private:
  void Fill();

  FBL_FieldIndex& mIndex;
  FBL_BaseField& mField;
};
