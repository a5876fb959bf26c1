// Owners of page-cache blocks and the notifications the cache sends them.
#pragma once

#include <cstdint>

// A block in a page cache is reached through its handle, which stays valid
// while the block's memory moves. kNoBlock names no block.
using FBL_BlockHandle = int32_t;
inline constexpr FBL_BlockHandle kNoBlock = -1;

// Codes of FBL_BlockLocker::BlockNotify.
enum : int {
  kBlockMoved = 1,    // compaction moved the block's data: fetch the pointer again
  kBlockDropped = 2,  // the block leaves the cache: forget every pointer into it
  kBlockWriting = 3,  // the block is about to be written: bring it to disk order
};

class FBL_BlockLocker {
 public:
  virtual ~FBL_BlockLocker() = default;
  virtual void BlockNotify(int code, FBL_BlockHandle block) {
    (void)code;
    (void)block;
  }
};
