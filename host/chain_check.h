// The chain check of `zorvane inspect`: every file of a volume against the
// volume's length. Uses only the kernel's read operations on an open volume.
#pragma once

#include <cstdint>
#include <string>

class FBL_DataFile;

namespace host {

// Walks the chain of every live entry of the table of files (the table
// itself included) and checks that each of its segments lies wholly inside
// the OS file and after the segment map, that no segment is marked free or
// belongs to two chains, that the chain holds exactly the entry's segment
// count and ends there, and that the file's length fits its segments. Also
// checks that the file ends on a segment boundary and that the map describes
// every segment. Appends one "(!) " line per problem and a summary line;
// returns the number of problems. REQUIRES: the volume is open.
uint32_t CheckFileChains(FBL_DataFile& volume, std::string& out);

}  // namespace host
