#include "kernel/storage/task.h"

bool zv::RunTask(FBL_Task& task) {
  task.SetState(FBL_TaskState::kRunning);
  try {
    task.Run();
  } catch (...) {
    task.SetState(FBL_TaskState::kDone);
    throw;
  }
  const bool succeeded = task.IsRunning();
  if (succeeded) task.ReportProgress(100);
  task.SetState(FBL_TaskState::kDone);
  return succeeded;
}
