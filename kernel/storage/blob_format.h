// The on-disk layout of a BLOB file, in one place.
//
// A BLOB file is an embedded file cut into equal blocks of B bytes after a
// 1024-byte header area:
//
//   0                    32 bytes  file header (FBL_BLOBFileHeader)
//   32                  992 bytes  zero
//   1024 + (n - 1) * B    B bytes  block n, n = 1, 2, ...
//
// A block is a 32-byte header (FBL_BLOBBlockHeader) and B - 32 data bytes.
// A value is a chain of blocks linked by mNextBlock; its data byte i lies in
// the (i / (B - 32) + 1)-th block of the chain at data offset i % (B - 32),
// so every block but the last is full. A value of 0 bytes still owns one
// block. Freed blocks form a doubly linked chain of deleted blocks (mIndex
// 0, mPrevBlock towards the head) whose head the file header names.
//
// Every u32 is in the volume's byte order.
//
// The older layout (read only): an 8-byte header (u32 block size, u32 first
// deleted block) in the machine's order, blocks from 1024 as above, each
// beginning with a u32 link to the next block of its value.
#pragma once

#include <cstdint>

namespace zblob {

inline constexpr uint32_t kHeaderArea = 1024;
inline constexpr uint32_t kFileHeaderBytes = 32;
inline constexpr uint32_t kBlockHeaderBytes = 32;
inline constexpr uint32_t kDefaultBlockSize = 1024;
// A block must have room for data; the upper bound keeps a damaged header
// from sizing buffers.
inline constexpr uint32_t kMinBlockSize = kBlockHeaderBytes + 1;
inline constexpr uint32_t kMaxBlockSize = 1u << 24;
// The error of a damaged value chain, a read or write past a value's size,
// and a damaged BLOB file.
inline constexpr int32_t kErrBadBlob = 38;

inline constexpr uint32_t kOldHeaderBytes = 8;
inline constexpr uint32_t kOldLinkBytes = 4;

inline bool ValidBlockSize(uint32_t b) {
  return b >= kMinBlockSize && b <= kMaxBlockSize;
}

// Offset of block n (n >= 1).
inline uint64_t BlockOffset(uint32_t blockSize, uint32_t n) {
  return kHeaderArea + static_cast<uint64_t>(n - 1) * blockSize;
}

// Whole blocks a file of this length holds.
inline uint32_t BlocksInLength(uint32_t blockSize, uint64_t length) {
  if (length <= kHeaderArea) return 0;
  uint64_t n = (length - kHeaderArea) / blockSize;
  return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

// Blocks a value of size bytes occupies: 1 for an empty value.
inline uint32_t BlocksForSize(uint32_t blockSize, uint32_t size) {
  uint32_t data = blockSize - kBlockHeaderBytes;
  return size == 0 ? 1 : static_cast<uint32_t>((uint64_t{size} + data - 1) / data);
}

// The file header: 0 block size, 4 first deleted block (0 = none), 8..31
// zero.
struct FBL_BLOBFileHeader {
  uint32_t mBlockSize = 0;
  uint32_t mFirstDeleted = 0;

  void Encode(uint8_t out[kFileHeaderBytes], bool bigEndian) const;
  static FBL_BLOBFileHeader Decode(const uint8_t in[kFileHeaderBytes], bool bigEndian);
};

// The block header: 0 mNextBlock (0 = last), 4 mFirstBlock in a live block
// or mPrevBlock in a deleted one (0 for the head), 8 mIndex (1-based place
// in the value's chain, 0 = deleted), 12 mBytesInBlock, 16 the value's total
// size (first block only), 20 the value's tag kept for the owning column
// (first block only), 24..31 zero.
struct FBL_BLOBBlockHeader {
  uint32_t mNextBlock = 0;
  uint32_t mFirstBlock = 0;  // mPrevBlock in a deleted block
  uint32_t mIndex = 0;
  uint32_t mBytesInBlock = 0;
  uint32_t mTotalSize = 0;
  uint32_t mTag = 0;

  uint32_t PrevBlock() const { return mFirstBlock; }
  void SetPrevBlock(uint32_t block) { mFirstBlock = block; }
  bool IsDeleted() const { return mIndex == 0; }

  void Encode(uint8_t out[kBlockHeaderBytes], bool bigEndian) const;
  static FBL_BLOBBlockHeader Decode(const uint8_t in[kBlockHeaderBytes], bool bigEndian);
};

// The older file's header, in the machine's byte order.
struct FBL_OldBLOBFileHeader {
  uint32_t mBlockSize = 0;
  uint32_t mFirstDeleted = 0;

  static FBL_OldBLOBFileHeader Decode(const uint8_t in[kOldHeaderBytes]);
};

// The link that begins a block of the older file.
uint32_t DecodeOldLink(const uint8_t in[kOldLinkBytes]);

}  // namespace zblob
