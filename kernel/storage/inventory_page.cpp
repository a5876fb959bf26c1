#include "kernel/storage/inventory_page.h"

#include <algorithm>
#include <cstring>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/page_file.h"
#include "platform/errors.h"

using namespace zpage;

FBL_InventoryPage::FBL_InventoryPage(FBL_PageFile& file, bool isIndex)
    : FBL_PhysicalPage(file, false), mIsIndex(isIndex) {}

FBL_InventoryPage::~FBL_InventoryPage() {
  try {
    ReleaseBlocks();
  } catch (const xFBL_Exception&) {
    // The cache is gone: nothing is locked any more.
  }
}

void FBL_InventoryPage::BlockNotify(int code, FBL_BlockHandle block) {
  if (block == mBlock) {
    FBL_PhysicalPage::BlockNotify(code, block);
    return;
  }
  // Entries are kept in disk order and read through fresh pointers: only a
  // drop matters.
  if (code != kBlockDropped) return;
  std::replace(mBlocks.begin(), mBlocks.end(), block, kNoBlock);
}

void FBL_InventoryPage::Resize(uint32_t pages) {
  while (mBlocks.size() > pages) {
    FBL_BlockHandle h = mBlocks.back();
    mBlocks.pop_back();
    if (h != kNoBlock) Cache().UnlockBlock(h);
  }
  mBlocks.resize(pages, kNoBlock);
}

void FBL_InventoryPage::ReleaseBlocks() {
  Release();
  for (FBL_BlockHandle& h : mBlocks) {
    FBL_BlockHandle block = h;
    h = kNoBlock;
    if (block != kNoBlock) Cache().UnlockBlock(block);
  }
}

uint32_t FBL_InventoryPage::PerPage() const {
  return GetPageSize() / kEntryBytes;
}

uint32_t FBL_InventoryPage::Capacity() const {
  return static_cast<uint32_t>(mBlocks.size()) * PerPage();
}

bool FBL_InventoryPage::BigEndian() const {
  return mFile != nullptr && mFile->IsBigEndianVolume();
}

uint8_t* FBL_InventoryPage::PageData(uint32_t k) {
  if (mFile == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL, "Page file is gone");
  if (k == 0 || k > mBlocks.size()) mFile->RaiseBadPage("no inventory page", k);
  FBL_Cache& cache = Cache();
  FBL_BlockHandle& h = mBlocks[k - 1];
  if (h == kNoBlock)
    h = FBL_LockExactPage(cache, *mFile, mFile->GetPageOffset(k), GetPageSize(), this);
  return cache.Data(h);
}

void FBL_InventoryPage::PageChanged(uint32_t k, uint32_t from, uint32_t to) {
  Cache().MarkDirty(mBlocks[k - 1], from, to);
}

uint32_t FBL_InventoryPage::GetEntry(uint32_t l) {
  if (l == 0 || l > Capacity()) mFile->RaiseBadPage("no inventory entry for logical page", l);
  uint32_t k = (l - 1) / PerPage() + 1;
  uint32_t at = (l - 1) % PerPage() * kEntryBytes;
  return LoadEntry(PageData(k) + at, BigEndian());
}

void FBL_InventoryPage::SetEntry(uint32_t l, uint32_t entry) {
  if (l == 0 || l > Capacity()) mFile->RaiseBadPage("no inventory entry for logical page", l);
  uint32_t k = (l - 1) / PerPage() + 1;
  uint32_t at = (l - 1) % PerPage() * kEntryBytes;
  StoreEntry(PageData(k) + at, entry, BigEndian());
  PageChanged(k, at, at + kEntryBytes);
}

uint32_t FBL_InventoryPage::GetPhysical(uint32_t l) {
  if (l == 0 || l > mFile->GetLogicalPageCount()) mFile->RaiseBadPage("no logical page", l);
  uint32_t page = EntryPage(GetEntry(l));
  // Data pages only: an entry naming an inventory page would let a page
  // cursor overwrite the inventory.
  if (page <= mFile->GetInventoryPageCount() || page > mFile->GetPageCount())
    mFile->RaiseBadPage("inventory entry names no data page, logical page", l);
  return page;
}

