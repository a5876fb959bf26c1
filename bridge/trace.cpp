#include "bridge/trace.h"

#include <cstdarg>
#include <cstdio>

#include "bridge/bridge_state.h"
#include "platform/debug_output.h"

namespace bridge {

void Trace(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  platform::DebugOutput(text);
}

void TraceCommand(const char* message) {
  if (DebugLevel >= 2) Trace("%s", message);
}

}  // namespace bridge
