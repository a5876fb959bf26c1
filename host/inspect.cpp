#include "host/inspect.h"

#include <cstdio>

#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/volume_report.h"

namespace host {

int RunInspect(const std::string& path) {
  bool started = FBL_MainCache() == nullptr;
  if (started) StartKernel(kMinMainCacheBytes);
  std::string report;
  int32_t code = WriteVolumeReport(path, report);
  if (started) StopKernel();
  std::fwrite(report.data(), 1, report.size(), stdout);
  return code == 0 ? 0 : 1;
}

}  // namespace host
