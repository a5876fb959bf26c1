#include "kernel/storage/page_cache.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "kernel/storage/file.h"
#include "platform/errors.h"

namespace {

uint64_t RoundUp(uint64_t n, uint64_t unit) {
  return (n + unit - 1) / unit * unit;
}

[[noreturn]] void ThrowNoBlock() {
  throw xFBL_Exception(ERR_ASSERTION_NULL, "No cache block");
}

}  // namespace

// Keeps a block in place (not moved, not freed) while in scope.
class FBL_Cache::Pin {
 public:
  Pin(FBL_Cache& cache, FBL_BlockHandle h) : mCache(cache), mHandle(h) { ++mCache.B(h).mPins; }
  ~Pin() { --mCache.B(mHandle).mPins; }
  Pin(const Pin&) = delete;
  Pin& operator=(const Pin&) = delete;

 private:
  FBL_Cache& mCache;
  FBL_BlockHandle mHandle;
};

FBL_Cache::FBL_Cache(uint64_t arenaBytes)
    : mArenaSize(arenaBytes), mHandleCount((arenaBytes + 1) / kSlotBytes) {
  // Left uninitialised on purpose: a large cache costs nothing until used.
  mArena.reset(new (std::nothrow) uint8_t[arenaBytes]);
  if (!mArena) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
}

FBL_Cache::~FBL_Cache() {
  for (FBL_File* file : mFiles) {
    file->mCache = nullptr;
    file->mFirstBlock = file->mLastBlock = file->mCurrentBlock = kNoBlock;
    file->mBlockCount = 0;
  }
}

void FBL_Cache::CheckHandle(FBL_BlockHandle h) const {
  if (h < 0 || static_cast<size_t>(h) >= mBlocks.size() || B(h).mSize == 0 || B(h).mFree)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Bad cache block handle");
}

void FBL_Cache::CheckOwner(const FBL_File& file) const {
  if (file.mCache != this) throw xFBL_Exception(ERR_ASSERTION_FAIL, "File of another cache");
}

uint64_t FBL_Cache::ArenaEnd() const {
  return mLast == kNoBlock ? 0 : B(mLast).mStart + B(mLast).mSize;
}

FBL_BlockHandle FBL_Cache::NewDescriptor() {
  FBL_BlockHandle h;
  if (!mSpareDescriptors.empty()) {
    h = mSpareDescriptors.back();
    mSpareDescriptors.pop_back();
  } else {
    mBlocks.emplace_back();
    h = static_cast<FBL_BlockHandle>(mBlocks.size() - 1);
  }
  B(h) = Block{};
  return h;
}

void FBL_Cache::ReleaseDescriptor(FBL_BlockHandle h) {
  B(h) = Block{};
  mSpareDescriptors.push_back(h);
}

// ---- lists -----------------------------------------------------------------

void FBL_Cache::FreeListInsert(FBL_BlockHandle h) {
  mFreeBySize.emplace(B(h).mSize, h);
  ++mFreeBlocks;
}

void FBL_Cache::FreeListRemove(FBL_BlockHandle h) {
  mFreeBySize.erase({B(h).mSize, h});
  --mFreeBlocks;
}

FBL_BlockHandle FBL_Cache::LargestFree() const {
  return mFreeBySize.empty() ? kNoBlock : mFreeBySize.rbegin()->second;
}

void FBL_Cache::RecencyPushFront(FBL_BlockHandle h) {
  B(h).mListPrev = kNoBlock;
  B(h).mListNext = mMostRecent;
  (mMostRecent == kNoBlock ? mLeastRecent : B(mMostRecent).mListPrev) = h;
  mMostRecent = h;
}

void FBL_Cache::RecencyRemove(FBL_BlockHandle h) {
  Block& b = B(h);
  (b.mListPrev == kNoBlock ? mMostRecent : B(b.mListPrev).mListNext) = b.mListNext;
  (b.mListNext == kNoBlock ? mLeastRecent : B(b.mListNext).mListPrev) = b.mListPrev;
  b.mListNext = b.mListPrev = kNoBlock;
}

// A block moved to the front within the last eighth of the cache's
// turnover stays where it is: it is far from eviction, and relinking costs
// two more scattered descriptors on every hit.
void FBL_Cache::Touch(FBL_BlockHandle h) {
  Block& b = B(h);
  if (mTouchClock - b.mTouched <= mUsedBlocks / 8) return;
  b.mTouched = ++mTouchClock;
  if (mMostRecent == h) return;
  RecencyRemove(h);
  RecencyPushFront(h);
}

