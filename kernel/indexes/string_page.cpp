#include "kernel/indexes/string_page.h"

#include <algorithm>
#include <cstring>

#include "kernel/indexes/index_format.h"
#include "kernel/tables/base_field.h"
#include "platform/errors.h"

FBL_StringPage::~FBL_StringPage() {
  // Released here, while the string layout still converts the page.
  try {
    Release();
  } catch (const xFBL_Exception&) {
  }
}

std::unique_ptr<FBL_IndexPage> FBL_StringPage::MakeSibling() {
  return std::make_unique<FBL_StringPage>(mIndexFile, mField);
}

uint32_t FBL_StringPage::HeaderBytes() const {
  return zindex::kStringHeader;
}

uint32_t FBL_StringPage::KeyLengthAt(const uint8_t* page, uint32_t off) const {
  return 1u + page[off];
}

uint32_t FBL_StringPage::StoredKeyArea(const uint8_t* page) const {
  uint16_t v;
  std::memcpy(&v, page + 6, 2);
  return v;
}

void FBL_StringPage::SetKeyArea(uint8_t* page, uint32_t bytes, uint32_t workOffset) {
  uint16_t area = static_cast<uint16_t>(bytes);
  uint16_t work = static_cast<uint16_t>(workOffset);
  std::memcpy(page + 4, &work, 2);
  std::memcpy(page + 6, &area, 2);
}

void FBL_StringPage::ConvertHeader(uint8_t* page, bool) const {
  std::reverse(page + 4, page + 6);
  std::reverse(page + 6, page + 8);
}

void FBL_StringPage::SwapKey(uint8_t*) const {}
