#include "kernel/storage/cache_arena.h"

#include <cstring>
#include <new>

#include "platform/errors.h"

void FBL_CacheArena::ThrowNoBlock() {
  throw xFBL_Exception(ERR_ASSERTION_NULL, "No cache block");
}

FBL_CacheArena::FBL_CacheArena(uint64_t bytes) : mSize(bytes) {
  // Left uninitialised on purpose: a large cache costs nothing until used.
  mMemory.reset(new (std::nothrow) uint8_t[bytes]);
  if (!mMemory) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
}

uint64_t FBL_CacheArena::End() const {
  const FBL_BlockHandle last = mOrder.Back();
  return last == kNoBlock ? 0 : B(last).mStart + B(last).mSize;
}

bool FBL_CacheArena::HasRun(uint64_t bytes) const {
  return mSize - End() >= bytes ||
         (!mRunsBySize.empty() && mRunsBySize.rbegin()->first >= bytes + kSlotBytes);
}

FBL_BlockHandle FBL_CacheArena::NewDescriptor() {
  FBL_BlockHandle h;
  if (!mSpareDescriptors.empty()) {
    h = mSpareDescriptors.back();
    mSpareDescriptors.pop_back();
  } else {
    mBlocks.emplace_back();
    h = static_cast<FBL_BlockHandle>(mBlocks.size() - 1);
  }
  B(h) = FBL_CacheBlock{};
  return h;
}

void FBL_CacheArena::ReleaseDescriptor(FBL_BlockHandle h) {
  B(h) = FBL_CacheBlock{};
  mSpareDescriptors.push_back(h);
}

void FBL_CacheArena::IndexRun(FBL_BlockHandle h) {
  mRunsBySize.emplace(B(h).mSize, h);
  ++mFreeRuns;
}

void FBL_CacheArena::UnindexRun(FBL_BlockHandle h) {
  mRunsBySize.erase({B(h).mSize, h});
  --mFreeRuns;
}

FBL_BlockHandle FBL_CacheArena::LargestRun() const {
  return mRunsBySize.empty() ? kNoBlock : mRunsBySize.rbegin()->second;
}

FBL_BlockHandle FBL_CacheArena::TakeFromRuns(uint64_t bytes) {
  // An exact fit, or the smallest run whose rest is still a usable block.
  auto it = mRunsBySize.lower_bound({bytes, 0});
  if (it != mRunsBySize.end() && it->first != bytes)
    it = mRunsBySize.lower_bound({bytes + kSlotBytes, 0});
  if (it == mRunsBySize.end()) return kNoBlock;
  FBL_BlockHandle h = it->second;
  UnindexRun(h);
  FBL_CacheBlock& run = B(h);
  if (run.mSize > bytes) {
    FBL_BlockHandle rest = NewDescriptor();
    B(rest).mFree = true;
    B(rest).mStart = run.mStart + bytes;
    B(rest).mSize = run.mSize - bytes;
    mOrder.InsertAfter(*this, rest, h);
    run.mSize = bytes;
    IndexRun(rest);
  }
  run.mFree = false;
  return h;
}

FBL_BlockHandle FBL_CacheArena::Take(uint64_t bytes) {
  if (FreeSpace() < bytes) ThrowNoBlock();
  FBL_BlockHandle h = TakeFromRuns(bytes);
  if (h == kNoBlock && mSize - End() < bytes) {
    if (!GatherRun(bytes)) Compact();
    h = TakeFromRuns(bytes);
  }
  if (h == kNoBlock) {
    if (mSize - End() < bytes) ThrowNoBlock();
    const uint64_t start = End();
    h = NewDescriptor();
    B(h).mStart = start;
    mOrder.PushBack(*this, h);
  }
  // A used block keeps only its place in the arena from the run.
  FBL_CacheBlock& b = B(h);
  const uint64_t start = b.mStart;
  const FBL_BlockLinks place = b.mArenaLinks;
  b = FBL_CacheBlock{};
  b.mSize = bytes;
  b.mStart = start;
  b.mArenaLinks = place;
  mBytesInUse += bytes;
  ++mUsedBlocks;
  return h;
}

