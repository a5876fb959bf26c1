// FBL_IndexerTask: fills an empty index from its table in one pass. It
// reads the field's value of every alive record in RecID order, sorts
// (key, RecID) pairs in batches and appends them to the index in order.
#pragma once

#include "kernel/storage/task.h"

class FBL_BaseField;
class FBL_FieldIndex;

class FBL_IndexerTask : public FBL_Task {
 public:
  // REQUIRES: field is attached to an open table; index is field's index.
  FBL_IndexerTask(FBL_FieldIndex& index, FBL_BaseField& field);
  void Run() override;

 private:
  FBL_FieldIndex& mIndex;
  FBL_BaseField& mField;
};
