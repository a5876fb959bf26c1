#include "kernel/indexes/index_format.h"

#include "kernel/storage/byte_order.h"
#include "kernel/tables/key_order.h"

namespace zindex {

namespace {

using zorder::LoadNative;
using zorder::Reverse;

// Reverses the count at p; returns it in machine order.
template <class T>
uint32_t SwapCount(uint8_t* p, bool toMachine) {
  T before = LoadNative<T>(p);
  Reverse(p, sizeof(T));
  return toMachine ? LoadNative<T>(p) : before;
}

void SwapUnique(uint8_t* d, uint32_t size, const FBL_KeyOrder& order, bool toMachine) {
  const uint32_t n = SwapCount<uint32_t>(d, toMachine);
  const uint32_t key = order.GetMaxKeySize();
  const uint32_t entry = key + kRecIDBytes;
  if (n > (size - kUniqueHeader) / entry) return;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* e = d + kUniqueHeader + i * entry;
    order.SwapKeyBytes(e);
    Reverse(e + key, kRecIDBytes);
  }
}

// Counted and string pages: the key entries from the header on, the RecID
// slots from the page's end.
void SwapCounted(bool strings, uint8_t* d, uint32_t size, const FBL_KeyOrder& order,
                 bool toMachine) {
  const uint32_t keys = SwapCount<uint16_t>(d, toMachine);
  const uint32_t recIDs = SwapCount<uint16_t>(d + 2, toMachine);
  const uint32_t fixedKey = strings ? 0 : order.GetMaxKeySize();
  uint32_t area = keys * (fixedKey + 4);
  const uint32_t header = strings ? kStringHeader : kCountedHeader;
  if (strings) {
    Reverse(d + 4, 2);
    area = SwapCount<uint16_t>(d + 6, toMachine);
  }
  if (uint64_t{header} + area + uint64_t{recIDs} * kRecIDBytes > size) return;
  uint32_t off = header;
  for (uint32_t j = 0; j < keys; ++j) {
    if (off >= header + area) return;
    const uint32_t length = strings ? 1u + d[off] : fixedKey;
    if (off + length + 4 > header + area) return;
    if (!strings) order.SwapKeyBytes(d + off);
    Reverse(d + off + length, 4);
    off += length + 4;
  }
  for (uint32_t s = 0; s < recIDs; ++s) Reverse(d + size - kRecIDBytes * (s + 1), kRecIDBytes);
}

void SwapAddressed(uint8_t* d, uint32_t size, bool toMachine) {
  const uint32_t n = SwapCount<uint32_t>(d, toMachine);
  Reverse(d + 4, 4);
  if (n > (size - kAddressedHeader) / kRecIDBytes) return;
  for (uint32_t i = 0; i < n; ++i) Reverse(d + kAddressedHeader + kRecIDBytes * i, kRecIDBytes);
}

}  // namespace

void SwapPage(PageLayout layout, uint8_t* page, uint32_t size, const FBL_KeyOrder& order,
              bool toMachine) {
  switch (layout) {
    case PageLayout::kUnique:
      return SwapUnique(page, size, order, toMachine);
    case PageLayout::kCounted:
      return SwapCounted(false, page, size, order, toMachine);
    case PageLayout::kString:
      return SwapCounted(true, page, size, order, toMachine);
    case PageLayout::kAddressed:
      return SwapAddressed(page, size, toMachine);
  }
}

}  // namespace zindex
