#pragma once

namespace bridge {

// Formats a trace text (at most 511 bytes) to the debug output.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A handler's own trace line, written at debug level 2 or more.
void TraceCommand(const char* message);

}  // namespace bridge
