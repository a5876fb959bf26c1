// FBL_CacheBlock: the descriptor of one stretch of a page cache's arena.
// Used stretches are blocks of one file's bytes; free stretches (runs) have
// descriptors too. A descriptor's handle is its index in the arena's store.
//
// A block sits on three lists: the arena order (every stretch, by address),
// the cache's recency list (used blocks, most recent first) and its file's
// list (the file's blocks, in no order); a dirty block also on its file's
// dirty list, so that flushing a file visits only what it must write.
#pragma once

#include <cstdint>

#include "kernel/storage/block_list.h"

class FBL_File;

struct FBL_CacheBlock {
  // Kept by the arena.
  uint64_t mSize = 0;  // arena bytes, header included; 0 = descriptor unused
  bool mFree = false;
  uint64_t mStart = 0;  // arena offset
  FBL_BlockLinks mArenaLinks;
  // Told when compaction moves the block (and by the cache of drops and
  // write-backs).
  FBL_BlockLocker* mLocker = nullptr;
  // Kept by the cache.
  FBL_BlockLinks mRecencyLinks;  // mNext is older
  FBL_File* mFile = nullptr;
  FBL_BlockLinks mFileLinks;
  FBL_BlockLinks mDirtyLinks;
  bool mDirty = false;
  uint32_t mDirtyStart = 0;  // block-relative; start = capacity, end = 0 when clean
  uint32_t mDirtyEnd = 0;
  uint64_t mOffset = 0;  // file offset of the first data byte, a multiple of 1 KB
  uint32_t mValid = 0;
  uint32_t mCapacity = 0;
  int32_t mPins = 0;      // > 0 while being filled or written back: neither moved nor freed
  uint64_t mTouched = 0;  // the cache's touch clock when last moved to the front
};

using FBL_ArenaList = FBL_BlockList<FBL_CacheBlock, &FBL_CacheBlock::mArenaLinks>;
using FBL_RecencyList = FBL_BlockList<FBL_CacheBlock, &FBL_CacheBlock::mRecencyLinks>;
using FBL_FileBlockList = FBL_BlockList<FBL_CacheBlock, &FBL_CacheBlock::mFileLinks>;
using FBL_DirtyBlockList = FBL_BlockList<FBL_CacheBlock, &FBL_CacheBlock::mDirtyLinks>;
