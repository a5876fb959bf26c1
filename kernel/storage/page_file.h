// FBL_PageFile: an embedded file of fixed-size pages after a header area,
// with an inventory that maps logical pages to physical ones (layout in
// page_format.h). Kinds of files (text pages, index pages) derive from it
// and own the header area beyond the inventory page count.
//
// Lifecycle:
//   closed --Create--> closed: header area and one inventory page.
//   closed --Open--> open: LoadHeader, geometry checked (M <= N, the
//     logical pages fit the inventory), inventory pages locked on use.
//     A placed file of length 0 opens with no pages at all.
//   open --last Close--> closed: header saved when dirty, cursors and
//     inventory blocks released, dirty pages written back.
//   open --Reload--> open: cursors released, cached blocks dropped without
//     writing, header and geometry read again (after Defragment swapped the
//     file's storage).
// Invariants while open: N = (length - H) / P with the in-memory length;
// N - M logical pages, each entry 1..N - M naming a distinct data page
// M + 1..N; entries beyond N - M are 0. Values read from disk are checked
// before use; a bad one raises 372 (index files) or 348 (others).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/inventory_page.h"
#include "kernel/storage/page_cursors.h"
#include "kernel/storage/page_format.h"

// The global switch for zeroing a page before it is cut from a file, so
// freed space keeps no old data. On by default.
void FBL_SetPageZeroing(bool on);
bool FBL_GetPageZeroing();

class FBL_PageFile : public FBL_EmbededFile {
 public:
  // REQUIRES: headerSize and pageSize are multiples of 1024 (pageSize at
  // most kMaxPageSize).
  FBL_PageFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex,
               bool isIndex = false, uint32_t headerSize = zpage::kDefaultHeaderSize,
               uint32_t pageSize = zpage::kDefaultPageSize);
  ~FBL_PageFile() override;

  void Remove() override;
  void Open() override;
  void Close() override;
  // Saves the header when dirty, then writes back every dirty page.
  void Flush() override;
  // Blocks of the header and inventory area are at most one page.
  int32_t GetCachePageLimit(uint64_t offset) override;
  // A bulk range never covers the header and inventory area.
  void GetCacheSettings(uint64_t& bulkStart, uint64_t& bulkEnd, uint64_t& budget) override;
  void Reset() override;
  // Places the file with its header area and one inventory page.
  void Create() override;

  // A physical page moved (its old place is reused or cut); nothing here.
  virtual void PageMoved(uint32_t from, uint32_t to);
  // Grows the inventory by one page: the first data page moves to the end
  // and its place becomes inventory page M + 1.
  virtual void AddInventoryPage();
  // Rewrites the file with its pages in logical order when the inventory is
  // out of order (IsOutOfOrder), as the task "Page defragmentation".
  virtual void Defragment();
  // Read and write the header area; the base keeps M as a u16 at offset 0.
  virtual void LoadHeader();
  virtual void SaveHeader();
  // The cursor a kind of file keeps, or null.
  virtual FBL_PhysicalPage* GetCurrentPage();
  // Releases the cursors, drops the cached blocks, reads the header again.
  virtual void Reload();

  uint32_t GetHeaderSize() const { return mHeaderSize; }
  uint32_t GetPageSize() const { return mPageSize; }
  uint32_t GetPageCount() const { return mPageCount; }
  uint32_t GetInventoryPageCount() const { return mInventoryPages; }
  uint32_t GetLogicalPageCount() const { return mPageCount - mInventoryPages; }
  uint64_t GetPageOffset(uint32_t physical) const {
    return zpage::PageOffset(mHeaderSize, mPageSize, physical);
  }
  bool IsHeaderDirty() const { return mHeaderDirty; }
  void MarkHeaderDirty() {
    mHeaderDirty = true;
    NoteUnflushed();
  }
  bool IsIndexFile() const { return mInventory.IsIndex(); }
  // The volume's byte order differs from the machine's (read at Open).
  bool IsSwappedVolume() const { return mSwapped; }
  bool IsBigEndianVolume() const { return mBigEndian; }
  FBL_InventoryPage& GetInventory() { return mInventory; }

  // The following REQUIRE an open file.
  // Appends a zero-filled physical page; returns its number (the new N).
  uint32_t AppendPage();
  // Appends a data page as the last logical page; returns its number.
  uint32_t AppendLogicalPage(uint32_t marks = 0);
  // A new data page becomes logical page l (1..L + 1); later pages move up
  // one number. Returns l.
  uint32_t InsertLogicalPage(uint32_t l, uint32_t marks = 0);
  // Removes logical page l with its entry (group marks repaired) and its
  // physical page (the last page moves into its place), then gives up an
  // inventory page no longer needed. False when l is not a logical page.
  bool RemoveLogicalPage(uint32_t l);
  // Cuts physical page N from the file, zeroing it first when the global
  // switch is on.
  void RemoveLastPage();
  // The data page of logical page l, checked (372 / 348).
  uint32_t GetPhysicalPage(uint32_t l) { return mInventory.GetPhysical(l); }
  // True when enough logical pages lie below their predecessor on disk
  // that reading in logical order mostly goes backwards.
  bool IsOutOfOrder();

  // Raises 372 for index files, 348 for others.
  [[noreturn]] void RaiseBadPage(const char* what, uint64_t number) const;

 protected:
  // REQUIRES: a multiple of 1024 up to kMaxPageSize (else the bad page
  // error); only while closed or from LoadHeader.
  void SetPageSize(uint32_t bytes);
  // Header fields in the volume's byte order; bytes the file does not have
  // yet read as zeros. REQUIRES: the field lies in the header area.
  uint32_t ReadHeaderU32(uint32_t offset, uint32_t width);
  void WriteHeaderU32(uint32_t offset, uint32_t width, uint32_t value);

 private:
  friend class FBL_PhysicalPage;

  void RequireOpen() const;
  void AttachCursor(FBL_PhysicalPage* cursor);
  void DetachCursor(FBL_PhysicalPage* cursor);
  void ReleaseCursors();
  void ReleaseCursorsAt(uint32_t physical);
  void RenumberCursors(uint32_t at, int delta);
  // Geometry from the length and the header, checked.
  void LoadGeometry();
  void ForgetGeometry();
  // Copies physical page from to physical page to through the cache.
  void CopyPage(uint32_t from, uint32_t to);
  // Physical page p leaves: the last page moves into its place.
  void FreePhysicalPage(uint32_t physical, uint32_t entries);
  void GiveUpInventoryPage();
  void SetInventoryPages(uint32_t pages);
  // Defragment's work: the page defragmentation task writes a copy in
  // logical order, which then takes this file's place.
  void RewriteInOrder();
  // Gives this file's entry in the table of files the identity id.
  void RetagEntry(uint64_t id);
  // Makes this file use the storage of copy, which already carries this
  // file's identity; the old storage leaves under temporaryId.
  void AdoptStorage(FBL_PageFile& copy, uint64_t temporaryId);

  uint32_t mInventoryPages = 0;  // M
  uint32_t mPageSize;            // P
  bool mHeaderDirty = false;
  FBL_InventoryPage mInventory;
  uint32_t mHeaderSize;     // H
  uint32_t mPageCount = 0;  // N
  bool mSwapped = false;
  bool mBigEndian = false;
  // While removing: open without the header, close without saving it.
  bool mBareOpen = false;
  std::vector<FBL_PhysicalPage*> mCursors;
};
