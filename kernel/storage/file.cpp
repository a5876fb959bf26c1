#include "kernel/storage/file.h"

#include <algorithm>
#include <cmath>

#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "platform/errors.h"

FBL_File::FBL_File() : mCache(FBL_MainCache()) {
  if (mCache != nullptr) mCache->Attach(this);
}

FBL_File::~FBL_File() {
  if (mCache != nullptr) {
    mCache->DropFile(*this, 0);
    mCache->Detach(this);
  }
}

FBL_Cache& FBL_File::RequireCache() const {
  if (mCache == nullptr) throw xFBL_Exception(ERR_CACHE_NOT_EXISTS);
  return *mCache;
}

void FBL_File::SetCache(FBL_Cache* cache) {
  if (cache == mCache) return;
  if (mCache != nullptr) {
    mCache->FlushFile(*this);
    mCache->DropFile(*this, 0);
    mCache->Detach(this);
  }
  mCache = cache;
  if (mCache != nullptr) mCache->Attach(this);
}

void FBL_File::Remove() {
  DropCachedBlocks();
}

void FBL_File::Read(void* buffer, uint64_t count) {
  if (mPosition >= GetLength()) throw xFBL_Exception(kErrEndOfFile);
  if (RequireCache().Read(*this, mPosition, buffer, count) < count)
    throw xFBL_Exception(kErrEndOfFile);
  mPosition += count;
}

void FBL_File::ReadAside(void* buffer, uint64_t count) {
  if (mPosition >= GetLength()) throw xFBL_Exception(kErrEndOfFile);
  if (RequireCache().ReadAside(*this, mPosition, buffer, count) < count)
    throw xFBL_Exception(kErrEndOfFile);
  mPosition += count;
}

void FBL_File::Write(const void* buffer, uint64_t count) {
  if (buffer == nullptr) return;
  mPosition += RequireCache().Write(*this, mPosition, buffer, count);
  if (mPosition > GetLength()) mLength = mPosition;
}

void FBL_File::Flush() {
  if (mCache != nullptr) mCache->FlushFile(*this);
}

int32_t FBL_File::GetCachePageLimit(uint64_t offset) {
  (void)offset;
  return mPageSizeLimit;
}

void FBL_File::GetCacheSettings(uint64_t& bulkStart, uint64_t& bulkEnd, uint64_t& budget) {
  bulkStart = mBulkStart;
  bulkEnd = mBulkEnd;
  budget = mCacheBudget;
  if (budget == 0 && mCache != nullptr)
    budget = static_cast<uint64_t>(std::llround(static_cast<double>(mCache->GetSize()) * 0.1));
}

void FBL_File::Reset() {
  DropCachedBlocks();
  mLength = 0;
  mPosition = 0;
  mOpenCount = 0;
  mWriteThrough = false;
  mBulkStart = mBulkEnd = 0;
  mCacheBudget = 0;
}

void FBL_File::SetWriteThrough(bool on) {
  if (on && !mWriteThrough) Flush();
  mWriteThrough = on;
}

void FBL_File::SetCacheBudget(uint64_t bytes) {
  if (mCache != nullptr && mCache->GetSize() < bytes) bytes = mCache->GetSize() / 10;
  mCacheBudget = bytes;
}

void FBL_File::FillZero(uint64_t offset, uint64_t count) {
  static const uint8_t kZeros[FBL_Cache::kUnit * 16] = {};
  FBL_Cache& cache = RequireCache();
  uint64_t done = 0;
  while (done < count) {
    uint64_t n = std::min<uint64_t>(count - done, sizeof kZeros);
    cache.Write(*this, offset + done, kZeros, n);
    done += n;
  }
  if (offset + count > GetLength()) mLength = offset + count;
  Flush();
}

void FBL_File::DropCachedBlocks() {
  if (mCache != nullptr) mCache->DropFile(*this, 0);
}

void FBL_File::TruncateCachedBlocks(uint64_t length) {
  if (mCache != nullptr) mCache->TruncateFile(*this, length);
}
