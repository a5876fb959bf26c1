// FBL_InventoryPage: the inventory of a page file, the u32 entries that map
// logical pages to physical ones (layout in page_format.h). Each inventory
// page is kept locked in the cache as an exact block while the file is
// open, and its entries are read and written in place in the volume's byte
// order. A block the cache drops is locked again on its next use.
#pragma once

#include <cstdint>
#include <vector>

#include "kernel/storage/page_cursors.h"

class FBL_InventoryPage : public FBL_PhysicalPage {
 public:
  // isIndex chooses the error a bad entry raises: 372 for index files, 348
  // for other page files.
  FBL_InventoryPage(FBL_PageFile& file, bool isIndex);
  ~FBL_InventoryPage() override;

  void BlockNotify(int code, FBL_BlockHandle block) override;

  bool IsIndex() const { return mIsIndex; }
  // The number of inventory pages (M); blocks of dropped pages are unlocked.
  void Resize(uint32_t pages);
  // Unlocks every inventory block (they stay cached).
  void ReleaseBlocks();
  // Entries the inventory pages hold: M * P / 4.
  uint32_t Capacity() const;

  // The raw entry of logical page l; 1 <= l <= Capacity(), else the bad
  // page error.
  uint32_t GetEntry(uint32_t l);
  void SetEntry(uint32_t l, uint32_t entry);
  // The data page of logical page l, checked: l must be a logical page of
  // the file and its entry must name one of the data pages M + 1..N.
  uint32_t GetPhysical(uint32_t l);
  // With count entries in use: moves entries l..count one place up and
  // stores entry at l. REQUIRES: 1 <= l <= count + 1 <= Capacity().
  void InsertEntry(uint32_t l, uint32_t entry, uint32_t count);
  // With count entries in use: repairs the group marks around l, moves
  // entries l + 1..count one place down and zeroes entry count.
  // REQUIRES: 1 <= l <= count <= Capacity().
  void RemoveEntry(uint32_t l, uint32_t count);
  // The first of the count logical pages whose entry names physical, or 0.
  uint32_t FindPhysical(uint32_t physical, uint32_t count);
  // Zeroes inventory page k (1..M), a page new to the inventory.
  void ClearPage(uint32_t k);

 private:
  uint32_t PerPage() const;
  // Inventory page k locked; the pointer lasts until the next cache call.
  uint8_t* PageData(uint32_t k);
  void PageChanged(uint32_t k, uint32_t from, uint32_t to);
  void RepairMarks(uint32_t l, uint32_t count);
  bool BigEndian() const;

  bool mIsIndex;
  // The locked block of each inventory page, kNoBlock when not locked.
  std::vector<FBL_BlockHandle> mBlocks;
};