void FBL_Cache::FileLink(FBL_File& file, FBL_BlockHandle h) {
  B(h).mFilePrev = file.mLastBlock;
  B(h).mFileNext = kNoBlock;
  (file.mLastBlock == kNoBlock ? file.mFirstBlock : B(file.mLastBlock).mFileNext) = h;
  file.mLastBlock = h;
  for (uint64_t u = B(h).mOffset / kUnit, end = u + B(h).mCapacity / kUnit; u < end; ++u)
    mUnits.Insert(&file, u, h);
  ++file.mBlockCount;
}

void FBL_Cache::FileUnlink(FBL_BlockHandle h) {
  Block& b = B(h);
  FBL_File& file = *b.mFile;
  (b.mFilePrev == kNoBlock ? file.mFirstBlock : B(b.mFilePrev).mFileNext) = b.mFileNext;
  (b.mFileNext == kNoBlock ? file.mLastBlock : B(b.mFileNext).mFilePrev) = b.mFilePrev;
  if (file.mCurrentBlock == h) file.mCurrentBlock = kNoBlock;
  for (uint64_t u = b.mOffset / kUnit, end = u + b.mCapacity / kUnit; u < end; ++u)
    mUnits.Erase(&file, u);
  --file.mBlockCount;
  b.mFileNext = b.mFilePrev = kNoBlock;
}

void FBL_Cache::ArenaLinkAfter(FBL_BlockHandle h, FBL_BlockHandle after) {
  FBL_BlockHandle before = after == kNoBlock ? mFirst : B(after).mNext;
  B(h).mPrev = after;
  B(h).mNext = before;
  (after == kNoBlock ? mFirst : B(after).mNext) = h;
  (before == kNoBlock ? mLast : B(before).mPrev) = h;
}

void FBL_Cache::ArenaUnlink(FBL_BlockHandle h) {
  Block& b = B(h);
  (b.mPrev == kNoBlock ? mFirst : B(b.mPrev).mNext) = b.mNext;
  (b.mNext == kNoBlock ? mLast : B(b.mNext).mPrev) = b.mPrev;
  b.mNext = b.mPrev = kNoBlock;
}

// ---- arena space -----------------------------------------------------------

FBL_BlockHandle FBL_Cache::TakeFromFreeList(uint64_t bytes) {
  // An exact fit, or the smallest run whose rest is still a usable block.
  auto it = mFreeBySize.lower_bound({bytes, 0});
  if (it != mFreeBySize.end() && it->first != bytes)
    it = mFreeBySize.lower_bound({bytes + kSlotBytes, 0});
  if (it == mFreeBySize.end()) return kNoBlock;
  FBL_BlockHandle h = it->second;
  FreeListRemove(h);
  if (B(h).mSize > bytes) {
    FBL_BlockHandle rest = NewDescriptor();
    B(rest).mFree = true;
    B(rest).mStart = B(h).mStart + bytes;
    B(rest).mSize = B(h).mSize - bytes;
    ArenaLinkAfter(rest, h);
    B(h).mSize = bytes;
    FreeListInsert(rest);
  }
  B(h).mFree = false;
  return h;
}

FBL_BlockHandle FBL_Cache::TakeSpace(uint64_t bytes) {
  if (FreeSpace() < bytes) ThrowNoBlock();
  FBL_BlockHandle h = TakeFromFreeList(bytes);
  if (h == kNoBlock && mArenaSize - ArenaEnd() < bytes) {
    if (!GatherRun(bytes)) Compact();
    h = TakeFromFreeList(bytes);
  }
  if (h == kNoBlock) {
    if (mArenaSize - ArenaEnd() < bytes) ThrowNoBlock();
    h = NewDescriptor();
    B(h).mStart = ArenaEnd();
    B(h).mSize = bytes;
    ArenaLinkAfter(h, mLast);
  }
  // A used block keeps only its place in the arena from the free run.
  Block& b = B(h);
  b = Block{bytes, false, b.mStart, b.mNext, b.mPrev};
  mBytesInUse += bytes;
  return h;
}

