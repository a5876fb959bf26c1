// Integers of the database formats in either byte order. A volume records
// its order (little-endian or big-endian); every multi-byte field is stored
// in it, whatever the machine's own order. The one place that assembles
// integers from bytes: formats and ciphers alike go through these.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zorder {

namespace detail {

// A native load or store, reversed when the wanted order is not the
// machine's; compilers make each one load or store and at most one bswap.
template <typename T>
inline T Load(const uint8_t* p, bool bigEndian) {
  T v;
  std::memcpy(&v, p, sizeof v);
  if (bigEndian != (std::endian::native == std::endian::big)) {
    if constexpr (sizeof(T) == 2) v = __builtin_bswap16(v);
    if constexpr (sizeof(T) == 4) v = __builtin_bswap32(v);
    if constexpr (sizeof(T) == 8) v = __builtin_bswap64(v);
  }
  return v;
}

template <typename T>
inline void Store(uint8_t* p, T v, bool bigEndian) {
  if (bigEndian != (std::endian::native == std::endian::big)) {
    if constexpr (sizeof(T) == 2) v = __builtin_bswap16(v);
    if constexpr (sizeof(T) == 4) v = __builtin_bswap32(v);
    if constexpr (sizeof(T) == 8) v = __builtin_bswap64(v);
  }
  std::memcpy(p, &v, sizeof v);
}

}  // namespace detail

inline uint16_t LoadU16(const uint8_t* p, bool bigEndian) {
  return detail::Load<uint16_t>(p, bigEndian);
}
inline uint32_t LoadU32(const uint8_t* p, bool bigEndian) {
  return detail::Load<uint32_t>(p, bigEndian);
}
inline uint64_t LoadU64(const uint8_t* p, bool bigEndian) {
  return detail::Load<uint64_t>(p, bigEndian);
}
inline void StoreU16(uint8_t* p, uint16_t v, bool bigEndian) {
  detail::Store(p, v, bigEndian);
}
inline void StoreU32(uint8_t* p, uint32_t v, bool bigEndian) {
  detail::Store(p, v, bigEndian);
}
inline void StoreU64(uint8_t* p, uint64_t v, bool bigEndian) {
  detail::Store(p, v, bigEndian);
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
