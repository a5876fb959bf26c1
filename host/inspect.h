// `zorvane inspect PATH`: a read-only look at a volume file. Links the core
// library directly (not through the loaded engine).
#pragma once

#include <string>

namespace host {

// Prints the volume's header fields, segments and table of files to
// standard output; on a damaged file what could be read and "error CODE".
// Returns the exit status: 0 when the whole file was read, 1 otherwise.
int RunInspect(const std::string& path);

}  // namespace host