void FBL_Cache::ReleaseSpace(FBL_BlockHandle h) {
  mBytesInUse -= B(h).mSize;
  if (h == mLast) {
    FBL_BlockHandle prev = B(h).mPrev;
    ArenaUnlink(h);
    ReleaseDescriptor(h);
    if (prev != kNoBlock && B(prev).mFree) {  // the arena end moves over it too
      FreeListRemove(prev);
      ArenaUnlink(prev);
      ReleaseDescriptor(prev);
    }
    return;
  }
  Block& b = B(h);
  b.mFree = true;
  b.mLocker = nullptr;
  b.mFile = nullptr;
  b.mDirty = false;
  FBL_BlockHandle next = B(h).mNext;
  if (next != kNoBlock && B(next).mFree) {
    FreeListRemove(next);
    B(h).mSize += B(next).mSize;
    ArenaUnlink(next);
    ReleaseDescriptor(next);
  }
  FBL_BlockHandle prev = B(h).mPrev;
  if (prev != kNoBlock && B(prev).mFree) {
    FreeListRemove(prev);
    B(prev).mSize += B(h).mSize;
    ArenaUnlink(h);
    ReleaseDescriptor(h);
    h = prev;
  }
  FreeListInsert(h);
}

// Makes one free run that holds bytes by sliding the blocks after one of
// the largest runs down over it, so that it joins the next run (or the
// arena's free end). Even a long stretch moves less than a compaction of
// the whole arena; false when pinned blocks are in the way or the slides
// of one call reach twice the arena.
bool FBL_Cache::GatherRun(uint64_t bytes) {
  uint64_t budget = 2 * mArenaSize;
  // Runs tried per step, largest first: the largest may be followed by a
  // long or pinned stretch while a slightly smaller one is not.
  constexpr int kCandidates = 8;
  for (int steps = 0; steps < 64; ++steps) {
    const FBL_BlockHandle largest = LargestFree();
    if (largest == kNoBlock) return false;
    if (B(largest).mSize == bytes || B(largest).mSize >= bytes + kSlotBytes) return true;
    FBL_BlockHandle run = kNoBlock, first = kNoBlock, after = kNoBlock;
    uint64_t span = 0;
    int tried = 0;
    for (auto it = mFreeBySize.rbegin(); it != mFreeBySize.rend() && tried < kCandidates;
         ++it, ++tried) {
      FBL_BlockHandle h = B(it->second).mNext;
      uint64_t stretch = 0;
      bool movable = h != kNoBlock;
      while (movable && h != kNoBlock && !B(h).mFree) {
        stretch += B(h).mSize;
        movable = B(h).mPins == 0 && stretch <= budget;
        h = B(h).mNext;
      }
      if (!movable || stretch == 0) continue;
      run = it->second;
      first = B(run).mNext;
      after = h;
      span = stretch;
      break;
    }
    if (run == kNoBlock) return false;
    budget -= span;
    const uint64_t gap = B(run).mSize;
    const uint64_t to = B(run).mStart;
    std::memmove(mArena.get() + to, mArena.get() + B(first).mStart, span);
    FreeListRemove(run);
    ArenaUnlink(run);
    ReleaseDescriptor(run);
    for (FBL_BlockHandle h = first; h != after; h = B(h).mNext) {
      B(h).mStart -= gap;
      if (B(h).mLocker != nullptr) B(h).mLocker->BlockNotify(kBlockMoved, h);
    }
    // The gap now lies before `after`: it joins that run, or the free end.
    if (after != kNoBlock) {
      FreeListRemove(after);
      B(after).mStart -= gap;
      B(after).mSize += gap;
      FreeListInsert(after);
    } else if (mArenaSize - ArenaEnd() >= bytes) {
      return true;
    }
  }
  return false;
}

void FBL_Cache::Compact() {
  uint64_t cursor = 0;
  FBL_BlockHandle h = mFirst;
  while (h != kNoBlock) {
    FBL_BlockHandle next = B(h).mNext;
    if (B(h).mFree) {
      FreeListRemove(h);
      ArenaUnlink(h);
      ReleaseDescriptor(h);
    } else if (B(h).mPins > 0) {
      // Someone holds a pointer into it: leave it where it is.
      if (B(h).mStart > cursor) {
        FBL_BlockHandle gap = NewDescriptor();
        B(gap).mFree = true;
        B(gap).mStart = cursor;
        B(gap).mSize = B(h).mStart - cursor;
        ArenaLinkAfter(gap, B(h).mPrev);
        FreeListInsert(gap);
      }
      cursor = B(h).mStart + B(h).mSize;
    } else {
      if (B(h).mStart != cursor) {
        std::memmove(mArena.get() + cursor, mArena.get() + B(h).mStart, B(h).mSize);
        B(h).mStart = cursor;
        if (B(h).mLocker != nullptr) B(h).mLocker->BlockNotify(kBlockMoved, h);
      }
      cursor += B(h).mSize;
    }
    h = next;
  }
}

