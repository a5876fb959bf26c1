// FBL_IndexFile: the page file of one field index (layout in
// index_format.h). It keeps the header fields beyond the inventory count
// (entry count, page size, the page counts of a Byte index's values) and
// remembers which physical pages have been checked since the file opened,
// with a stamp that changes at every change of the page.
//
// Lifecycle: as FBL_PageFile. Open reads the header; the header is written
// back at Flush and Close only when a field changed.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kernel/indexes/index_format.h"
#include "kernel/storage/page_file.h"

class FBL_IndexFile : public FBL_PageFile {
 public:
  // byteValues: the header keeps the page counts of each Byte value. kind:
  // a field's index, or another kind of the format (a relation's branch).
  FBL_IndexFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t subIndex, bool byteValues,
                uint16_t kind = kKindFieldIndex);
  ~FBL_IndexFile() override;

  void Open() override;
  void LoadHeader() override;
  void SaveHeader() override;
  void PageMoved(uint32_t from, uint32_t to) override;
  void Reload() override;

  uint32_t GetEntryCount() const { return mEntryCount; }
  void SetEntryCount(uint32_t count);
  void AddEntries(int32_t delta) { SetEntryCount(mEntryCount + static_cast<uint32_t>(delta)); }

  // Byte indexes: pages of value v, and the value of logical page l (the
  // counts must add up to the logical page count, else 370).
  uint32_t GetValuePages(uint32_t v) const { return mValuePages[v]; }
  void SetValuePages(uint32_t v, uint32_t pages);
  uint32_t FirstPageOfValue(uint32_t v) const;
  uint8_t ValueOfPage(uint32_t l) const;

  // Whether physical page p passed its full check since the file opened.
  bool IsChecked(uint32_t p) const { return PageStamp(p) != 0; }
  void SetChecked(uint32_t p, bool on);
  // A checked page's stamp, new at each change (0: not checked). What a
  // cursor derived from a page holds while the stamp stays; stamps are
  // never given twice in the life of the object.
  uint64_t PageStamp(uint32_t p) const { return p < mStamps.size() ? mStamps[p] : 0; }
  // Page p changed; returns its new stamp.
  uint64_t TouchPage(uint32_t p);

 private:
  void ForgetHeader();

  bool mByteValues;
  uint32_t mEntryCount = 0;
  std::array<uint32_t, zindex::kByteValues> mValuePages{};
  std::vector<uint64_t> mStamps;
  uint64_t mLastStamp = 0;
};
