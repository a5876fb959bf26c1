// FBL_File: the abstract file every on-disk structure is. It has a 64-bit
// length and a current position; Read and Write go through its page cache,
// ReadAt and WriteAt are the raw transfers the cache itself uses.
//
// Lifecycle: constructed closed. Open and Close nest by an open count; the
// file is really opened at 0 -> 1 and really closed at 1 -> 0. Destruction
// drops the file's cached blocks without writing them: owners Flush or Close
// first.
#pragma once

#include <cstdint>

#include "kernel/storage/block_locker.h"
#include "kernel/storage/cache_block.h"
#include "kernel/storage/encryption.h"

class FBL_Cache;

// Raised when a read through the cache reaches the end of a file.
inline constexpr int32_t kErrEndOfFile = -39;

class FBL_File : public FBL_BlockLocker {
 public:
  // The cache is the main cache of the running kernel (null when the kernel
  // is not started; cached operations then raise 306).
  FBL_File();
  ~FBL_File() override;
  FBL_File(const FBL_File&) = delete;
  FBL_File& operator=(const FBL_File&) = delete;

  // Deletes the file from storage; the base only drops cached blocks.
  virtual void Remove();
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const { return mOpenCount != 0; }
  virtual bool IsEmpty() { return GetLength() == 0; }
  // Reads count bytes at the position through the cache; raises -39 when
  // the position is at or past the end or fewer bytes arrive.
  virtual void Read(void* buffer, uint64_t count);
  // Read, except that bytes no cached block holds come straight from the
  // file and stay uncached: a one-off look evicts nothing.
  void ReadAside(void* buffer, uint64_t count);
  // Writes at the position through the cache; the length grows to the
  // position. A null buffer writes nothing.
  virtual void Write(const void* buffer, uint64_t count);
  // Raw transfers, no cache. Return the bytes transferred.
  virtual uint64_t ReadAt(void* buffer, uint64_t offset, uint64_t count) = 0;
  virtual uint64_t WriteAt(const void* buffer, uint64_t offset, uint64_t count) = 0;
  virtual void SetLength(uint64_t length) = 0;
  virtual uint64_t GetLength() = 0;
  // Writes every dirty cached block of this file.
  virtual void Flush();
  // Largest cache block for data at offset; negative = no limit.
  virtual int32_t GetCachePageLimit(uint64_t offset);
  virtual void GetCacheSettings(uint64_t& bulkStart, uint64_t& bulkEnd, uint64_t& budget);
  // Sets every member to its initial value (the file must be closed).
  virtual void Reset();

  uint64_t GetPosition() const { return mPosition; }
  void SetPosition(uint64_t position) { mPosition = position; }
  FBL_Cache* GetCache() const { return mCache; }
  // The file whose bytes hold this one's (an embedded file's volume).
  virtual const FBL_File* GetContainer() const { return nullptr; }
  // REQUIRES: the file has no cached blocks in its current cache.
  void SetCache(FBL_Cache* cache);
  bool GetWriteThrough() const { return mWriteThrough; }
  // Turning write-through on writes every dirty block at once.
  void SetWriteThrough(bool on);
  void SetBulkRange(uint64_t start, uint64_t end) {
    mBulkStart = start;
    mBulkEnd = end;
  }
  // Budget for blocks in the bulk range; a cache smaller than bytes gives a
  // tenth of the cache.
  void SetCacheBudget(uint64_t bytes);
  // Writes count zero bytes at offset through the cache, then flushes.
  void FillZero(uint64_t offset, uint64_t count);

  const FBL_EncryptionRef& GetEncryptor() const { return mEncryptor; }
  const FBL_EncryptionRef& GetDecryptor() const { return mDecryptor; }

  uint32_t GetCachedBlockCount() const { return mBlockCount; }
  uint32_t GetDirtyBlockCount() const { return mDirtyBlocks; }

 protected:
  // Drops every cached block of the file without writing it.
  void DropCachedBlocks();
  // Cuts cached blocks at a new, smaller length.
  void TruncateCachedBlocks(uint64_t length);
  FBL_Cache& RequireCache() const;
  // Called when the file holds something Flush must write: the cache calls
  // it when the file's first dirty block appears. A volume's files answer
  // by joining its list of files to flush, so that a commit visits those
  // alone.
  virtual void NoteUnflushed() {}

  uint64_t mLength = 0;
  uint64_t mPosition = 0;
  int32_t mOpenCount = 0;
  FBL_Cache* mCache = nullptr;
  int32_t mPageSizeLimit = -1;
  bool mWriteThrough = false;
  uint64_t mBulkStart = 0;
  uint64_t mBulkEnd = 0;
  uint64_t mCacheBudget = 0;
  FBL_EncryptionRef mEncryptor;
  FBL_EncryptionRef mDecryptor;

 private:
  friend class FBL_Cache;
  // The cache's bookkeeping: this file's blocks (found by offset through
  // the cache's unit map), and the block used last.
  FBL_FileBlockList mCachedBlocks;
  FBL_BlockHandle mCurrentBlock = kNoBlock;
  uint32_t mBlockCount = 0;
  FBL_DirtyBlockList mDirtyList;
  uint32_t mDirtyBlocks = 0;
};