// Entries are moved page by page, from the top down; the entry that crosses
// into a page from the one below is read before that page is locked.
void FBL_InventoryPage::InsertEntry(uint32_t l, uint32_t entry, uint32_t count) {
  if (l == 0 || l > count + 1 || count >= Capacity())
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Inventory insert out of range");
  const uint32_t e = PerPage();
  // 0-based: entries [l - 1, count) move to [l, count].
  for (uint32_t k = count / e + 1; count >= l && k >= l / e + 1; --k) {
    uint32_t base = (k - 1) * e;
    uint32_t lo = std::max(l, base), hi = std::min(count, base + e - 1);
    if (lo > hi) continue;
    uint32_t carry = lo == base ? GetEntry(base) : 0;  // 0-based base - 1
    uint8_t* data = PageData(k);
    uint32_t inner = std::max(lo, base + 1);
    if (hi >= inner)
      std::memmove(data + (inner - base) * kEntryBytes, data + (inner - base - 1) * kEntryBytes,
                   (hi - inner + 1) * kEntryBytes);
    if (lo == base) StoreEntry(data, carry, BigEndian());
    PageChanged(k, (lo - base) * kEntryBytes, (hi - base + 1) * kEntryBytes);
    if (k == 1) break;
  }
  SetEntry(l, entry);
}

void FBL_InventoryPage::RemoveEntry(uint32_t l, uint32_t count) {
  if (l == 0 || l > count || count > Capacity())
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Inventory removal out of range");
  RepairMarks(l, count);
  const uint32_t e = PerPage();
  // 0-based: entries [l, count) move to [l - 1, count - 1).
  if (count >= 2) {
    for (uint32_t k = (l - 1) / e + 1; k <= (count - 2) / e + 1; ++k) {
      uint32_t base = (k - 1) * e;
      uint32_t lo = std::max(l - 1, base), hi = std::min(count - 2, base + e - 1);
      if (lo > hi) continue;
      bool crosses = hi == base + e - 1;
      uint32_t carry = crosses ? GetEntry(base + e + 1) : 0;  // 0-based base + e
      uint8_t* data = PageData(k);
      uint32_t innerHi = crosses ? hi - 1 : hi;
      if (innerHi + 1 > lo)
        std::memmove(data + (lo - base) * kEntryBytes, data + (lo - base + 1) * kEntryBytes,
                     (innerHi + 1 - lo) * kEntryBytes);
      if (crosses) StoreEntry(data + (e - 1) * kEntryBytes, carry, BigEndian());
      PageChanged(k, (lo - base) * kEntryBytes, (hi - base + 1) * kEntryBytes);
    }
  }
  SetEntry(count, 0);
}

// A group of one page is no group: removing a page from a group of two
// clears the marks of the one left; removing a head passes the head mark
// on. Only the neighbours are read, so damaged marks cannot make it walk.
void FBL_InventoryPage::RepairMarks(uint32_t l, uint32_t count) {
  uint32_t entry = GetEntry(l);
  if (IsHead(entry)) {
    if (l + 1 > count) return;
    uint32_t next = GetEntry(l + 1);
    if (!IsContinuation(next)) return;
    bool longer = l + 2 <= count && IsContinuation(GetEntry(l + 2));
    SetEntry(l + 1, longer ? next | kHeadMark : EntryPage(next));
  } else if (IsContinuation(entry)) {
    bool endsGroup = l + 1 > count || !IsContinuation(GetEntry(l + 1));
    if (!endsGroup || l < 2) return;
    uint32_t prev = GetEntry(l - 1);
    if (IsHead(prev)) SetEntry(l - 1, EntryPage(prev));
  }
}

uint32_t FBL_InventoryPage::FindPhysical(uint32_t physical, uint32_t count) {
  count = std::min(count, Capacity());
  const uint32_t e = PerPage();
  for (uint32_t k = 1; (k - 1) * e < count; ++k) {
    const uint8_t* data = PageData(k);
    uint32_t n = std::min(e, count - (k - 1) * e);
    for (uint32_t i = 0; i < n; ++i) {
      if (EntryPage(LoadEntry(data + i * kEntryBytes, BigEndian())) == physical)
        return (k - 1) * e + i + 1;
    }
  }
  return 0;
}

void FBL_InventoryPage::ClearPage(uint32_t k) {
  std::memset(PageData(k), 0, GetPageSize());
  PageChanged(k, 0, GetPageSize());
}
