// FBL_KeyOrder: what index pages and sorters need to know of a column's
// index keys: their size, their order, and the shortcuts that let them
// compare keys without a call per comparison. Fields implement it
// (FBL_BaseField); the index layer sees a column only through it.
//
// A key is the bytes MakeKey of the field writes: a fixed key is the stored
// value in machine order (GetMaxKeySize() bytes); a variable key is a
// length byte and at most 255 bytes of text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

class FBL_KeyOrder {
 public:
  // Longest key of any column: a length byte and 255 bytes of text.
  static constexpr uint32_t kMaxKeySize = 256;

  virtual ~FBL_KeyOrder() = default;

  virtual bool HasFixedKey() const = 0;
  virtual uint32_t GetMaxKeySize() const = 0;
  virtual uint32_t GetKeyLength(const uint8_t* key) const = 0;
  // Negative, 0 or positive as left sorts before, with or after right.
  virtual int CompareKeys(const uint8_t* left, const uint8_t* right) const = 0;
  // Whether CompareKeys is the plain byte order of variable keys: unsigned
  // bytes over the shorter length, the shorter first when equal. May change
  // with the column's language: ask once per operation.
  virtual bool KeysCompareAsBytes() const = 0;
  // Whether fixed keys map to order bits: 64-bit numbers that sort as
  // CompareKeys sorts the keys, equal keys (0 and -0) alike; NaN last.
  virtual bool HasKeyOrderBits() const = 0;
  virtual uint64_t KeyOrderBits(const uint8_t* key) const = 0;
  // Whether keys are integers of 1, 2, 4 or 8 bytes in machine order,
  // compared as numbers (compared inline by their readers).
  virtual bool HasIntegerKeys(uint32_t& width, bool& isSigned) const = 0;
  // Reverses a fixed key's bytes for a volume of the other byte order;
  // variable keys stay as they are.
  virtual void SwapKeyBytes(uint8_t* key) const = 0;

  // The byte order of variable keys (KeysCompareAsBytes).
  static int CompareAsBytes(const uint8_t* left, const uint8_t* right) {
    int c = std::memcmp(left + 1, right + 1, std::min(left[0], right[0]));
    return c != 0 ? c : int{left[0]} - int{right[0]};
  }
  // The first 8 bytes of a text as a big-endian number, zero-padded: keys
  // that compare as bytes order as the prefixes of their texts where those
  // differ.
  static uint64_t BytesPrefix(const uint8_t* text, uint32_t length) {
    uint64_t prefix = 0;
    for (uint32_t i = 0; i < 8; ++i) prefix = (prefix << 8) | (i < length ? text[i] : 0);
    return prefix;
  }
  static uint64_t BytesPrefix(const uint8_t* key) { return BytesPrefix(key + 1, key[0]); }
  // CompareAsBytes of keys whose BytesPrefix is known.
  static int CompareAsBytes(const uint8_t* left, uint64_t leftPrefix, const uint8_t* right,
                            uint64_t rightPrefix) {
    if (leftPrefix != rightPrefix) return leftPrefix < rightPrefix ? -1 : 1;
    if (left[0] <= 8 && right[0] <= 8) return int{left[0]} - int{right[0]};
    return CompareAsBytes(left, right);
  }
  // CompareKeys, or without a call when asBytes (KeysCompareAsBytes asked
  // before).
  int CompareKeysAs(bool asBytes, const uint8_t* left, const uint8_t* right) const {
    return asBytes ? CompareAsBytes(left, right) : CompareKeys(left, right);
  }
};
