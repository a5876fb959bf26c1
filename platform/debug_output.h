#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Writes one trace line to the system debug output (standard error, in one
// write so lines of concurrent processes do not interleave).
void DebugOutput(std::string_view text);

// Redirects the debug output, for tests; an empty function restores stderr.
using DebugSink = std::function<void(std::string_view)>;
void SetDebugSink(DebugSink sink);

}  // namespace platform
