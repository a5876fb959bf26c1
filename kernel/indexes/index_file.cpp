#include "kernel/indexes/index_file.h"

#include <cinttypes>
#include <cstdio>

#include "platform/errors.h"

using namespace zindex;

FBL_IndexFile::FBL_IndexFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t subIndex,
                             bool byteValues, uint16_t kind)
    : FBL_PageFile(volume, ownerId, kind, subIndex, true, kHeaderSize, kNewPageSize),
      mByteValues(byteValues) {}

FBL_IndexFile::~FBL_IndexFile() = default;

void FBL_IndexFile::ForgetHeader() {
  mEntryCount = 0;
  mValuePages.fill(0);
  mStamps.clear();
}

void FBL_IndexFile::Open() {
  const bool first = !IsOpen();
  if (first) {
    ForgetHeader();
    if (GetLength() == 0) SetPageSize(kNewPageSize);
  }
  FBL_PageFile::Open();
  if (!first || !IsOpen() || !mByteValues) return;
  uint64_t total = 0;
  for (uint32_t pages : mValuePages) total += pages;
  if (total != GetLogicalPageCount()) {
    Close();
    throw xFBL_SXCorrupted("Byte index: the pages of its values do not add up");
  }
}

void FBL_IndexFile::LoadHeader() {
  FBL_PageFile::LoadHeader();
  mEntryCount = ReadHeaderU32(kEntryCountOffset, 4);
  uint32_t size = ReadHeaderU32(kPageSizeOffset, 4);
  SetPageSize(size < kMinPageSize ? kMinPageSize : size);
  if (!mByteValues) return;
  for (uint32_t v = 0; v < kByteValues; ++v)
    mValuePages[v] = ReadHeaderU32(kValuePagesOffset + 4 * v, 4);
}

void FBL_IndexFile::SaveHeader() {
  FBL_PageFile::SaveHeader();
  WriteHeaderU32(2, 2, 0);
  WriteHeaderU32(kEntryCountOffset, 4, mEntryCount);
  WriteHeaderU32(kPageSizeOffset, 4, GetPageSize());
  if (!mByteValues) return;
  for (uint32_t v = 0; v < kByteValues; ++v)
    WriteHeaderU32(kValuePagesOffset + 4 * v, 4, mValuePages[v]);
}

void FBL_IndexFile::SetEntryCount(uint32_t count) {
  if (count == mEntryCount) return;
  mEntryCount = count;
  MarkHeaderDirty();
}

void FBL_IndexFile::SetValuePages(uint32_t v, uint32_t pages) {
  if (mValuePages[v] == pages) return;
  mValuePages[v] = pages;
  MarkHeaderDirty();
}

uint32_t FBL_IndexFile::FirstPageOfValue(uint32_t v) const {
  uint32_t first = 1;
  for (uint32_t u = 0; u < v; ++u) first += mValuePages[u];
  return first;
}

uint8_t FBL_IndexFile::ValueOfPage(uint32_t l) const {
  uint32_t end = 0;
  for (uint32_t v = 0; v < kByteValues; ++v) {
    end += mValuePages[v];
    if (l <= end) return static_cast<uint8_t>(v);
  }
  throw xFBL_SXCorrupted("Byte index: a page beyond the pages of its values");
}

void FBL_IndexFile::SetChecked(uint32_t p, bool on) {
  if (p >= mStamps.size()) {
    if (!on) return;
    mStamps.resize(p + 1024, 0);
  }
  if (!on) {
    mStamps[p] = 0;
  } else if (mStamps[p] == 0) {
    mStamps[p] = ++mLastStamp;
  }
}

uint64_t FBL_IndexFile::TouchPage(uint32_t p) {
  if (PageStamp(p) == 0) return 0;
  return mStamps[p] = ++mLastStamp;
}

void FBL_IndexFile::PageMoved(uint32_t from, uint32_t to) {
  bool checked = IsChecked(from);
  SetChecked(from, false);
  SetChecked(to, false);
  SetChecked(to, checked);
}

void FBL_IndexFile::Reload() {
  mStamps.clear();
  FBL_PageFile::Reload();
}
