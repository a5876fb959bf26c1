// Integers of the database formats in either byte order. A volume records
// its order (little-endian or big-endian); every multi-byte field is stored
// in it, whatever the machine's own order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zorder {

inline uint16_t LoadU16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1])
                   : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

inline uint32_t LoadU32(const uint8_t* p, bool bigEndian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[bigEndian ? i : 3 - i]) << (24 - 8 * i);
  return v;
}

inline uint64_t LoadU64(const uint8_t* p, bool bigEndian) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(p[bigEndian ? i : 7 - i]) << (56 - 8 * i);
  return v;
}

inline void StoreU16(uint8_t* p, uint16_t v, bool bigEndian) {
  p[bigEndian ? 0 : 1] = static_cast<uint8_t>(v >> 8);
  p[bigEndian ? 1 : 0] = static_cast<uint8_t>(v);
}

inline void StoreU32(uint8_t* p, uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) p[bigEndian ? i : 3 - i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

inline void StoreU64(uint8_t* p, uint64_t v, bool bigEndian) {
  for (int i = 0; i < 8; ++i) p[bigEndian ? i : 7 - i] = static_cast<uint8_t>(v >> (56 - 8 * i));
}

// Integers in this machine's order at any address: pages of a volume of
// the other byte order are held in machine order once converted.
template <class T>
inline T LoadNative(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
inline void StoreNative(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// Reverses n bytes in place (one integer to the other byte order).
inline void Reverse(uint8_t* p, size_t n) {
  std::reverse(p, p + n);
}

}  // namespace zorder
