// A read-only description of a volume file, for the inspect command: the
// header fields by name, the segments, and the table of files.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"

namespace zv {

// Appends the description to out and returns 0, or the error code that
// stopped it (what could be read before is in out, then "error CODE").
// Never changes the file. REQUIRES: the kernel is started.
int32_t WriteVolumeReport(const std::string& path, std::string& out, platform::Env* env = nullptr);

}  // namespace zv
