// FBL_oldBLOBFile: the BLOB file of databases of older versions, read only
// (layout in blob_format.h): blocks linked by a u32 at their start, no
// value headers, no byte swapping. Values are converted into a current
// FBL_BLOBFile by their owning column, which knows each value's size.
//
// Lifecycle: closed --Open--> open (header read, block size checked)
// --Close--> closed. Nothing is ever written.
#pragma once

#include <cstdint>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "kernel/storage/embedded_file.h"

class FBL_oldBLOBFile : public FBL_EmbededFile {
 public:
  using FBL_EmbededFile::FBL_EmbededFile;

  void Open() override;
  // Exactly the header area long.
  bool IsEmpty() override;

  uint32_t GetBlockSize() const { return mBlockSize; }
  uint32_t GetFirstDeleted() const { return mFirstDeleted; }
  uint32_t GetBlockCount() const { return mBlockCount; }

  // REQUIRE an open file. The data of the chain from first: B - 4 bytes of
  // each block, the first maxBytes of them. A link out of range, or a
  // chain longer than the file has blocks (a loop), raises 38; so does a
  // chain that ends before maxBytes when exact is set.
  std::vector<uint8_t> ReadChain(uint32_t first, uint64_t maxBytes, bool exact);
  // Copies the first size bytes of the chain from first into a new value
  // of target; returns the value's first block there (0 for first 0).
  uint32_t CopyValue(uint32_t first, uint32_t size, FBL_BLOBFile& target);

 private:
  [[noreturn]] void Bad(const char* what, uint64_t number) const;

  uint32_t mBlockSize = 0;
  uint32_t mFirstDeleted = 0;
  uint32_t mBlockCount = 0;
};
