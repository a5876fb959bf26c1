// The tasks that run a formula over a set of records of one field, in
// ascending RecID order, reporting progress in hundredths of the set.
//
// FBL_ApplyFormula writes what the formula makes into the field. The 30 %
// rule: when the set holds at least three tenths of the table's records
// and the field has a non-unique index, that index and the indexes of the
// calculated fields that read the field are dropped first, the values
// written without index upkeep, and each index built again once at the
// end; otherwise the table keeps every index in step record by record (a
// unique field always: its index checks each value, and a duplicate raises
// 344 with the records before it written). A calculated field has nothing
// to write. Text, BLOB and Picture fields are not written by formulas
// (303).
//
// FBL_UseFormula reads the field and lets the formula collect.
//
// Both work through a copy of the column, so the table's current record
// and its fields' buffers stay as they were.
#pragma once

#include <memory>
#include <string>

#include "kernel/storage/task.h"

class FBL_BaseField;
class FBL_BitSet;
class FBL_Formula;
class FBL_Set;

class FBL_FormulaTask : public FBL_Task {
 public:
  // field and (unless owned) formula outlive the task; the set is copied
  // (an array set becomes a bit set of the table's size). REQUIRES: field
  // is attached to an open table.
  FBL_FormulaTask(std::string name, FBL_BaseField& field, FBL_Formula* formula, bool ownFormula,
                  const FBL_Set& records);
  ~FBL_FormulaTask() override;

 protected:
  // Calls step for each record of the set while the task runs, reporting
  // progress.
  template <class Step>
  void ForEachRecord(Step step);

  FBL_BaseField& mField;
  FBL_Formula* mFormula;
  std::unique_ptr<FBL_Formula> mOwned;
  std::unique_ptr<FBL_BitSet> mRecords;
};

class FBL_ApplyFormula : public FBL_FormulaTask {
 public:
  FBL_ApplyFormula(FBL_BaseField& field, FBL_Formula* formula, bool ownFormula,
                   const FBL_Set& records, std::string name = "ApplyFormula");
  void Run() override;
  // Whether the last run dropped and built the indexes again.
  bool RebuiltIndexes() const { return mRebuilt; }

 private:
  bool mRebuilt = false;
};

class FBL_UseFormula : public FBL_FormulaTask {
 public:
  FBL_UseFormula(FBL_BaseField& field, FBL_Formula* formula, bool ownFormula,
                 const FBL_Set& records, std::string name = "UseFormula");
  void Run() override;
};
