// `zorvane inspect PATH`: a read-only look at a volume file. Links the core
// library directly (not through the loaded engine).
#pragma once

#include <string>

namespace host {

// Prints the volume's header fields, segments and table of files to
// standard output, then checks every file's chain against the volume's
// length ("(!) " lines for damage); on a file that cannot be opened, what
// could be read and "error CODE". Returns the exit status: 0 when every
// volume was read whole and sound, 1 otherwise.
int RunInspect(const std::string& path);

}  // namespace host
