// Page defragmentation: a page file whose logical pages lie out of order on
// disk is rewritten, as the task "Page defragmentation", into a temporary
// embedded file (kind 0xFFFF) with the same header, the same number of
// inventory pages and its data pages in logical order (logical page l at
// physical page M + l, group marks kept). On success the copy takes the
// page file's identity and the old storage is freed; on failure or when the
// task is stopped the copy is removed and the page file stays as it was.
#pragma once

#include <cstdint>

#include "kernel/storage/task.h"

class FBL_EmbededFile;
class FBL_PageFile;

class FBL_PageDefragmenter : public FBL_Task {
 public:
  // REQUIRES: file is open, its cursors released; copy is open and empty.
  FBL_PageDefragmenter(FBL_PageFile& file, FBL_EmbededFile& copy);

  // Copies header, inventory and pages; an error stops the task and leaves
  // its code in GetError().
  void Run() override;
  int32_t GetError() const { return mError; }

 private:
  void CopyHeader();
  void WriteInventory();
  void CopyPages();

  FBL_PageFile& mFile;
  FBL_EmbededFile& mCopy;
  int32_t mError = 0;
};
