// OBL_DeleteRecords: deletes a set of records of a table, each with what
// its deletion takes along (deletion_plan.h), as the task "Delete records".
// The whole set is planned first: a refusal (restrict, 502; a corrupted
// chain, 523) leaves every record in place. Once running, the deletion is
// not stopped half way.
//
// Progress: the callback hears the step number (1 to 100) each time
// another hundredth of the planned records of the table is deleted; in
// reporting mode it finally hears 100 and then 200.
#pragma once

#include <cstdint>
#include <functional>

#include "kernel/storage/task.h"

class FBL_Set;
class OBL_BaseObject;

class OBL_DeleteRecords : public FBL_Task {
 public:
  using Progress = std::function<void(uint32_t step)>;

  // REQUIRES: table and records outlive the task.
  OBL_DeleteRecords(OBL_BaseObject& table, const FBL_Set& records, Progress progress = nullptr,
                    bool reporting = false);

  void Run() override;
  // Records of the table deleted (those of other tables not counted).
  uint32_t GetDeleted() const { return mDeleted; }

 private:
  OBL_BaseObject& mTable;
  const FBL_Set& mRecords;
  Progress mProgress;
  bool mReporting;
  uint32_t mDeleted = 0;
};
