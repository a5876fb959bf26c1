#pragma once

#include "zorvane/xcmd.h"

namespace bridge {

// Writes a non-zero ErrorCode back to the host (the error slot of an indexed
// call, "ERROR <code>" after the result text of a name call) and traces the
// outcome by debug level.
void ReportCallResult(CommandBlock* block);

}  // namespace bridge
