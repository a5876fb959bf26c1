#include "kernel/storage/page_file.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

using namespace zpage;

namespace {

bool gPageZeroing = true;

// Reading in logical order goes mostly backwards when at least this share
// (one in four) of the steps between logical pages descends on disk.
constexpr uint64_t kDisorderShare = 4;

bool ValidSize(uint32_t bytes, uint32_t limit) {
  return bytes != 0 && bytes % kPageUnit == 0 && bytes <= limit;
}

}  // namespace

void FBL_SetPageZeroing(bool on) {
  gPageZeroing = on;
}
bool FBL_GetPageZeroing() {
  return gPageZeroing;
}

FBL_PageFile::FBL_PageFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex,
                           bool isIndex, uint32_t headerSize, uint32_t pageSize)
    : FBL_EmbededFile(volume, ownerId, kind, subIndex),
      mPageSize(pageSize),
      mInventory(*this, isIndex),
      mHeaderSize(headerSize) {
  if (!ValidSize(headerSize, kMaxPageSize) || !ValidSize(pageSize, kMaxPageSize))
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Page file sizes must be whole kilobytes");
}

FBL_PageFile::~FBL_PageFile() {
  try {
    if (mOpenCount > 0) {
      mOpenCount = 1;
      Close();
    }
  } catch (const xFBL_Exception&) {
    // A destructor cannot report; unwritten pages are lost with the file.
  }
  for (FBL_PhysicalPage* cursor : mCursors) {
    try {
      cursor->Release();
    } catch (const xFBL_Exception&) {
    }
    cursor->Detach();
  }
  mCursors.clear();
  try {
    mInventory.ReleaseBlocks();
  } catch (const xFBL_Exception&) {
  }
}

void FBL_PageFile::RaiseBadPage(const char* what, uint64_t number) const {
  char text[160];
  std::snprintf(text, sizeof text, "Page file %08" PRIX64 ": %s %" PRIu64, GetId(), what, number);
  if (mInventory.IsIndex()) throw xFBL_InvPage(text);
  throw xFBL_InvPageVarChar(text);
}