// Frees least recently used blocks until bytes (and the margin) fit.
void FBL_Cache::MakeRoom(uint64_t bytes) {
  // Beyond the space itself, a few more of the oldest blocks may go to
  // leave one run of the size wanted: compacting a full arena moves all of
  // it, which costs far more than reading a few pages again.
  constexpr int kExtraVictims = 16;
  int extra = 0;
  auto hasRun = [&] {
    return mArenaSize - ArenaEnd() >= bytes ||
           (!mFreeBySize.empty() && mFreeBySize.rbegin()->first >= bytes + kSlotBytes);
  };
  for (;;) {
    const bool enough = FreeSpace() >= bytes + kMargin;
    if (enough && hasRun()) return;
    if (enough && extra++ >= kExtraVictims) return;
    FBL_BlockHandle victim = mLeastRecent;
    while (victim != kNoBlock && (B(victim).mLocker != nullptr || B(victim).mPins > 0))
      victim = B(victim).mListPrev;
    if (victim == kNoBlock) {
      if (enough) return;
      // Every block is locked: give up the oldest one anyway, and gather
      // writes into smaller blocks from now on.
      victim = mLeastRecent;
      while (victim != kNoBlock && B(victim).mPins > 0) victim = B(victim).mListPrev;
      if (victim == kNoBlock) {
        if (FreeSpace() >= bytes) return;
        ThrowNoBlock();
      }
      if (mWriteBlockSize > kUnit) mWriteBlockSize = ((mWriteBlockSize / kUnit + 1) / 2) * kUnit;
    }
    FreeBlock(victim);
  }
}

// ---- blocks ----------------------------------------------------------------

uint8_t* FBL_Cache::Data(FBL_BlockHandle block) {
  CheckHandle(block);
  return mArena.get() + B(block).mStart + kHeaderBytes;
}
uint64_t FBL_Cache::GetBlockOffset(FBL_BlockHandle block) const {
  CheckHandle(block);
  return B(block).mOffset;
}
uint32_t FBL_Cache::GetBlockCapacity(FBL_BlockHandle block) const {
  CheckHandle(block);
  return B(block).mCapacity;
}
uint32_t FBL_Cache::GetBlockValid(FBL_BlockHandle block) const {
  CheckHandle(block);
  return B(block).mValid;
}
bool FBL_Cache::IsBlockDirty(FBL_BlockHandle block) const {
  CheckHandle(block);
  return B(block).mDirty;
}
FBL_BlockLocker* FBL_Cache::GetBlockLocker(FBL_BlockHandle block) const {
  CheckHandle(block);
  return B(block).mLocker;
}
void FBL_Cache::LockBlock(FBL_BlockHandle block, FBL_BlockLocker* locker) {
  CheckHandle(block);
  // A second owner would never hear of moves or drops.
  if (B(block).mLocker != nullptr && B(block).mLocker != locker)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Cache block locked by another owner");
  B(block).mLocker = locker;
}
void FBL_Cache::UnlockBlock(FBL_BlockHandle block) {
  CheckHandle(block);
  B(block).mLocker = nullptr;
}

void FBL_Cache::MarkDirty(FBL_BlockHandle block, uint32_t from, uint32_t to) {
  CheckHandle(block);
  Block& b = B(block);
  if (from > to || to > b.mCapacity) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Bad dirty range");
  // Zeros between the old valid end and the write belong to the file now.
  b.mDirtyStart = std::min(b.mDirtyStart, std::min(from, b.mValid));
  b.mDirtyEnd = std::max(b.mDirtyEnd, to);
  b.mValid = std::max(b.mValid, to);
  b.mDirty = true;
}

FBL_BlockHandle FBL_Cache::FindBlock(FBL_File& file, uint64_t offset) {
  FBL_BlockHandle h = file.mCurrentBlock;
  if (h != kNoBlock && offset >= B(h).mOffset && offset - B(h).mOffset < B(h).mCapacity) return h;
  return mUnits.Find(&file, offset / kUnit);
}

