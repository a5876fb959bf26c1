#include "platform/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

namespace {
DebugSink& Sink() {
  static DebugSink sink;
  return sink;
}
}  // namespace

void DebugOutput(std::string_view text) {
  if (Sink()) {
    Sink()(text);
    return;
  }
  const int saved = errno;  // tracing must not disturb the caller's error code
  ssize_t n;
  do {
    n = ::write(STDERR_FILENO, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  errno = saved;
}

void SetDebugSink(DebugSink sink) {
  Sink() = std::move(sink);
}

}  // namespace platform
