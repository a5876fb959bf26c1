// Page cursors: FBL_PhysicalPage holds one page of a page file locked in
// the page cache (an exact block of one page), FBL_LogicalPage reaches its
// page through the inventory by logical number.
//
// A cursor is the locker of its block, so the cache tells it when the
// block moves (1: fetch the data pointer again), is dropped (2: forget the
// block but remember the page, which GetData loads again) or is about to be
// written (3: bring the page to disk byte order). A page of a volume of the
// other byte order is in machine order while a cursor holds it (FromDisk,
// the swapped flag set) and in disk order whenever the cache may write it or
// the cursor gives it up (ToDisk). Here both only keep the flag; kinds of
// pages that hold integers convert them.
//
// At most one locker holds a page: a cursor selecting a page that another
// cursor holds takes it over, and the other loads it again on its next
// GetData. Data pointers are valid until the next call that may reach the
// cache.
#pragma once

#include <cstdint>

#include "kernel/storage/block_locker.h"

class FBL_Cache;
class FBL_PageFile;

class FBL_PhysicalPage : public FBL_BlockLocker {
 public:
  // The cursor registers with the file, which releases it before moving or
  // cutting its page and detaches it when the file goes first.
  explicit FBL_PhysicalPage(FBL_PageFile& file);
  ~FBL_PhysicalPage() override;
  FBL_PhysicalPage(const FBL_PhysicalPage&) = delete;
  FBL_PhysicalPage& operator=(const FBL_PhysicalPage&) = delete;

  // Gives the page up (in disk order) and clears the cursor.
  virtual void Release();
  // SetPage(n), then loads the page when it is not held already.
  virtual void Select(uint32_t n);
  virtual bool IsCurrent(uint32_t n) const;
  // Kinds of pages compare a key with the page: 0 equal, bit 15 set when
  // the key sorts below the page. Plain pages always answer 0.
  virtual uint16_t Compare();
  // Makes physical page n (1..N) current without loading it; raises 372
  // (index files) or 348 (other page files) for a page outside the file.
  virtual void SetPage(uint32_t n);
  virtual void SetData(uint8_t* data);
  virtual void SetData(void* data);
  // Locks the current page's exact block and brings it to machine order.
  virtual void Load();
  // REQUIRES: the page is loaded (no cache call since GetData).
  virtual void MarkDirty();
  virtual void FromDisk();
  virtual void ToDisk();

  void BlockNotify(int code, FBL_BlockHandle block) override;

  // Selects physical page n as a new page: its bytes become zeros.
  void SelectNew(uint32_t n);
  // The page in machine order, loading it again when the cache dropped
  // it; null when no page is selected.
  uint8_t* GetData();
  uint32_t GetPage() const { return mPage; }
  uint64_t GetOffset() const { return mOffset; }
  uint32_t GetPageSize() const;
  bool IsLoaded() const { return mBlock != kNoBlock; }
  bool IsSwapped() const { return mSwapped; }
  bool GetLoadOnSelect() const { return mLoadOnSelect; }
  void SetLoadOnSelect(bool on) { mLoadOnSelect = on; }
  // Null once the file is gone.
  FBL_PageFile* GetFile() const { return mFile; }

 protected:
  // An untracked cursor (the inventory) is not in the file's list.
  FBL_PhysicalPage(FBL_PageFile& file, bool tracked);
  FBL_Cache& Cache() const;
  FBL_PageFile& RequireOpenFile() const;
  bool VolumeSwapped() const;
  // Forgets the block without unlocking it (the cache dropped it).
  void ForgetBlock();

  FBL_PageFile* mFile;
  uint32_t mPage = 0;  // 0 = none
  uint64_t mOffset = 0;
  FBL_BlockHandle mBlock = kNoBlock;
  uint8_t* mData = nullptr;
  bool mSwapped = false;
  bool mLoadOnSelect = true;

 private:
  friend class FBL_PageFile;
  // Called by the file as it goes.
  void Detach();

  bool mTracked;
  bool mZeroFill = false;
};

class FBL_LogicalPage : public FBL_PhysicalPage {
 public:
  explicit FBL_LogicalPage(FBL_PageFile& file) : FBL_PhysicalPage(file) {}

  void Release() override;
  bool IsCurrent(uint32_t n) const override;
  // Makes logical page n current: its inventory entry must name a page of
  // the file, else 372 (index files) or 348 (other page files).
  void SetPage(uint32_t n) override;

  uint32_t GetLogicalPage() const { return mLogical; }

 protected:
  uint32_t mLogical = 0;  // 0 = none

 private:
  friend class FBL_PageFile;
  // The file inserted (delta 1) or removed (delta -1) logical page at:
  // later pages are renumbered, a removed current page is released.
  void Renumber(uint32_t at, int delta);
};

// Takes the exact block of one page for locker: another locker holding it
// first brings it to disk order and forgets it.
FBL_BlockHandle FBL_LockExactPage(FBL_Cache& cache, FBL_PageFile& file, uint64_t offset,
                                  uint32_t size, FBL_BlockLocker* locker);