// The file's block with the lowest offset in [from, to), or kNoBlock. Probes
// the units of the range, or walks the file's blocks when they are fewer.
FBL_BlockHandle FBL_Cache::FirstBlockFrom(const FBL_File& file, uint64_t from, uint64_t to) const {
  if (to <= from) return kNoBlock;
  const uint64_t firstUnit = (from + kUnit - 1) / kUnit, endUnit = (to + kUnit - 1) / kUnit;
  if (endUnit - firstUnit <= std::max<uint64_t>(file.mBlockCount, 16)) {
    for (uint64_t u = firstUnit; u < endUnit; ++u) {
      const FBL_BlockHandle h = mUnits.Find(&file, u);
      if (h != kNoBlock && B(h).mOffset >= from) return h;
    }
    return kNoBlock;
  }
  FBL_BlockHandle best = kNoBlock;
  for (FBL_BlockHandle h = file.mFirstBlock; h != kNoBlock; h = B(h).mFileNext) {
    const uint64_t at = B(h).mOffset;
    if (at >= from && at < to && (best == kNoBlock || at < B(best).mOffset)) best = h;
  }
  return best;
}

uint64_t FBL_Cache::ChooseSize(FBL_File& file, uint64_t offset, uint64_t size, bool forWrite) {
  uint64_t bulkStart = 0, bulkEnd = 0, budget = 0;
  file.GetCacheSettings(bulkStart, bulkEnd, budget);
  if (offset >= bulkStart && offset < bulkEnd) {
    size = std::min(bulkEnd - offset, std::max<uint64_t>(budget, kUnit));
  } else if (forWrite && !file.mWriteThrough && offset >= kUnit) {
    size = std::max<uint64_t>(size, mWriteBlockSize);
  }
  int32_t limit = file.GetCachePageLimit(offset);
  if (limit > 0) size = std::min<uint64_t>(size, static_cast<uint64_t>(limit));
  return size;
}

FBL_BlockHandle FBL_Cache::GetBlock(FBL_File& file, uint64_t offset, uint64_t size, bool forWrite) {
  CheckOwner(file);
  FBL_BlockHandle h = FindBlock(file, offset);
  if (h != kNoBlock) {
    Touch(h);
    file.mCurrentBlock = h;
    return h;
  }
  return CreateBlock(file, offset, ChooseSize(file, offset, size, forWrite), false);
}

FBL_BlockHandle FBL_Cache::CreateBlock(FBL_File& file, uint64_t offset, uint64_t size, bool exact) {
  uint64_t start = offset / kUnit * kUnit;
  uint64_t capacity;
  if (exact) {
    capacity = size;
  } else {
    size = std::min<uint64_t>(size, std::llround(static_cast<double>(mArenaSize) * 0.1));
    capacity = RoundUp(std::max<uint64_t>(size, 1) + offset - start, kUnit);
    // Blocks of a file never overlap.
    FBL_BlockHandle next = FirstBlockFrom(file, start + 1, start + capacity);
    if (next != kNoBlock) capacity = std::min(capacity, B(next).mOffset - start);
  }
  if (capacity == 0 || capacity > UINT32_MAX - kUnit || capacity + kHeaderBytes > mArenaSize)
    ThrowNoBlock();
  MakeRoom(capacity + kHeaderBytes);
  FBL_BlockHandle h = TakeSpace(capacity + kHeaderBytes);
  Block& b = B(h);
  b.mFile = &file;
  b.mOffset = start;
  b.mCapacity = static_cast<uint32_t>(capacity);
  b.mDirtyStart = b.mCapacity;
  ++mUsedBlocks;
  FileLink(file, h);
  RecencyPushFront(h);
  b.mTouched = ++mTouchClock;
  file.mCurrentBlock = h;
  try {
    LoadBlock(h);
  } catch (...) {
    Discard(h);
    throw;
  }
  return h;
}

void FBL_Cache::LoadBlock(FBL_BlockHandle h) {
  Pin pin(*this, h);
  FBL_File& file = *B(h).mFile;
  uint64_t length = file.GetLength();
  uint64_t offset = B(h).mOffset;
  uint64_t capacity = B(h).mCapacity;
  uint64_t want = length > offset ? std::min(capacity, length - offset) : 0;
  uint8_t* data = Data(h);
  uint64_t got = want == 0 ? 0 : std::min(want, file.ReadAt(data, offset, want));
  std::memset(data + got, 0, capacity - got);
  if (file.mDecryptor && got > 0) file.mDecryptor->Process(data, RoundUp(got, kUnit));
  // Bytes the file has but the disk not yet (a hole) read as zeros.
  B(h).mValid = static_cast<uint32_t>(want);
}