void FBL_PageFile::RequireOpen() const {
  if (mOpenCount == 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Page file is not open");
}

// ---- open, close, header -------------------------------------------------------

void FBL_PageFile::Open() {
  if (mOpenCount > 0) {
    ++mOpenCount;
    return;
  }
  FBL_EmbededFile::Open();
  if (mOpenCount == 0 || mBareOpen) return;
  try {
    LoadGeometry();
  } catch (...) {
    ForgetGeometry();
    FBL_EmbededFile::Close();
    throw;
  }
}

void FBL_PageFile::Close() {
  if (mOpenCount == 0) return;
  if (mOpenCount == 1) {
    // Nothing of a closed page file stays dirty: a later write-back would
    // have to open it again from inside the cache.
    Flush();
    ReleaseCursors();
    mInventory.ReleaseBlocks();
    ForgetGeometry();
  }
  FBL_EmbededFile::Close();
}

void FBL_PageFile::Flush() {
  if (mOpenCount > 0 && !mBareOpen && mHeaderDirty) {
    SaveHeader();
    mHeaderDirty = false;
  }
  FBL_EmbededFile::Flush();
  // Pages appended but never written back still belong to the file.
  if (mOpenCount > 0 && !mBareOpen && GetEntry().mLength < mLength) SetLength(mLength);
}

void FBL_PageFile::LoadGeometry() {
  FBL_DataFile& volume = GetVolume();
  mSwapped = volume.IsSwapped();
  mBigEndian = volume.GetHeader().IsBigEndian();
  ForgetGeometry();
  uint64_t length = GetLength();
  if (length == 0) return;  // placed, never written: no pages yet
  if (length < mHeaderSize) RaiseBadPage("file is shorter than its header, length", length);
  LoadHeader();
  uint64_t pages = (length - mHeaderSize) / mPageSize;
  if (pages > kMaxPages) RaiseBadPage("too many pages", pages);
  if (mInventoryPages > pages || mInventoryPages > kMaxInventoryPages)
    RaiseBadPage("inventory page count beyond the pages", mInventoryPages);
  if (pages - mInventoryPages > uint64_t{mInventoryPages} * (mPageSize / kEntryBytes))
    RaiseBadPage("more pages than the inventory describes", pages - mInventoryPages);
  mPageCount = static_cast<uint32_t>(pages);
  SetInventoryPages(mInventoryPages);
}

void FBL_PageFile::ForgetGeometry() {
  mPageCount = 0;
  mHeaderDirty = false;
  SetInventoryPages(0);
}

void FBL_PageFile::SetInventoryPages(uint32_t pages) {
  mInventoryPages = pages;
  mInventory.Resize(pages);
}

void FBL_PageFile::LoadHeader() {
  mInventoryPages = ReadHeaderU32(kInventoryCountOffset, 2);
}

void FBL_PageFile::SaveHeader() {
  WriteHeaderU32(kInventoryCountOffset, 2, mInventoryPages);
}

void FBL_PageFile::SetPageSize(uint32_t bytes) {
  if (!ValidSize(bytes, kMaxPageSize)) RaiseBadPage("bad page size", bytes);
  mPageSize = bytes;
}

uint32_t FBL_PageFile::ReadHeaderU32(uint32_t offset, uint32_t width) {
  if ((width != 2 && width != 4) || offset > mHeaderSize - width)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Header field outside the header");
  uint8_t bytes[4] = {};
  RequireCache().Read(*this, offset, bytes, width);
  return width == 2 ? zorder::LoadU16(bytes, mBigEndian) : zorder::LoadU32(bytes, mBigEndian);
}

void FBL_PageFile::WriteHeaderU32(uint32_t offset, uint32_t width, uint32_t value) {
  if ((width != 2 && width != 4) || offset > mHeaderSize - width)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Header field outside the header");
  uint8_t bytes[4];
  if (width == 2) {
    zorder::StoreU16(bytes, static_cast<uint16_t>(value), mBigEndian);
  } else {
    zorder::StoreU32(bytes, value, mBigEndian);
  }
  RequireCache().Write(*this, offset, bytes, width);
  mLength = std::max<uint64_t>(mLength, mHeaderSize);
}

void FBL_PageFile::Create() {
  if (Exists()) return;
  FBL_EmbededFile::Create();
  Open();
  try {
    if (GetLength() == 0) {
      mLength = mHeaderSize;
      AddInventoryPage();
    }
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void FBL_PageFile::Remove() {
  ReleaseCursors();
  mInventory.ReleaseBlocks();
  mBareOpen = true;
  try {
    FBL_EmbededFile::Remove();
  } catch (...) {
    mBareOpen = false;
    throw;
  }
  mBareOpen = false;
}

void FBL_PageFile::Reset() {
  ReleaseCursors();
  mInventory.ReleaseBlocks();
  ForgetGeometry();
  FBL_EmbededFile::Reset();
}

void FBL_PageFile::Reload() {
  ReleaseCursors();
  mInventory.ReleaseBlocks();
  DropCachedBlocks();
  ForgetGeometry();
  if (mOpenCount > 0) LoadGeometry();
}

FBL_PhysicalPage* FBL_PageFile::GetCurrentPage() {
  return nullptr;
}

void FBL_PageFile::PageMoved(uint32_t from, uint32_t to) {
  (void)from;
  (void)to;
}

int32_t FBL_PageFile::GetCachePageLimit(uint64_t offset) {
  if (offset < GetPageOffset(mInventoryPages + 1)) return static_cast<int32_t>(mPageSize);
  return FBL_EmbededFile::GetCachePageLimit(offset);
}

void FBL_PageFile::GetCacheSettings(uint64_t& bulkStart, uint64_t& bulkEnd, uint64_t& budget) {
  FBL_EmbededFile::GetCacheSettings(bulkStart, bulkEnd, budget);
  uint64_t dataStart = GetPageOffset(mInventoryPages + 1);
  if (bulkStart < dataStart) bulkStart = std::min(dataStart, bulkEnd);
}

// ---- cursors ---------------------------------------------------------------------

void FBL_PageFile::AttachCursor(FBL_PhysicalPage* cursor) {
  mCursors.push_back(cursor);
}

void FBL_PageFile::DetachCursor(FBL_PhysicalPage* cursor) {
  mCursors.erase(std::remove(mCursors.begin(), mCursors.end(), cursor), mCursors.end());
}

void FBL_PageFile::ReleaseCursors() {
  for (FBL_PhysicalPage* cursor : mCursors) cursor->Release();
}

void FBL_PageFile::ReleaseCursorsAt(uint32_t physical) {
  for (FBL_PhysicalPage* cursor : mCursors) {
    if (cursor->GetPage() == physical) cursor->Release();
  }
}

void FBL_PageFile::RenumberCursors(uint32_t at, int delta) {
  for (FBL_PhysicalPage* cursor : mCursors) {
    if (auto* logical = dynamic_cast<FBL_LogicalPage*>(cursor)) logical->Renumber(at, delta);
  }
}

// ---- pages -----------------------------------------------------------------------

uint32_t FBL_PageFile::AppendPage() {
  RequireOpen();
  if (mPageCount >= kMaxPages) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Page file is full");
  uint32_t page = mPageCount + 1;
  // The cache writes the page out later; the entry's length follows then.
  mLength = std::max(mLength, GetPageOffset(page) + mPageSize);
  NoteUnflushed();
  mPageCount = page;
  FBL_PhysicalPage cursor(*this);
  cursor.SelectNew(page);
  return page;
}

void FBL_PageFile::CopyPage(uint32_t from, uint32_t to) {
  ReleaseCursorsAt(from);
  ReleaseCursorsAt(to);
  std::vector<uint8_t> bytes(mPageSize);
  {
    FBL_PhysicalPage source(*this);
    source.Select(from);
    std::memcpy(bytes.data(), source.GetData(), mPageSize);
  }
  FBL_PhysicalPage target(*this);
  target.Select(to);
  std::memcpy(target.GetData(), bytes.data(), mPageSize);
  target.MarkDirty();
}

uint32_t FBL_PageFile::AppendLogicalPage(uint32_t marks) {
  RequireOpen();
  return InsertLogicalPage(GetLogicalPageCount() + 1, marks);
}

uint32_t FBL_PageFile::InsertLogicalPage(uint32_t l, uint32_t marks) {
  RequireOpen();
  uint32_t count = GetLogicalPageCount();
  if (l == 0 || l > count + 1) throw xFBL_Exception(ERR_WRONG_PARAMETER, "No such logical place");
  if (count >= mInventory.Capacity()) AddInventoryPage();
  if (count >= mInventory.Capacity())
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Inventory did not grow");
  uint32_t physical = AppendPage();
  mInventory.InsertEntry(l, MakeEntry(physical, marks), count);
  RenumberCursors(l, 1);
  return l;
}

void FBL_PageFile::AddInventoryPage() {
  RequireOpen();
  uint32_t m = mInventoryPages;
  if (m >= kMaxInventoryPages) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Inventory is full");
  uint32_t count = GetLogicalPageCount();
  if (mPageCount > m) {
    // The first data page moves to the end; its place joins the inventory.
    uint32_t first = m + 1;
    uint32_t l = mInventory.FindPhysical(first, count);
    uint32_t moved = AppendPage();
    CopyPage(first, moved);
    if (l != 0) mInventory.SetEntry(l, MakeEntry(moved, EntryMarks(mInventory.GetEntry(l))));
    PageMoved(first, moved);
  } else {
    AppendPage();
  }
  SetInventoryPages(m + 1);
  mInventory.ClearPage(m + 1);
  MarkHeaderDirty();
}

bool FBL_PageFile::RemoveLogicalPage(uint32_t l) {
  RequireOpen();
  uint32_t count = GetLogicalPageCount();
  if (l == 0 || l > count) return false;
  uint32_t physical = mInventory.GetPhysical(l);
  RenumberCursors(l, -1);
  ReleaseCursorsAt(physical);
  mInventory.RemoveEntry(l, count);
  FreePhysicalPage(physical, count - 1);
  const uint32_t perPage = mPageSize / kEntryBytes;
  while (mInventoryPages >= 2 && uint64_t{mInventoryPages - 1} * perPage >= GetLogicalPageCount())
    GiveUpInventoryPage();
  return true;
}

// The last page fills the hole so the file stays dense.
void FBL_PageFile::FreePhysicalPage(uint32_t physical, uint32_t entries) {
  uint32_t last = mPageCount;
  if (physical != last) {
    uint32_t l = mInventory.FindPhysical(last, entries);
    CopyPage(last, physical);
    if (l != 0) mInventory.SetEntry(l, MakeEntry(physical, EntryMarks(mInventory.GetEntry(l))));
    PageMoved(last, physical);
  }
  RemoveLastPage();
}

// The last inventory page holds no entry: the last data page takes its
// place and the file is one page shorter.
void FBL_PageFile::GiveUpInventoryPage() {
  uint32_t m = mInventoryPages;
  uint32_t count = GetLogicalPageCount();
  SetInventoryPages(m - 1);
  MarkHeaderDirty();
  uint32_t last = mPageCount;
  if (last > m) {
    uint32_t l = mInventory.FindPhysical(last, count);
    CopyPage(last, m);
    if (l != 0) mInventory.SetEntry(l, MakeEntry(m, EntryMarks(mInventory.GetEntry(l))));
    PageMoved(last, m);
  }
  RemoveLastPage();
  SaveHeader();
  mHeaderDirty = false;
}

void FBL_PageFile::RemoveLastPage() {
  RequireOpen();
  if (mPageCount == 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Page file has no page");
  uint32_t page = mPageCount;
  ReleaseCursorsAt(page);
  uint64_t offset = GetPageOffset(page);
  if (gPageZeroing) {
    {
      FBL_PhysicalPage cursor(*this);
      cursor.SelectNew(page);
    }
    RequireCache().FlushFile(*this, offset, offset + mPageSize);
  }
  mPageCount = page - 1;
  SetLength(offset);
}

bool FBL_PageFile::IsOutOfOrder() {
  RequireOpen();
  uint32_t count = GetLogicalPageCount();
  if (count < 2) return false;
  uint64_t descents = 0;
  uint32_t previous = GetPhysicalPage(1);
  for (uint32_t l = 2; l <= count; ++l) {
    uint32_t page = GetPhysicalPage(l);
    if (page < previous) ++descents;
    previous = page;
  }
  return descents > 0 && descents * kDisorderShare >= count - 1;
}
