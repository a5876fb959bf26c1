// FBL_StringPage: a counted page with variable keys, a length byte and at
// most 255 bytes of text each (layout in index_format.h). The header also
// keeps the bytes used by the key area and the offset of the key last
// worked on.
#pragma once

#include "kernel/indexes/counted_page.h"

class FBL_StringPage : public FBL_CountedPage {
 public:
  using FBL_CountedPage::FBL_CountedPage;
  ~FBL_StringPage() override;

 protected:
  std::unique_ptr<FBL_IndexPage> MakeSibling() override;
  uint32_t HeaderBytes() const override;
  uint32_t KeyLengthAt(const uint8_t* page, uint32_t off) const override;
  uint32_t StoredKeyArea(const uint8_t* page) const override;
  void SetKeyArea(uint8_t* page, uint32_t bytes, uint32_t workOffset) override;
  void ConvertHeader(uint8_t* page, bool toMachine) const override;
  void SwapKey(uint8_t* key) const override;
  bool FixedKeys() const override { return false; }
};
