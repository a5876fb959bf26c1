#include "host/inspect.h"

#include <cstdio>
#include <string>

#include "host/chain_check.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/volume.h"
#include "kernel/storage/volume_format.h"
#include "kernel/storage/volume_report.h"
#include "platform/env.h"
#include "platform/errors.h"

namespace host {

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The storage mode in a structure volume's header, or -1 when the header
// cannot be read.
int64_t ReadStorageMode(platform::Env& env, const std::string& vdb) {
  try {
    auto file = env.OpenFile(vdb, platform::OpenMode::kReadOnly);
    uint8_t raw[kVolumeHeaderBytes];
    if (file->ReadAt(0, raw, sizeof raw) != sizeof raw) return -1;
    return FBL_VolumeHeader::Decode(raw).mStorageMode;
  } catch (...) {
    return -1;
  }
}

// The roles a file of the set plays in a mode, as "structure, records".
std::string Roles(const FBL_StorageLayout& layout, const char* extension) {
  std::string roles = std::string(extension) == ".vdb" ? "structure" : "";
  for (auto [role, holder] :
       {std::pair{"records", layout.records}, std::pair{"indexes", layout.indexes},
        std::pair{"BLOBs", layout.blobs}}) {
    if (std::string(holder) != extension) continue;
    roles += (roles.empty() ? "" : ", ");
    roles += role;
  }
  return roles;
}

// The chains are checked on a second, read-only open: the report's own open
// already proved the header and the table of files sound.
uint32_t CheckChains(const std::string& path, std::string& report) {
  try {
    FBL_DataFile volume(path);
    volume.SetForceReadOnly(true);
    volume.Open();
    const uint32_t problems = CheckFileChains(volume, report);
    volume.Close();
    return problems;
  } catch (const xFBL_Exception& e) {
    report += "error " + std::to_string(e.Code) + "\n";
    return 1;
  }
}

int InspectVolume(const std::string& path) {
  std::string report;
  const int32_t code = zv::WriteVolumeReport(path, report);
  const uint32_t problems = code == 0 ? CheckChains(path, report) : 0;
  std::fwrite(report.data(), 1, report.size(), stdout);
  return code == 0 && problems == 0 ? 0 : 1;
}

int InspectDatabase(platform::Env& env, const std::string& base) {
  const std::string vdb = base + ".vdb";
  const int64_t mode = ReadStorageMode(env, vdb);
  if (mode < 0) {
    std::printf("database %s: the structure volume cannot be read\n", vdb.c_str());
    InspectVolume(vdb);
    return 1;
  }
  const FBL_StorageLayout layout = zv::StorageLayoutOf(uint32_t(mode));
  std::printf("database %s, storage mode %lld\n", base.c_str(), static_cast<long long>(mode));
  int status = 0;
  for (const char* extension : {".vdb", ".dat", ".ind", ".blb"}) {
    const std::string roles = Roles(layout, extension);
    if (roles.empty()) continue;
    const std::string path = base + extension;
    if (!env.FileExists(path)) {
      std::printf("\n== %s (%s): %s\n", path.c_str(), roles.c_str(),
                  std::string(extension) == ".blb" ? "not created yet" : "missing");
      continue;
    }
    std::printf("\n== %s (%s)\n", path.c_str(), roles.c_str());
    std::fflush(stdout);
    if (InspectVolume(path) != 0) status = 1;
  }
  return status;
}

}  // namespace

int RunInspect(const std::string& path) {
  const bool started = FBL_MainCache() == nullptr;
  if (started) zv::StartKernel(kMinMainCacheBytes);
  platform::Env& env = *platform::Env::Default();
  int status;
  // A database is named by its base path or its structure volume; any other
  // existing file is looked at as a single volume.
  if (EndsWith(path, ".vdb")) {
    status = InspectDatabase(env, path.substr(0, path.size() - 4));
  } else if (!env.FileExists(path) && env.FileExists(path + ".vdb")) {
    status = InspectDatabase(env, path);
  } else {
    status = InspectVolume(path);
  }
  std::fflush(stdout);
  if (started) zv::StopKernel();
  return status;
}

}  // namespace host
