// FBL_Cache: a page cache in one memory arena (FBL_CacheArena). Blocks hold
// a 1 KB-aligned run of one file's bytes; they are reached through handles
// that stay valid while compaction moves their memory. This part finds a
// file's block by offset (the unit map), keeps the recency list and moves
// data between files and blocks; the arena finds the space.
//
// Unlocked blocks are evicted least recently used first; locked blocks
// belong to an FBL_BlockLocker, which is told when its block moves (1), is
// dropped (2) or is about to be written (3).
//
// Invariants:
//  - a file's blocks never overlap; every kilobyte they cover is in the unit
//    map;
//  - the bytes of a block beyond its valid length are zero;
//  - a pinned block (being filled from disk or written back) is neither moved
//    nor freed, so a raw transfer that re-enters the cache is safe.
// Threads: one at a time (the threading model: kernel/storage/sync_objects.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

#include "kernel/storage/block_locker.h"
#include "kernel/storage/block_unit_map.h"
#include "kernel/storage/cache_arena.h"

class FBL_File;

class FBL_Cache {
 public:
  // Arena bytes a block takes beyond its data.
  static constexpr uint32_t kHeaderBytes = FBL_CacheArena::kHeaderBytes;
  // Data is cached in units of this many bytes.
  static constexpr uint32_t kUnit = 1024;
  // Smallest useful arena slot: one unit and its header.
  static constexpr uint32_t kSlotBytes = FBL_CacheArena::kSlotBytes;
  static_assert(kSlotBytes == kUnit + kHeaderBytes);
  // Free space kept beyond a new block.
  static constexpr uint32_t kMargin = 2116;
  static constexpr uint32_t kDefaultWriteBlock = 51200;
  // Reads and writes of at least this many bytes that no cached block
  // touches go straight to the file.
  static constexpr uint32_t kDirectBytes = 65536;

  explicit FBL_Cache(uint64_t arenaBytes);
  // Writes nothing back: StopKernel flushes first. Files still holding
  // blocks are detached and will raise 306 on their next cached access.
  ~FBL_Cache();
  FBL_Cache(const FBL_Cache&) = delete;
  FBL_Cache& operator=(const FBL_Cache&) = delete;

  uint64_t GetSize() const { return mArena.Size(); }
  uint64_t GetBytesInUse() const { return mArena.BytesInUse(); }
  uint32_t GetWriteBlockSize() const { return mWriteBlockSize; }
  void SetWriteBlockSize(uint32_t bytes) { mWriteBlockSize = bytes; }
  uint32_t GetBlockCount() const { return mArena.UsedBlockCount(); }
  uint32_t GetFreeBlockCount() const { return mArena.FreeRunCount(); }
  // Largest number of blocks the arena can hold.
  uint64_t GetHandleCount() const { return mHandleCount; }

  // Copy through the cache; return the bytes copied (a read stops early at
  // the end of the file's data).
  uint64_t Read(FBL_File& file, uint64_t offset, void* buffer, uint64_t count);
  uint64_t Write(FBL_File& file, uint64_t offset, const void* buffer, uint64_t count);
  // Read, but bytes that no block holds are read from the file without
  // making a block (files with a cipher, write-through or in their bulk
  // range read as Read does).
  uint64_t ReadAside(FBL_File& file, uint64_t offset, void* buffer, uint64_t count);

  // The block covering offset, created and loaded when missing; size is the
  // number of bytes the caller wants from offset on.
  FBL_BlockHandle GetBlock(FBL_File& file, uint64_t offset, uint64_t size, bool forWrite);
  // A block covering exactly [offset, offset + size); overlapping blocks are
  // written back and dropped first. REQUIRES: offset and size are multiples
  // of kUnit and size > 0.
  FBL_BlockHandle GetExactBlock(FBL_File& file, uint64_t offset, uint32_t size);

  // Writes back the file's dirty blocks that touch [from, to), in offset
  // order.
  void FlushFile(FBL_File& file, uint64_t from = 0, uint64_t to = UINT64_MAX);
  // True while any block of the file is dirty.
  bool HasDirtyBlocks(const FBL_File& file) const;
  // Writes back every dirty block, most recently used first.
  void FlushAll();
  // Frees the file's blocks at or after offset `from` without writing them.
  void DropFile(FBL_File& file, uint64_t from = 0);
  // The file shrank to length: blocks wholly beyond are dropped, the block
  // across it keeps its lower part.
  void TruncateFile(FBL_File& file, uint64_t length);
  // Writes the block back when dirty, tells its locker (2) and frees it.
  void FreeBlock(FBL_BlockHandle block);
  // Slides every movable block down over the free space.
  void Compact() {
    ReleaseHeld();
    mArena.Compact();
  }