void FBL_CacheArena::Release(FBL_BlockHandle h) {
  mBytesInUse -= B(h).mSize;
  --mUsedBlocks;
  if (h == mOrder.Back()) {
    const FBL_BlockHandle prev = FBL_ArenaList::Prev(B(h));
    mOrder.Remove(*this, h);
    ReleaseDescriptor(h);
    if (prev != kNoBlock && B(prev).mFree) {  // the free end moves over it too
      UnindexRun(prev);
      mOrder.Remove(*this, prev);
      ReleaseDescriptor(prev);
    }
    return;
  }
  FBL_CacheBlock& b = B(h);
  b.mFree = true;
  b.mLocker = nullptr;
  b.mFile = nullptr;
  b.mDirty = false;
  const FBL_BlockHandle next = FBL_ArenaList::Next(b);
  if (next != kNoBlock && B(next).mFree) {
    UnindexRun(next);
    b.mSize += B(next).mSize;
    mOrder.Remove(*this, next);
    ReleaseDescriptor(next);
  }
  const FBL_BlockHandle prev = FBL_ArenaList::Prev(B(h));
  if (prev != kNoBlock && B(prev).mFree) {
    UnindexRun(prev);
    B(prev).mSize += B(h).mSize;
    mOrder.Remove(*this, h);
    ReleaseDescriptor(h);
    h = prev;
  }
  IndexRun(h);
}

void FBL_CacheArena::ReleaseMany(const std::vector<FBL_BlockHandle>& handles) {
  for (FBL_BlockHandle h : handles) {
    FBL_CacheBlock& b = B(h);
    mBytesInUse -= b.mSize;
    --mUsedBlocks;
    b.mFree = true;
    b.mLocker = nullptr;
    b.mFile = nullptr;
    b.mDirty = false;
  }
  mRunsBySize.clear();
  mFreeRuns = 0;
  FBL_BlockHandle h = mOrder.Front();
  while (h != kNoBlock) {
    FBL_BlockHandle next = FBL_ArenaList::Next(B(h));
    if (!B(h).mFree) {
      h = next;
      continue;
    }
    while (next != kNoBlock && B(next).mFree) {
      const FBL_BlockHandle after = FBL_ArenaList::Next(B(next));
      B(h).mSize += B(next).mSize;
      mOrder.Remove(*this, next);
      ReleaseDescriptor(next);
      next = after;
    }
    if (next == kNoBlock) {  // the free end takes the last run
      mOrder.Remove(*this, h);
      ReleaseDescriptor(h);
    } else {
      IndexRun(h);
    }
    h = next;
  }
}

void FBL_CacheArena::Clear() {
  mBlocks.clear();
  mSpareDescriptors.clear();
  mOrder.Clear();
  mRunsBySize.clear();
  mBytesInUse = 0;
  mUsedBlocks = 0;
  mFreeRuns = 0;
}

