#include "kernel/storage/task.h"

bool RunTask(FBL_Task& task) {
  task.SetState(FBL_Task::kStateRunning);
  try {
    task.Run();
  } catch (...) {
    task.SetState(FBL_Task::kStateDone);
    throw;
  }
  const bool succeeded = task.IsRunning();
  if (succeeded) task.ReportProgress(100);
  task.SetState(FBL_Task::kStateDone);
  return succeeded;
}
