// FBL_CacheArena: the memory of a page cache, one array of bytes cut into
// stretches that lie end to end in arena order: blocks in use and free runs.
// The part of the arena after the last stretch (the free end) has no
// descriptor. A block is taken from the smallest free run that fits, else
// from the free end; when neither fits, a few blocks slide down to join runs
// (gathering) or, failing that, every movable block does (compaction).
//
// Invariants:
//  - stretches do not overlap and follow each other in arena order;
//  - two free runs are never neighbours, and the last stretch is a block;
//  - every free run is in the size index once;
//  - a pinned block is never moved; a block that moves tells its locker
//    (kBlockMoved).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kernel/storage/cache_block.h"

class FBL_CacheArena {
 public:
  // Arena bytes a block takes before its data.
  static constexpr uint32_t kHeaderBytes = 68;
  // Smallest useful run: one kilobyte of data and its header.
  static constexpr uint32_t kSlotBytes = 1024 + kHeaderBytes;

  // Raises 311 when the memory cannot be had.
  explicit FBL_CacheArena(uint64_t bytes);
  FBL_CacheArena(const FBL_CacheArena&) = delete;
  FBL_CacheArena& operator=(const FBL_CacheArena&) = delete;

  uint64_t Size() const { return mSize; }
  uint64_t BytesInUse() const { return mBytesInUse; }
  uint64_t FreeSpace() const { return mSize - mBytesInUse; }
  uint32_t UsedBlockCount() const { return mUsedBlocks; }
  uint32_t FreeRunCount() const { return mFreeRuns; }
  // True when a block of `bytes` fits at the free end or in a free run that
  // leaves a usable rest, without moving anything.
  bool HasRun(uint64_t bytes) const;

  FBL_CacheBlock& operator[](FBL_BlockHandle h) { return B(h); }
  const FBL_CacheBlock& operator[](FBL_BlockHandle h) const { return B(h); }
  // True for the handle of a block in use.
  bool IsUsed(FBL_BlockHandle h) const {
    return h >= 0 && static_cast<size_t>(h) < mBlocks.size() && B(h).mSize != 0 && !B(h).mFree;
  }
  // The block's data, after its header. Valid until the next Take or Compact.
  uint8_t* Data(FBL_BlockHandle h) { return mMemory.get() + B(h).mStart + kHeaderBytes; }
  const uint8_t* Data(FBL_BlockHandle h) const {
    return mMemory.get() + B(h).mStart + kHeaderBytes;
  }
  // Every stretch, by address.
  const FBL_ArenaList& Order() const { return mOrder; }

  // A block of `bytes` arena bytes (header included) with every field but
  // its place reset. Gathers or compacts when no run fits; raises 308 when
  // the arena has no such space.
  FBL_BlockHandle Take(uint64_t bytes);
  // Gives the block's bytes back; they join neighbouring free runs.
  void Release(FBL_BlockHandle h);
  // Release of many blocks at once: one walk of the arena joins the runs
  // and rebuilds their index, where one Release per block would update
  // the index for each (dropping a large file's thousands of blocks).
  void ReleaseMany(const std::vector<FBL_BlockHandle>& handles);
  // Slides every movable block down over the free space.
  void Compact();
  // Forgets every stretch at once: the whole arena becomes the free end.
  // REQUIRES: no handle is used again.
  void Clear();
  // Calls fn(handle, block) for every block in use, in descriptor order
  // (one pass over memory laid out side by side).
  template <typename Fn>
  void ForEachUsed(Fn fn) {
    for (size_t i = 0; i < mBlocks.size(); ++i) {
      FBL_CacheBlock& b = mBlocks[i];
      if (b.mSize != 0 && !b.mFree) fn(static_cast<FBL_BlockHandle>(i), b);
    }
  }

  // Empty when the arena's invariants hold, else what is wrong.
  std::string CheckInvariants() const;

  [[noreturn]] static void ThrowNoBlock();

 private:
  FBL_CacheBlock& B(FBL_BlockHandle h) { return mBlocks[static_cast<size_t>(h)]; }
  const FBL_CacheBlock& B(FBL_BlockHandle h) const { return mBlocks[static_cast<size_t>(h)]; }
  uint64_t End() const;
  FBL_BlockHandle NewDescriptor();
  void ReleaseDescriptor(FBL_BlockHandle h);
  void IndexRun(FBL_BlockHandle h);
  void UnindexRun(FBL_BlockHandle h);
  FBL_BlockHandle LargestRun() const;
  FBL_BlockHandle TakeFromRuns(uint64_t bytes);
  bool GatherRun(uint64_t bytes);

  std::unique_ptr<uint8_t[]> mMemory;
  uint64_t mSize;
  uint64_t mBytesInUse = 0;
  uint32_t mUsedBlocks = 0;
  uint32_t mFreeRuns = 0;
  // Descriptors in chunks that never move, so references stay valid while
  // the store grows; the chunk index is small enough to stay in the
  // processor's nearest cache (a deque's holds a pointer per four).
  class Descriptors {
   public:
    FBL_CacheBlock& operator[](size_t i) { return mChunks[i >> kShift][i & kMask]; }
    const FBL_CacheBlock& operator[](size_t i) const { return mChunks[i >> kShift][i & kMask]; }
    size_t size() const { return mSize; }
    void emplace_back() {
      if (mSize == mChunks.size() << kShift)
        mChunks.push_back(std::make_unique<FBL_CacheBlock[]>(size_t{1} << kShift));
      (*this)[mSize++] = FBL_CacheBlock{};
    }
    // Keeps the chunks for the next blocks.
    void clear() { mSize = 0; }

   private:
    static constexpr size_t kShift = 10;
    static constexpr size_t kMask = (size_t{1} << kShift) - 1;
    std::vector<std::unique_ptr<FBL_CacheBlock[]>> mChunks;
    size_t mSize = 0;
  };
  Descriptors mBlocks;
  std::vector<FBL_BlockHandle> mSpareDescriptors;
  FBL_ArenaList mOrder;
  // Free runs by size (and handle, to tell equal sizes apart).
  std::set<std::pair<uint64_t, FBL_BlockHandle>> mRunsBySize;
};
