// FBL_StringPage: a counted page with variable keys, a length byte and at
// most 255 bytes of text each (layout in index_format.h). The header also
// keeps the bytes used by the key area and the offset of the key last
// worked on.
#pragma once

#include "kernel/indexes/counted_page.h"

class FBL_StringPage : public FBL_CountedPage {
 public:
  FBL_StringPage(FBL_IndexFile& file, const FBL_KeyOrder& order);

 protected:
  uint32_t KeyLengthAt(const uint8_t* page, uint32_t off) const override;
  uint32_t StoredKeyArea(const uint8_t* page) const override;
  void SetKeyArea(uint8_t* page, uint32_t bytes, uint32_t workOffset) override;
  bool FixedKeys() const override { return false; }
};