void FBL_Cache::Discard(FBL_BlockHandle h) {
  FileUnlink(h);
  RecencyRemove(h);
  --mUsedBlocks;
  ReleaseSpace(h);
}

void FBL_Cache::FreeBlock(FBL_BlockHandle block) {
  CheckHandle(block);
  if (B(block).mPins > 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Freeing a busy cache block");
  WriteBack(block);
  if (FBL_BlockLocker* locker = B(block).mLocker) {
    B(block).mLocker = nullptr;
    locker->BlockNotify(kBlockDropped, block);
  }
  Discard(block);
}

void FBL_Cache::WriteBack(FBL_BlockHandle block) {
  CheckHandle(block);
  if (!B(block).mDirty) return;
  Pin pin(*this, block);
  if (B(block).mLocker != nullptr) B(block).mLocker->BlockNotify(kBlockWriting, block);
  FBL_File& file = *B(block).mFile;
  // Marked clean before the transfer: a write that re-enters the cache and
  // changes this block again while it is being written makes it dirty anew.
  uint32_t from = B(block).mDirtyStart;
  uint32_t to = B(block).mDirtyEnd;
  B(block).mDirty = false;
  B(block).mDirtyStart = B(block).mCapacity;
  B(block).mDirtyEnd = 0;
  try {
    file.Open();
    try {
      WriteRange(file, block, from, to);
    } catch (...) {
      try {
        file.Close();
      } catch (...) {
      }
      throw;
    }
    file.Close();
  } catch (...) {
    Block& b = B(block);
    b.mDirty = true;
    b.mDirtyStart = std::min(b.mDirtyStart, from);
    b.mDirtyEnd = std::max(b.mDirtyEnd, to);
    throw;
  }
}

void FBL_Cache::WriteRange(FBL_File& file, FBL_BlockHandle block, uint32_t from, uint32_t to) {
  uint64_t offset = B(block).mOffset;
  uint8_t* data = Data(block);
  if (!file.mEncryptor) {
    file.WriteAt(data + from, offset + from, to - from);
    return;
  }
  uint8_t unit[kUnit];
  for (uint64_t at = from / kUnit * kUnit; at < to; at += kUnit) {
    std::memcpy(unit, data + at, kUnit);
    file.mEncryptor->Process(unit, kUnit);
    file.WriteAt(unit, offset + at, kUnit);
  }
}

FBL_BlockHandle FBL_Cache::GetExactBlock(FBL_File& file, uint64_t offset, uint32_t size) {
  CheckOwner(file);
  if (size == 0 || size % kUnit != 0 || offset % kUnit != 0)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Unaligned exact block");
  FBL_BlockHandle h = FindBlock(file, offset);
  if (h != kNoBlock && B(h).mOffset == offset && B(h).mCapacity == size) {
    Touch(h);
    file.mCurrentBlock = h;
    return h;
  }
  // Write back and drop whatever overlaps, then load the exact range.
  for (;;) {
    FBL_BlockHandle overlap = FindBlock(file, offset);
    if (overlap == kNoBlock) {
      overlap = FirstBlockFrom(file, offset, offset + size);
      if (overlap == kNoBlock) break;
    }
    FreeBlock(overlap);
  }
  return CreateBlock(file, offset, size, true);
}

// ---- whole files -----------------------------------------------------------

uint64_t FBL_Cache::Read(FBL_File& file, uint64_t offset, void* buffer, uint64_t count) {
  CheckOwner(file);
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    uint64_t at = offset + done;
    uint64_t gap = DirectGap(file, at, count - done, !!file.mDecryptor);
    if (gap > 0) {
      uint64_t n = ReadDirect(file, at, out + done, gap);
      done += n;
      if (n < gap) break;
      continue;
    }
    FBL_BlockHandle h = GetBlock(file, at, count - done, false);
    uint64_t within = at - B(h).mOffset;
    if (within >= B(h).mValid) {
      // The file grew past this block elsewhere: the bytes between are a
      // hole, zeros here as on disk.
      uint64_t length = file.GetLength();
      if (at >= length) break;
      B(h).mValid =
          static_cast<uint32_t>(std::min<uint64_t>(B(h).mCapacity, length - B(h).mOffset));
    }
    uint64_t n = std::min<uint64_t>(count - done, B(h).mValid - within);
    std::memcpy(out + done, Data(h) + within, n);
    done += n;
  }
  return done;
}

