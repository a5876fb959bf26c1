#include "kernel/storage/page_cursors.h"

#include <cstring>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/page_file.h"
#include "platform/errors.h"

FBL_BlockHandle FBL_LockExactPage(FBL_Cache& cache, FBL_PageFile& file, uint64_t offset,
                                  uint32_t size, FBL_BlockLocker* locker) {
  FBL_BlockHandle h = cache.GetExactBlock(file, offset, size);
  FBL_BlockLocker* other = cache.GetBlockLocker(h);
  if (other != nullptr && other != locker) {
    other->BlockNotify(kBlockWriting, h);
    cache.UnlockBlock(h);
    other->BlockNotify(kBlockDropped, h);
  }
  cache.LockBlock(h, locker);
  return h;
}

// ---- FBL_PhysicalPage ------------------------------------------------------------

FBL_PhysicalPage::FBL_PhysicalPage(FBL_PageFile& file) : FBL_PhysicalPage(file, true) {}

FBL_PhysicalPage::FBL_PhysicalPage(FBL_PageFile& file, bool tracked)
    : mFile(&file), mTracked(tracked) {
  if (mTracked) mFile->AttachCursor(this);
}

FBL_PhysicalPage::~FBL_PhysicalPage() {
  try {
    FBL_PhysicalPage::Release();
  } catch (const xFBL_Exception&) {
    // The cache is gone: nothing is locked any more.
  }
  if (mFile != nullptr && mTracked) mFile->DetachCursor(this);
}

void FBL_PhysicalPage::Detach() {
  ForgetBlock();
  mPage = 0;
  mOffset = 0;
  mFile = nullptr;
}

FBL_Cache& FBL_PhysicalPage::Cache() const {
  if (mFile == nullptr || mFile->GetCache() == nullptr) throw xFBL_Exception(ERR_CACHE_NOT_EXISTS);
  return *mFile->GetCache();
}

FBL_PageFile& FBL_PhysicalPage::RequireOpenFile() const {
  if (mFile == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL, "Page file is gone");
  if (!mFile->IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Page file is not open");
  return *mFile;
}

bool FBL_PhysicalPage::VolumeSwapped() const {
  return mFile != nullptr && mFile->IsSwappedVolume();
}

uint32_t FBL_PhysicalPage::GetPageSize() const {
  return mFile != nullptr ? mFile->GetPageSize() : 0;
}

void FBL_PhysicalPage::ForgetBlock() {
  mBlock = kNoBlock;
  mData = nullptr;
  mSwapped = false;
}

void FBL_PhysicalPage::Release() {
  if (mBlock != kNoBlock) {
    if (VolumeSwapped() && mSwapped) ToDisk();
    FBL_BlockHandle block = mBlock;
    ForgetBlock();
    Cache().UnlockBlock(block);
  }
  mPage = 0;
  mOffset = 0;
  mZeroFill = false;
}

void FBL_PhysicalPage::Select(uint32_t n) {
  if (!IsCurrent(n)) SetPage(n);
  if (mBlock == kNoBlock && mLoadOnSelect) Load();
}

void FBL_PhysicalPage::SelectNew(uint32_t n) {
  Select(n);
  if (mBlock == kNoBlock) Load();
  std::memset(mData, 0, GetPageSize());
  MarkDirty();
}

bool FBL_PhysicalPage::IsCurrent(uint32_t n) const {
  return n != 0 && n == mPage;
}

uint16_t FBL_PhysicalPage::Compare() {
  return 0;
}

void FBL_PhysicalPage::SetPage(uint32_t n) {
  RequireOpenFile();
  if (n == mPage && n != 0) return;
  if (n == 0 || n > mFile->GetPageCount()) mFile->RaiseBadPage("no physical page", n);
  Release();
  mPage = n;
  mOffset = mFile->GetPageOffset(n);
}

void FBL_PhysicalPage::SetData(uint8_t* data) {
  mData = data;
}

void FBL_PhysicalPage::SetData(void* data) {
  SetData(static_cast<uint8_t*>(data));
}

void FBL_PhysicalPage::Load() {
  if (mPage == 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "No page selected");
  if (mBlock != kNoBlock) return;
  FBL_Cache& cache = Cache();
  mBlock = FBL_LockExactPage(cache, *mFile, mOffset, GetPageSize(), this);
  SetData(cache.Data(mBlock));
  mSwapped = false;
  if (VolumeSwapped()) FromDisk();
}

void FBL_PhysicalPage::MarkDirty() {
  if (mBlock == kNoBlock) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Page is not loaded");
  Cache().MarkDirty(mBlock, 0, GetPageSize());
}

void FBL_PhysicalPage::FromDisk() {
  mSwapped = true;
}

void FBL_PhysicalPage::ToDisk() {
  mSwapped = false;
}

uint8_t* FBL_PhysicalPage::GetData() {
  if (mPage == 0) return nullptr;
  if (mBlock == kNoBlock) Load();
  if (VolumeSwapped() && !mSwapped) FromDisk();
  return mData;
}

void FBL_PhysicalPage::BlockNotify(int code, FBL_BlockHandle block) {
  if (block != mBlock || block == kNoBlock) return;
  switch (code) {
    case kBlockMoved:
      SetData(Cache().Data(block));
      break;
    case kBlockDropped:
      ForgetBlock();
      break;
    case kBlockWriting:
      if (VolumeSwapped() && mSwapped) ToDisk();
      break;
    default:
      break;
  }
}

// ---- FBL_LogicalPage -------------------------------------------------------------

void FBL_LogicalPage::Release() {
  FBL_PhysicalPage::Release();
  mLogical = 0;
}

bool FBL_LogicalPage::IsCurrent(uint32_t n) const {
  return n != 0 && n == mLogical;
}

void FBL_LogicalPage::SetPage(uint32_t n) {
  uint32_t physical = RequireOpenFile().GetPhysicalPage(n);
  FBL_PhysicalPage::SetPage(physical);
  mLogical = n;
}

void FBL_LogicalPage::Renumber(uint32_t at, int delta) {
  if (mLogical == 0 || mLogical < at) return;
  if (delta < 0 && mLogical == at) {
    Release();
    return;
  }
  mLogical = delta < 0 ? mLogical - 1 : mLogical + 1;
}
