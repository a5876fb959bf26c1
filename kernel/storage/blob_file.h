// FBL_BLOBFile: the values of a BLOB, text or picture column as chains of
// equal blocks in one embedded file (layout in blob_format.h). A record
// names its value by the number of the chain's first block; 0 is no value.
//
// Lifecycle:
//   closed --Create--> closed: entry placed, 32-byte header written, length
//     1024 (no blocks).
//   closed --Open--> open: header read and checked; the block size stored
//     in the file replaces the one given at construction. A placed file of
//     length 0 is given its header first.
//   open --last Close--> closed, every dirty block written.
// Invariants while open: mBlockCount is the number of whole blocks after
// the header area; mHeader matches the disk. Every block number, size and
// link read from disk is checked before use; chain walks are bounded (the
// mIndex of each next block must be one more than its predecessor's and at
// most the value's block count), so a damaged chain raises 38, never loops.
// Freed blocks are reused before the file grows; freed blocks that end the
// file are cut off.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kernel/storage/blob_format.h"
#include "kernel/storage/embedded_file.h"

// A record's reference into a BLOB file, as Diagnose is given it.
struct FBL_BLOBReference {
  uint32_t mRecID = 0;
  uint32_t mFirstBlock = 0;
};

class FBL_BLOBFile : public FBL_EmbededFile {
 public:
  // blockSize: the column's segment size, used when the file is created.
  FBL_BLOBFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex,
               uint32_t blockSize = zblob::kDefaultBlockSize);
  ~FBL_BLOBFile() override;

  void Open() override;
  // The last Close writes every dirty block first.
  void Close() override;
  // At most the header area long.
  bool IsEmpty() override;
  // Places the file with its header; leaves it closed. A block size that
  // cannot hold data raises 310.
  void Create() override;
  void Reset() override;

  uint32_t GetBlockSize() const { return mBlockSize; }
  // For a file yet to be created. REQUIRES: the file is closed.
  void SetBlockSize(uint32_t blockSize);
  uint32_t GetBlockCount() const { return mBlockCount; }
  uint32_t GetFirstDeleted() const { return mHeader.mFirstDeleted; }
  uint32_t GetDataBytesPerBlock() const { return mBlockSize - zblob::kBlockHeaderBytes; }

  // The value operations REQUIRE an open file (else 307). A first block
  // that is not the first block of a value, a damaged chain, or bytes
  // past the value's size raise 38.
  // The value's size in bytes; 0 for first = 0.
  uint32_t GetValueSize(uint32_t first);
  // Copies count bytes from offset of the value. Nothing for count 0,
  // first 0, or offset equal to the size.
  void ReadValue(void* buffer, uint32_t count, uint32_t first, uint32_t offset);
  // Writes count bytes at offset (at most the size), growing the value as
  // needed; returns the first block, new when first is 0.
  uint32_t WriteValue(const void* buffer, uint32_t count, uint32_t first, uint32_t offset);
  // Frees the value's blocks. A chain damaged past some block frees only
  // the blocks before it (the rest is left alone: it may belong to another
  // value).
  void DeleteValue(uint32_t first);
  // The 32-bit word the owning column keeps with a value.
  void SetValueTag(uint32_t first, uint32_t value);
  uint32_t GetValueTag(uint32_t first);
  // Cuts the deleted blocks that end the file.
  void TrimTail();

  // Checks the file against the references of the table's records and
  // returns whether all is right; the report lines are appended only when
  // verbose. Opens and closes the file itself. Never raises.
  bool Diagnose(std::string& report, bool verbose, bool tableEmpty,
                const std::vector<FBL_BLOBReference>& references);

 private:
  // A block of a value's chain with its header as read.
  struct ChainPos {
    uint32_t mBlock = 0;
    zblob::FBL_BLOBBlockHeader mHeader;
  };

  // Raises 38 naming what was wrong and where.
  [[noreturn]] void Bad(const char* what, uint64_t number) const;
  void RequireOpen() const;
  void LoadHeader();
  void WriteFileHeader();
  void CheckBlockNumber(uint32_t block, const char* what) const;
  zblob::FBL_BLOBBlockHeader ReadBlockHeader(uint32_t block);
  void WriteBlockHeader(uint32_t block, const zblob::FBL_BLOBBlockHeader& header);
  void ReadBytes(uint64_t offset, void* buffer, uint64_t count);
  void WriteBytes(uint64_t offset, const void* buffer, uint64_t count);
  uint8_t* Scratch(uint64_t bytes);
  // Blocks moved in one transfer at most.
  uint32_t RunBlocks() const;
  // The checked header of a value's first block.
  ChainPos ReadFirst(uint32_t first);
  // Raises 38 unless next may follow prev in the chain of first: prev is
  // full, next's mIndex is one more, its mFirstBlock is first.
  void CheckLink(const ChainPos& prev, uint32_t first, const ChainPos& next) const;
  // The checked block after pos.
  ChainPos Next(const ChainPos& pos, uint32_t first);
  // The block of the chain whose mIndex is index.
  ChainPos Seek(const ChainPos& start, uint32_t first, uint32_t index);
  uint32_t BlocksOf(uint32_t totalSize) const {
    return zblob::BlocksForSize(mBlockSize, totalSize);
  }

  // Reading: copies count bytes starting at data offset within of pos.
  void CopyOut(uint8_t* out, uint32_t count, uint32_t first, ChainPos pos, uint32_t within);
  // Writing: fills from data offset within of pos on, taking blocks as
  // needed. pos.mHeader is current.
  void Fill(const uint8_t* in, uint32_t count, uint32_t first, ChainPos pos, uint32_t within);
  uint32_t NewValue(const uint8_t* in, uint32_t count);
  // A block for the chain of first after prev (none for a new value): the
  // head of the deleted chain, else a new block at the end.
  ChainPos TakeBlock(ChainPos* prev, uint32_t first);
  // The head of the deleted chain, unlinked; 0 when there is none or the
  // chain is damaged (it is then abandoned, never reused).
  uint32_t PopDeleted();
  // Appends blocks holding count bytes (at least one block) at the end of
  // the file in few large writes, the first of them following prev (none:
  // they start a new value of count bytes). Returns the first new block.
  uint32_t AppendBlocks(ChainPos* prev, uint32_t first, const uint8_t* in, uint32_t count);
  // Unlinks block, the last one kept, from the deleted chain when it is a
  // member its neighbours confirm; false otherwise.
  bool UnlinkDeleted(uint32_t block);

  // Diagnose's parts; each returns whether all was right.
  bool CheckValue(const FBL_BLOBReference& ref, uint64_t length, std::vector<bool>& seen,
                  std::string& out);
  bool CheckDeletedChain(uint64_t length, std::vector<bool>& seen, std::string& out);

  uint32_t mBlockSize;
  bool mBigEndian = false;
  zblob::FBL_BLOBFileHeader mHeader;
  uint32_t mBlockCount = 0;
  // Room for runs of blocks read or written in one transfer.
  std::vector<uint8_t> mScratch;
};