// Bytes from offset that may move around the cache: a run of at least
// kDirectBytes that no cached block of the file touches, outside the bulk
// range, for a file without a cipher. 0 when the cache must be used.
uint64_t FBL_Cache::DirectGap(FBL_File& file, uint64_t offset, uint64_t count, bool ciphered) {
  if (count < kDirectBytes || ciphered || file.mWriteThrough) return 0;
  if (offset < file.mBulkEnd && offset + count > file.mBulkStart) return 0;
  if (FindBlock(file, offset) != kNoBlock) return 0;
  FBL_BlockHandle next = FirstBlockFrom(file, offset, offset + count);
  uint64_t gap = next == kNoBlock ? count : std::min(count, B(next).mOffset - offset);
  return gap >= kDirectBytes ? gap : 0;
}

uint64_t FBL_Cache::ReadDirect(FBL_File& file, uint64_t offset, uint8_t* out, uint64_t count) {
  uint64_t length = file.GetLength();
  if (offset >= length) return 0;
  count = std::min(count, length - offset);
  uint64_t got = file.ReadAt(out, offset, count);
  // What the disk does not have yet is a hole: zeros.
  std::memset(out + got, 0, count - got);
  return count;
}

uint64_t FBL_Cache::Write(FBL_File& file, uint64_t offset, const void* buffer, uint64_t count) {
  CheckOwner(file);
  const auto* in = static_cast<const uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    uint64_t at = offset + done;
    uint64_t gap = DirectGap(file, at, count - done, !!file.mEncryptor);
    if (gap > 0) {  // large enough to gain nothing from gathering
      file.Open();
      try {
        file.WriteAt(in + done, at, gap);
      } catch (...) {
        try {
          file.Close();
        } catch (...) {
        }
        throw;
      }
      file.Close();
      done += gap;
      continue;
    }
    FBL_BlockHandle h = GetBlock(file, at, count - done, true);
    uint64_t within = at - B(h).mOffset;
    uint64_t n = std::min<uint64_t>(count - done, B(h).mCapacity - within);
    std::memcpy(Data(h) + within, in + done, n);
    MarkDirty(h, static_cast<uint32_t>(within), static_cast<uint32_t>(within + n));
    done += n;
    if (file.mWriteThrough) WriteBack(h);
  }
  return done;
}

void FBL_Cache::FlushFile(FBL_File& file, uint64_t from, uint64_t to) {
  CheckOwner(file);
  std::vector<FBL_BlockHandle> dirty;
  for (FBL_BlockHandle h = file.mFirstBlock; h != kNoBlock; h = B(h).mFileNext) {
    if (B(h).mDirty && B(h).mOffset < to && B(h).mOffset + B(h).mCapacity > from)
      dirty.push_back(h);
  }
  // In offset order: the file grows by appends, not by holes.
  std::sort(dirty.begin(), dirty.end(),
            [this](FBL_BlockHandle a, FBL_BlockHandle b) { return B(a).mOffset < B(b).mOffset; });
  // A write-back may re-enter the cache and evict: recheck each block.
  for (FBL_BlockHandle h : dirty) {
    if (B(h).mSize != 0 && !B(h).mFree && B(h).mFile == &file) WriteBack(h);
  }
}

bool FBL_Cache::HasDirtyBlocks(const FBL_File& file) const {
  for (FBL_BlockHandle h = file.mFirstBlock; h != kNoBlock; h = B(h).mFileNext) {
    if (B(h).mDirty) return true;
  }
  return false;
}

void FBL_Cache::FlushAll() {
  std::vector<FBL_BlockHandle> dirty;
  for (FBL_BlockHandle h = mMostRecent; h != kNoBlock; h = B(h).mListNext) {
    if (B(h).mDirty) dirty.push_back(h);
  }
  for (FBL_BlockHandle h : dirty) {
    if (B(h).mSize != 0 && !B(h).mFree) WriteBack(h);
  }
}