// Makes one free run that holds bytes by sliding the blocks after one of
// the largest runs down over it, so that it joins the next run (or the
// free end). Even a long stretch moves less than a compaction of the
// whole arena; false when pinned blocks are in the way or the slides of
// one call reach twice the arena.
bool FBL_CacheArena::GatherRun(uint64_t bytes) {
  uint64_t budget = 2 * mSize;
  // Runs tried per step, largest first: the largest may be followed by a
  // long or pinned stretch while a slightly smaller one is not.
  constexpr int kCandidates = 8;
  for (int steps = 0; steps < 64; ++steps) {
    const FBL_BlockHandle largest = LargestRun();
    if (largest == kNoBlock) return false;
    if (B(largest).mSize == bytes || B(largest).mSize >= bytes + kSlotBytes) return true;
    FBL_BlockHandle run = kNoBlock, first = kNoBlock, after = kNoBlock;
    uint64_t span = 0;
    int tried = 0;
    for (auto it = mRunsBySize.rbegin(); it != mRunsBySize.rend() && tried < kCandidates;
         ++it, ++tried) {
      FBL_BlockHandle h = FBL_ArenaList::Next(B(it->second));
      uint64_t stretch = 0;
      bool movable = h != kNoBlock;
      while (movable && h != kNoBlock && !B(h).mFree) {
        stretch += B(h).mSize;
        movable = B(h).mPins == 0 && stretch <= budget;
        h = FBL_ArenaList::Next(B(h));
      }
      if (!movable || stretch == 0) continue;
      run = it->second;
      first = FBL_ArenaList::Next(B(run));
      after = h;
      span = stretch;
      break;
    }
    if (run == kNoBlock) return false;
    budget -= span;
    const uint64_t gap = B(run).mSize;
    const uint64_t to = B(run).mStart;
    std::memmove(mMemory.get() + to, mMemory.get() + B(first).mStart, span);
    UnindexRun(run);
    mOrder.Remove(*this, run);
    ReleaseDescriptor(run);
    for (FBL_BlockHandle h = first; h != after; h = FBL_ArenaList::Next(B(h))) {
      B(h).mStart -= gap;
      if (B(h).mLocker != nullptr) B(h).mLocker->BlockNotify(kBlockMoved, h);
    }
    // The gap now lies before `after`: it joins that run, or the free end.
    if (after != kNoBlock) {
      UnindexRun(after);
      B(after).mStart -= gap;
      B(after).mSize += gap;
      IndexRun(after);
    } else if (mSize - End() >= bytes) {
      return true;
    }
  }
  return false;
}

void FBL_CacheArena::Compact() {
  uint64_t cursor = 0;
  FBL_BlockHandle h = mOrder.Front();
  while (h != kNoBlock) {
    FBL_CacheBlock& b = B(h);
    const FBL_BlockHandle next = FBL_ArenaList::Next(b);
    if (b.mFree) {
      UnindexRun(h);
      mOrder.Remove(*this, h);
      ReleaseDescriptor(h);
    } else if (b.mPins > 0) {
      // Someone holds a pointer into it: leave it where it is.
      if (b.mStart > cursor) {
        FBL_BlockHandle gap = NewDescriptor();
        B(gap).mFree = true;
        B(gap).mStart = cursor;
        B(gap).mSize = b.mStart - cursor;
        mOrder.InsertAfter(*this, gap, FBL_ArenaList::Prev(b));
        IndexRun(gap);
      }
      cursor = b.mStart + b.mSize;
    } else {
      if (b.mStart != cursor) {
        std::memmove(mMemory.get() + cursor, mMemory.get() + b.mStart, b.mSize);
        b.mStart = cursor;
        if (b.mLocker != nullptr) b.mLocker->BlockNotify(kBlockMoved, h);
      }
      cursor += b.mSize;
    }
    h = next;
  }
}

std::string FBL_CacheArena::CheckInvariants() const {
  uint64_t expectStart = 0, used = 0, usedCount = 0, runCount = 0;
  FBL_BlockHandle prev = kNoBlock;
  for (FBL_BlockHandle h = mOrder.Front(); h != kNoBlock; prev = h, h = FBL_ArenaList::Next(B(h))) {
    const FBL_CacheBlock& b = B(h);
    if (FBL_ArenaList::Prev(b) != prev) return "arena back link";
    if (b.mStart < expectStart) return "arena overlap";
    if (b.mFree && b.mPins == 0 && b.mStart != expectStart && prev != kNoBlock && B(prev).mFree)
      return "adjacent free blocks";
    expectStart = b.mStart + b.mSize;
    if (b.mFree) {
      ++runCount;
    } else {
      ++usedCount;
      used += b.mSize;
    }
  }
  if (prev != mOrder.Back()) return "arena last";
  if (prev != kNoBlock && B(prev).mFree) return "free block at arena end";
  if (expectStart > mSize) return "arena overrun";
  if (used != mBytesInUse || usedCount != mUsedBlocks) return "bytes in use";
  if (runCount != mFreeRuns) return "free count";
  if (mRunsBySize.size() != mFreeRuns) return "free list size";
  for (const auto& [runSize, h] : mRunsBySize) {
    if (!B(h).mFree || B(h).mSize != runSize) return "free list entry";
  }
  return {};
}
