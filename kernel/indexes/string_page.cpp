#include "kernel/indexes/string_page.h"

#include "kernel/storage/byte_order.h"

using zorder::LoadNative;
using zorder::StoreNative;

FBL_StringPage::FBL_StringPage(FBL_IndexFile& file, const FBL_KeyOrder& order)
    : FBL_CountedPage(file, order, zindex::PageLayout::kString) {}

uint32_t FBL_StringPage::KeyLengthAt(const uint8_t* page, uint32_t off) const {
  return LengthByteKey(page, off);
}

uint32_t FBL_StringPage::StoredKeyArea(const uint8_t* page) const {
  return LoadNative<uint16_t>(page + 6);
}

void FBL_StringPage::SetKeyArea(uint8_t* page, uint32_t bytes, uint32_t workOffset) {
  StoreNative<uint16_t>(page + 4, static_cast<uint16_t>(workOffset));
  StoreNative<uint16_t>(page + 6, static_cast<uint16_t>(bytes));
}
