#include "objects/delete_records.h"

#include "kernel/sets/bit_set.h"
#include "objects/base_object.h"
#include "objects/deletion_plan.h"
#include "objects/object_database.h"
#include "objects/object_table.h"

OBL_DeleteRecords::OBL_DeleteRecords(OBL_BaseObject& table, const FBL_Set& records,
                                     Progress progress, bool reporting)
    : FBL_Task("Delete records"),
      mTable(table),
      mRecords(records),
      mProgress(std::move(progress)),
      mReporting(reporting) {}

void OBL_DeleteRecords::Run() {
  std::unique_ptr<FBL_BitSet> holder;
  const FBL_BitSet& records = AsBitSet(mRecords, mTable.GetStore().GetMaxRecID(), holder);
  OBL_DeletionPlan plan(mTable.GetDataBase());
  plan.Plan(mTable, records);
  if (!plan.CanExecute()) return;
  const FBL_BitSet* planned = plan.Planned(mTable);
  const uint64_t total = planned != nullptr ? planned->Count() : 0;
  uint32_t step = 0;
  uint64_t done = 0;
  auto onDeleted = [&](REC_ID) {
    ++done;
    const auto now = static_cast<uint32_t>(done * 100 / total);
    if (now > step) {
      step = now;
      if (mProgress) mProgress(step);
    }
  };
  mDeleted = plan.Execute(mProgress ? std::function<void(REC_ID)>(onDeleted) : nullptr);
  if (mReporting && mProgress) {
    mProgress(100);
    mProgress(200);
  }
}