  // While a hold lasts, the blocks of dropped files go back to the arena
  // together when it ends (or when a block must be made): closing a
  // database drops most of the cache, and one walk of the arena costs
  // less than joining free runs block by block. Holds nest.
  void HoldReleases() { ++mHolds; }
  void EndHold();
  // Forgets every block at once when each is clean, unpinned and of a file
  // `closing` accepts, telling lockers (2); else changes nothing and
  // returns false. Closing the only database leaves the cache nothing
  // else: starting empty costs far less than unhooking tens of thousands
  // of blocks one by one.
  bool ForgetAllOf(const std::function<bool(const FBL_File&)>& closing);
  // REQUIRES: the block is unlocked or locked by the same locker (307).
  void LockBlock(FBL_BlockHandle block, FBL_BlockLocker* locker);
  void UnlockBlock(FBL_BlockHandle block);

  // Access to a block. The data pointer is valid until the next cache call
  // that may allocate (then a locker is told with code 1).
  uint8_t* Data(FBL_BlockHandle block);
  uint64_t GetBlockOffset(FBL_BlockHandle block) const;
  uint32_t GetBlockCapacity(FBL_BlockHandle block) const;
  uint32_t GetBlockValid(FBL_BlockHandle block) const;
  bool IsBlockDirty(FBL_BlockHandle block) const;
  FBL_BlockLocker* GetBlockLocker(FBL_BlockHandle block) const;
  // Marks [from, to) of the block (block-relative) as changed and valid.
  void MarkDirty(FBL_BlockHandle block, uint32_t from, uint32_t to);
  // Writes the block back when dirty.
  void WriteBack(FBL_BlockHandle block);

  // Verifies the arena, the lists and every block; returns an empty text
  // when all holds, else what is wrong. For tests and diagnosis.
  std::string CheckInvariants() const;

 private:
  friend class FBL_File;
  class Pin;

  // Files whose cache is this one; detached when the cache goes.
  void Attach(FBL_File* file) { mFiles.insert(file); }
  void Detach(FBL_File* file) { mFiles.erase(file); }
  void CheckHandle(FBL_BlockHandle h) const;
  void CheckOwner(const FBL_File& file) const;

  FBL_CacheBlock& B(FBL_BlockHandle h) { return mArena[h]; }
  const FBL_CacheBlock& B(FBL_BlockHandle h) const { return mArena[h]; }

  FBL_BlockHandle FindBlock(FBL_File& file, uint64_t offset);
  FBL_BlockHandle FirstBlockFrom(const FBL_File& file, uint64_t from, uint64_t to) const;
  uint64_t DirectGap(FBL_File& file, uint64_t offset, uint64_t count, bool ciphered);
  uint64_t ReadDirect(FBL_File& file, uint64_t offset, uint8_t* out, uint64_t count);
  FBL_BlockHandle CreateBlock(FBL_File& file, uint64_t offset, uint64_t size, bool exact);
  uint64_t ChooseSize(FBL_File& file, uint64_t offset, uint64_t size, bool forWrite);
  void LoadBlock(FBL_BlockHandle h);
  void MakeRoom(uint64_t bytes);
  void Discard(FBL_BlockHandle h);
  void WriteRange(FBL_File& file, FBL_BlockHandle block, uint32_t from, uint32_t to);
  void DropOne(FBL_BlockHandle h);
  // DropOne but for giving the bytes back to the arena.
  void Unhook(FBL_BlockHandle h);
  // Gives the blocks of mHeld back to the arena.
  void ReleaseHeld();

  // Every change of a block's dirty flag goes through these two, which
  // keep the file's count of dirty blocks.
  void SetDirty(FBL_BlockHandle h);
  void SetClean(FBL_BlockHandle h);
  void Touch(FBL_BlockHandle h);
  void FileLink(FBL_File& file, FBL_BlockHandle h);
  void FileUnlink(FBL_BlockHandle h);
  std::string CheckFiles() const;

  FBL_CacheArena mArena;
  // Unhooked blocks not yet given back (see HoldReleases).
  uint32_t mHolds = 0;
  std::vector<FBL_BlockHandle> mHeld;
  uint32_t mWriteBlockSize = kDefaultWriteBlock;
  uint64_t mHandleCount;
  FBL_RecencyList mRecency;  // used blocks, most recent first
  uint64_t mTouchClock = 0;
  std::unordered_set<FBL_File*> mFiles;
  // Every cached kilobyte of every file, for FindBlock.
  FBL_BlockUnitMap mUnits;
};

// Keeps a block locked for its owner while in scope.
class FBL_BlockLock {
 public:
  FBL_BlockLock(FBL_Cache& cache, FBL_BlockHandle block, FBL_BlockLocker* locker)
      : mCache(cache), mBlock(block) {
    mCache.LockBlock(block, locker);
  }
  ~FBL_BlockLock() { Release(); }
  FBL_BlockLock(const FBL_BlockLock&) = delete;
  FBL_BlockLock& operator=(const FBL_BlockLock&) = delete;
  FBL_BlockHandle get() const { return mBlock; }
  // Called by the owner when the cache dropped the block (code 2).
  void Forget() { mBlock = kNoBlock; }
  void Release() {
    if (mBlock != kNoBlock) mCache.UnlockBlock(mBlock);
    mBlock = kNoBlock;
  }

 private:
  FBL_Cache& mCache;
  FBL_BlockHandle mBlock;
};