// Frees a block without writing it.
void FBL_Cache::DropOne(FBL_BlockHandle h) {
  if (B(h).mPins > 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Dropping a busy cache block");
  B(h).mDirty = false;
  if (FBL_BlockLocker* locker = B(h).mLocker) {
    B(h).mLocker = nullptr;
    locker->BlockNotify(kBlockDropped, h);
  }
  Discard(h);
}

void FBL_Cache::DropFile(FBL_File& file, uint64_t from) {
  CheckOwner(file);
  FBL_BlockHandle h = file.mFirstBlock;
  while (h != kNoBlock) {
    FBL_BlockHandle next = B(h).mFileNext;
    if (B(h).mOffset + B(h).mCapacity > from) DropOne(h);
    h = next;
  }
}

void FBL_Cache::TruncateFile(FBL_File& file, uint64_t length) {
  CheckOwner(file);
  FBL_BlockHandle h = file.mFirstBlock;
  while (h != kNoBlock) {
    FBL_BlockHandle next = B(h).mFileNext;
    Block& b = B(h);
    if (b.mOffset >= length) {
      DropOne(h);
    } else if (b.mOffset + b.mValid > length) {
      // The block across the new end keeps its lower part.
      uint32_t keep = static_cast<uint32_t>(length - b.mOffset);
      std::memset(Data(h) + keep, 0, b.mCapacity - keep);
      b.mValid = keep;
      b.mDirtyEnd = std::min(b.mDirtyEnd, keep);
      if (b.mDirtyStart >= b.mDirtyEnd) {
        b.mDirty = false;
        b.mDirtyStart = b.mCapacity;
        b.mDirtyEnd = 0;
      }
    }
    h = next;
  }
}

std::string FBL_Cache::CheckInvariants() const {
  uint64_t expectStart = 0, used = 0, usedCount = 0, freeCount = 0;
  FBL_BlockHandle prev = kNoBlock;
  for (FBL_BlockHandle h = mFirst; h != kNoBlock; prev = h, h = B(h).mNext) {
    const Block& b = B(h);
    if (b.mPrev != prev) return "arena back link";
    if (b.mStart < expectStart) return "arena overlap";
    if (b.mFree && b.mPins == 0 && b.mStart != expectStart && prev != kNoBlock && B(prev).mFree)
      return "adjacent free blocks";
    expectStart = b.mStart + b.mSize;
    if (b.mFree) {
      ++freeCount;
      continue;
    }
    ++usedCount;
    used += b.mSize;
    if (b.mSize != b.mCapacity + kHeaderBytes) return "block size";
    if (b.mValid > b.mCapacity) return "valid beyond capacity";
    if (b.mDirty && (b.mDirtyStart >= b.mDirtyEnd || b.mDirtyEnd > b.mValid)) return "dirty range";
    const uint8_t* data = mArena.get() + b.mStart + kHeaderBytes;
    for (uint32_t i = b.mValid; i < b.mCapacity; ++i)
      if (data[i] != 0) return "bytes beyond valid not zero";
  }
  if (prev != mLast) return "arena last";
  if (mLast != kNoBlock && B(mLast).mFree) return "free block at arena end";
  if (expectStart > mArenaSize) return "arena overrun";
  if (used != mBytesInUse || usedCount != mUsedBlocks) return "bytes in use";
  if (freeCount != mFreeBlocks) return "free count";
  if (mFreeBySize.size() != mFreeBlocks) return "free list size";
  for (const auto& [runSize, h] : mFreeBySize) {
    if (!B(h).mFree || B(h).mSize != runSize) return "free list entry";
  }
  uint64_t units = 0;
  for (FBL_File* file : mFiles) {
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    uint32_t count = 0;
    FBL_BlockHandle prev = kNoBlock;
    for (FBL_BlockHandle h = file->mFirstBlock; h != kNoBlock; prev = h, h = B(h).mFileNext) {
      if (B(h).mFile != file) return "block in the wrong file list";
      if (B(h).mFilePrev != prev) return "file list back link";
      ranges.emplace_back(B(h).mOffset, B(h).mOffset + B(h).mCapacity);
      for (uint64_t u = B(h).mOffset / kUnit; u < (B(h).mOffset + B(h).mCapacity) / kUnit; ++u)
        if (mUnits.Find(file, u) != h) return "block missing by unit";
      units += B(h).mCapacity / kUnit;
      ++count;
    }
    if (count != file->mBlockCount || prev != file->mLastBlock) return "file block count";
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
      if (ranges[i].first < ranges[i - 1].second) return "file blocks overlap";
  }
  if (units != mUnits.Size()) return "unit map size";
  return {};
}
