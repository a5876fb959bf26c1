#include "kernel/storage/page_cache.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "kernel/storage/file.h"
#include "platform/errors.h"

namespace {

uint64_t RoundUp(uint64_t n, uint64_t unit) {
  return (n + unit - 1) / unit * unit;
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
    : mArena(arenaBytes), mHandleCount((arenaBytes + 1) / kSlotBytes) {}

FBL_Cache::~FBL_Cache() {
  for (FBL_File* file : mFiles) {
    file->mCache = nullptr;
    file->mCachedBlocks.Clear();
    file->mCurrentBlock = kNoBlock;
    file->mBlockCount = 0;
    file->mDirtyList.Clear();
    file->mDirtyBlocks = 0;
  }
}

void FBL_Cache::CheckHandle(FBL_BlockHandle h) const {
  if (!mArena.IsUsed(h)) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Bad cache block handle");
}

void FBL_Cache::CheckOwner(const FBL_File& file) const {
  if (file.mCache != this) throw xFBL_Exception(ERR_ASSERTION_FAIL, "File of another cache");
}

// ---- lists -----------------------------------------------------------------

// A block moved to the front within the last eighth of the cache's
// turnover stays where it is: it is far from eviction, and relinking costs
// two more scattered descriptors on every hit.
void FBL_Cache::Touch(FBL_BlockHandle h) {
  FBL_CacheBlock& b = B(h);
  if (mTouchClock - b.mTouched <= mArena.UsedBlockCount() / 8) return;
  b.mTouched = ++mTouchClock;
  if (mRecency.Front() == h) return;
  mRecency.Remove(mArena, h);
  mRecency.PushFront(mArena, h);
}

void FBL_Cache::SetDirty(FBL_BlockHandle h) {
  FBL_CacheBlock& b = B(h);
  if (b.mDirty) return;
  b.mDirty = true;
  b.mFile->mDirtyList.PushBack(mArena, h);
  if (b.mFile->mDirtyBlocks++ == 0) b.mFile->NoteUnflushed();
}

void FBL_Cache::SetClean(FBL_BlockHandle h) {
  FBL_CacheBlock& b = B(h);
  if (!b.mDirty) return;
  b.mDirty = false;
  b.mFile->mDirtyList.Remove(mArena, h);
  --b.mFile->mDirtyBlocks;
}

void FBL_Cache::FileLink(FBL_File& file, FBL_BlockHandle h) {
  file.mCachedBlocks.PushBack(mArena, h);
  for (uint64_t u = B(h).mOffset / kUnit, end = u + B(h).mCapacity / kUnit; u < end; ++u)
    mUnits.Insert(&file, u, h);
  ++file.mBlockCount;
}

void FBL_Cache::FileUnlink(FBL_BlockHandle h) {
  FBL_CacheBlock& b = B(h);
  FBL_File& file = *b.mFile;
  file.mCachedBlocks.Remove(mArena, h);
  if (file.mCurrentBlock == h) file.mCurrentBlock = kNoBlock;
  for (uint64_t u = b.mOffset / kUnit, end = u + b.mCapacity / kUnit; u < end; ++u)
    mUnits.Erase(&file, u);
  --file.mBlockCount;
}

// Frees least recently used blocks until bytes (and the margin) fit.
void FBL_Cache::MakeRoom(uint64_t bytes) {
  // Beyond the space itself, a few more of the oldest blocks may go to
  // leave one run of the size wanted: compacting a full arena moves all of
  // it, which costs far more than reading a few pages again.
  constexpr int kExtraVictims = 16;
  int extra = 0;
  for (;;) {
    const bool enough = mArena.FreeSpace() >= bytes + kMargin;
    if (enough && mArena.HasRun(bytes)) return;
    if (enough && extra++ >= kExtraVictims) return;
    FBL_BlockHandle victim = mRecency.Back();
    // Locked blocks met at the back go to the front: they cannot go, and
    // would be walked past again by every later eviction (a page file's
    // inventory pages stay locked while it is open).
    for (uint32_t left = mArena.UsedBlockCount(); victim != kNoBlock && left > 0; --left) {
      FBL_CacheBlock& b = B(victim);
      if (b.mLocker == nullptr && b.mPins == 0) break;
      const FBL_BlockHandle prev = FBL_RecencyList::Prev(b);
      if (b.mPins == 0 && mRecency.Front() != victim) {
        mRecency.Remove(mArena, victim);
        mRecency.PushFront(mArena, victim);
        b.mTouched = ++mTouchClock;
      }
      victim = prev;
    }
    if (victim != kNoBlock && (B(victim).mLocker != nullptr || B(victim).mPins > 0))
      victim = kNoBlock;
    if (victim == kNoBlock) {
      if (enough) return;
      // Every block is locked: give up the oldest one anyway, and gather
      // writes into smaller blocks from now on.
      victim = mRecency.Back();
      while (victim != kNoBlock && B(victim).mPins > 0) victim = FBL_RecencyList::Prev(B(victim));
      if (victim == kNoBlock) {
        if (mArena.FreeSpace() >= bytes) return;
        FBL_CacheArena::ThrowNoBlock();
      }
      if (mWriteBlockSize > kUnit) mWriteBlockSize = ((mWriteBlockSize / kUnit + 1) / 2) * kUnit;
    }
    FreeBlock(victim);
  }
}

// ---- blocks ----------------------------------------------------------------

uint8_t* FBL_Cache::Data(FBL_BlockHandle block) {
  CheckHandle(block);
  return mArena.Data(block);
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
  FBL_CacheBlock& b = B(block);
  if (from > to || to > b.mCapacity) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Bad dirty range");
  // Zeros between the old valid end and the write belong to the file now.
  b.mDirtyStart = std::min(b.mDirtyStart, std::min(from, b.mValid));
  b.mDirtyEnd = std::max(b.mDirtyEnd, to);
  b.mValid = std::max(b.mValid, to);
  SetDirty(block);
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
  for (FBL_BlockHandle h = file.mCachedBlocks.Front(); h != kNoBlock;
       h = FBL_FileBlockList::Next(B(h))) {
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
    size = std::min<uint64_t>(size, std::llround(static_cast<double>(mArena.Size()) * 0.1));
    capacity = RoundUp(std::max<uint64_t>(size, 1) + offset - start, kUnit);
    // Blocks of a file never overlap.
    FBL_BlockHandle next = FirstBlockFrom(file, start + 1, start + capacity);
    if (next != kNoBlock) capacity = std::min(capacity, B(next).mOffset - start);
  }
  if (capacity == 0 || capacity > UINT32_MAX - kUnit || capacity + kHeaderBytes > mArena.Size())
    FBL_CacheArena::ThrowNoBlock();
  ReleaseHeld();
  MakeRoom(capacity + kHeaderBytes);
  FBL_BlockHandle h = mArena.Take(capacity + kHeaderBytes);
  FBL_CacheBlock& b = B(h);
  b.mFile = &file;
  b.mOffset = start;
  b.mCapacity = static_cast<uint32_t>(capacity);
  b.mDirtyStart = b.mCapacity;
  FileLink(file, h);
  mRecency.PushFront(mArena, h);
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
  SetClean(h);
  FileUnlink(h);
  mRecency.Remove(mArena, h);
  mArena.Release(h);
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
  SetClean(block);
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
    SetDirty(block);
    FBL_CacheBlock& b = B(block);
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

uint64_t FBL_Cache::ReadAside(FBL_File& file, uint64_t offset, void* buffer, uint64_t count) {
  CheckOwner(file);
  const bool cached = count == 0 || file.mDecryptor || file.mWriteThrough ||
                      (offset < file.mBulkEnd && offset + count > file.mBulkStart) ||
                      FindBlock(file, offset) != kNoBlock ||
                      FirstBlockFrom(file, offset + 1, offset + count) != kNoBlock;
  if (cached) return Read(file, offset, buffer, count);
  return ReadDirect(file, offset, static_cast<uint8_t*>(buffer), count);
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
  if (file.mDirtyBlocks == 0) return;
  std::vector<FBL_BlockHandle> dirty;
  for (FBL_BlockHandle h = file.mDirtyList.Front(); h != kNoBlock;
       h = FBL_DirtyBlockList::Next(B(h))) {
    if (B(h).mOffset < to && B(h).mOffset + B(h).mCapacity > from) dirty.push_back(h);
  }
  // In offset order: the file grows by appends, not by holes.
  std::sort(dirty.begin(), dirty.end(),
            [this](FBL_BlockHandle a, FBL_BlockHandle b) { return B(a).mOffset < B(b).mOffset; });
  // A write-back may re-enter the cache and evict: recheck each block.
  for (FBL_BlockHandle h : dirty) {
    if (mArena.IsUsed(h) && B(h).mFile == &file) WriteBack(h);
  }
}

bool FBL_Cache::HasDirtyBlocks(const FBL_File& file) const {
  return file.mDirtyBlocks != 0;
}

void FBL_Cache::FlushAll() {
  // The files count their dirty blocks: a clean cache is not walked.
  bool any = false;
  for (const FBL_File* file : mFiles) any = any || file->mDirtyBlocks != 0;
  if (!any) return;
  std::vector<FBL_BlockHandle> dirty;
  for (FBL_BlockHandle h = mRecency.Front(); h != kNoBlock; h = FBL_RecencyList::Next(B(h))) {
    if (B(h).mDirty) dirty.push_back(h);
  }
  for (FBL_BlockHandle h : dirty) {
    if (mArena.IsUsed(h)) WriteBack(h);
  }
}

// Frees a block without writing it.
void FBL_Cache::Unhook(FBL_BlockHandle h) {
  if (B(h).mPins > 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Dropping a busy cache block");
  SetClean(h);
  if (FBL_BlockLocker* locker = B(h).mLocker) {
    B(h).mLocker = nullptr;
    locker->BlockNotify(kBlockDropped, h);
  }
  SetClean(h);
  FileUnlink(h);
  mRecency.Remove(mArena, h);
}

void FBL_Cache::DropOne(FBL_BlockHandle h) {
  Unhook(h);
  mArena.Release(h);
}

void FBL_Cache::DropFile(FBL_File& file, uint64_t from) {
  CheckOwner(file);
  // Unhooked blocks wait in mHeld even without a hold: thrown out of the
  // loop, they still go back.
  struct Release {
    FBL_Cache& cache;
    ~Release() {
      if (cache.mHolds == 0) cache.ReleaseHeld();
    }
  } release{*this};
  FBL_BlockHandle h = file.mCachedBlocks.Front();
  while (h != kNoBlock) {
    FBL_BlockHandle next = FBL_FileBlockList::Next(B(h));
    if (B(h).mOffset + B(h).mCapacity > from) {
      Unhook(h);
      mHeld.push_back(h);
    }
    h = next;
  }
}

bool FBL_Cache::ForgetAllOf(const std::function<bool(const FBL_File&)>& closing) {
  uint64_t blocks = mHeld.size();
  for (const FBL_File* file : mFiles) {
    if (file->mBlockCount == 0) continue;
    if (file->mDirtyBlocks != 0 || !closing(*file)) return false;
    blocks += file->mBlockCount;
  }
  if (blocks != mArena.UsedBlockCount()) return false;
  std::vector<FBL_BlockHandle> locked;
  bool pinned = false;
  mArena.ForEachUsed([&](FBL_BlockHandle h, const FBL_CacheBlock& b) {
    pinned = pinned || b.mPins > 0;
    if (b.mLocker != nullptr) locked.push_back(h);
  });
  if (pinned) return false;
  for (FBL_BlockHandle h : locked) {
    FBL_BlockLocker* locker = B(h).mLocker;
    B(h).mLocker = nullptr;
    if (locker != nullptr) locker->BlockNotify(kBlockDropped, h);
  }
  for (FBL_File* file : mFiles) {
    file->mCachedBlocks.Clear();
    file->mCurrentBlock = kNoBlock;
    file->mBlockCount = 0;
  }
  mUnits.Clear();
  mRecency.Clear();
  mHeld.clear();
  mArena.Clear();
  return true;
}

void FBL_Cache::EndHold() {
  if (mHolds > 0 && --mHolds == 0) ReleaseHeld();
}

void FBL_Cache::ReleaseHeld() {
  if (mHeld.empty()) return;
  // One walk of the arena when the blocks are more than a sixteenth of it.
  if (mHeld.size() * 16 < mArena.UsedBlockCount()) {
    for (FBL_BlockHandle h : mHeld) mArena.Release(h);
  } else {
    mArena.ReleaseMany(mHeld);
  }
  mHeld.clear();
}

void FBL_Cache::TruncateFile(FBL_File& file, uint64_t length) {
  CheckOwner(file);
  FBL_BlockHandle h = file.mCachedBlocks.Front();
  while (h != kNoBlock) {
    FBL_BlockHandle next = FBL_FileBlockList::Next(B(h));
    FBL_CacheBlock& b = B(h);
    if (b.mOffset >= length) {
      DropOne(h);
    } else if (b.mOffset + b.mValid > length) {
      // The block across the new end keeps its lower part.
      uint32_t keep = static_cast<uint32_t>(length - b.mOffset);
      std::memset(Data(h) + keep, 0, b.mCapacity - keep);
      b.mValid = keep;
      b.mDirtyEnd = std::min(b.mDirtyEnd, keep);
      if (b.mDirtyStart >= b.mDirtyEnd) {
        SetClean(h);
        b.mDirtyStart = b.mCapacity;
        b.mDirtyEnd = 0;
      }
    }
    h = next;
  }
}

std::string FBL_Cache::CheckInvariants() const {
  std::string arena = mArena.CheckInvariants();
  if (!arena.empty()) return arena;
  uint64_t recent = 0;
  FBL_BlockHandle prev = kNoBlock;
  for (FBL_BlockHandle h = mRecency.Front(); h != kNoBlock;
       prev = h, h = FBL_RecencyList::Next(B(h))) {
    if (!mArena.IsUsed(h)) return "free block on the recency list";
    if (FBL_RecencyList::Prev(B(h)) != prev) return "recency back link";
    ++recent;
  }
  if (prev != mRecency.Back() || recent + mHeld.size() != mArena.UsedBlockCount())
    return "recency list";
  for (FBL_BlockHandle h = mArena.Order().Front(); h != kNoBlock; h = FBL_ArenaList::Next(B(h))) {
    const FBL_CacheBlock& b = B(h);
    if (b.mFree) continue;
    if (b.mSize != b.mCapacity + kHeaderBytes) return "block size";
    if (b.mValid > b.mCapacity) return "valid beyond capacity";
    if (b.mDirty && (b.mDirtyStart >= b.mDirtyEnd || b.mDirtyEnd > b.mValid)) return "dirty range";
    const uint8_t* data = mArena.Data(h);
    for (uint32_t i = b.mValid; i < b.mCapacity; ++i)
      if (data[i] != 0) return "bytes beyond valid not zero";
  }
  return CheckFiles();
}

// Each file's list against its blocks and the unit map.
std::string FBL_Cache::CheckFiles() const {
  uint64_t units = 0;
  for (FBL_File* file : mFiles) {
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    uint32_t count = 0, dirty = 0;
    FBL_BlockHandle prev = kNoBlock;
    for (FBL_BlockHandle h = file->mCachedBlocks.Front(); h != kNoBlock;
         prev = h, h = FBL_FileBlockList::Next(B(h))) {
      if (B(h).mFile != file) return "block in the wrong file list";
      if (FBL_FileBlockList::Prev(B(h)) != prev) return "file list back link";
      ranges.emplace_back(B(h).mOffset, B(h).mOffset + B(h).mCapacity);
      for (uint64_t u = B(h).mOffset / kUnit; u < (B(h).mOffset + B(h).mCapacity) / kUnit; ++u)
        if (mUnits.Find(file, u) != h) return "block missing by unit";
      units += B(h).mCapacity / kUnit;
      ++count;
      if (B(h).mDirty) ++dirty;
    }
    if (count != file->mBlockCount || prev != file->mCachedBlocks.Back()) return "file block count";
    if (dirty != file->mDirtyBlocks) return "file dirty block count";
    uint32_t listed = 0;
    for (FBL_BlockHandle h = file->mDirtyList.Front(); h != kNoBlock;
         h = FBL_DirtyBlockList::Next(B(h))) {
      if (B(h).mFile != file || !B(h).mDirty) return "clean block on a dirty list";
      if (++listed > dirty) return "dirty list longer than its count";
    }
    if (listed != dirty) return "dirty block missing from its list";
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
      if (ranges[i].first < ranges[i - 1].second) return "file blocks overlap";
  }
  if (units != mUnits.Size()) return "unit map size";
  return {};
}
