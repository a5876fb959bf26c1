// The database the volume fuzzer reads: one table of typed, indexed and
// nullable fields in a database of storage mode 1, whose one volume (.vdb)
// holds the structure, the records, the indexes and the BLOBs. A fuzz
// input is the bytes of such a volume; the seeds are made here.
#pragma once

#include <cstdint>
#include <string>

class FBL_Table;

namespace zfuzz {

inline constexpr uint32_t kTableId = 1;
// The key of the keyed seed; the fuzzer tries it when no key is refused.
inline constexpr const char* kSeedKey = "fuzz key";

// The fields, in the order the seed was made with.
void AddFields(FBL_Table& table);

// Writes base.vdb with a few dozen records, some deleted, some with nulls.
// byteOrder 0 little-endian, 1 big-endian; keyed: the database and its
// indexes under kSeedKey; mode: the storage mode (other modes add .dat,
// .ind and .blb beside the .vdb). REQUIRES: the kernel is started.
void MakeSeedDatabase(const std::string& base, uint8_t byteOrder, bool keyed, uint32_t mode = 1);

}  // namespace zfuzz
