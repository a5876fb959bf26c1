// Index keys of text and byte-string columns, and the key bounds of text
// searches.
//
// Key format: one length byte n (0..255), then the first n bytes of the
// value (a text without its terminating NUL). Keys compare by the column's
// language over those bytes; byte-string keys in plain unsigned byte order,
// a shorter key before a longer one that begins with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FBL_Language;

// Longest value part of a key.
inline constexpr uint32_t kMaxKeyTextBytes = 255;

namespace zv {

// Writes the key of the first bytes of a value; returns its length (1 + n).
// REQUIRES: out has room for 1 + min(length, 255) bytes.
uint32_t MakeTextKey(uint8_t* out, const char* text, size_t length);
inline std::string MakeTextKey(const char* text, size_t length) {
  uint8_t key[1 + kMaxKeyTextBytes];
  uint32_t n = MakeTextKey(key, text, length);
  return std::string(reinterpret_cast<const char*>(key), n);
}

// -1, 0 or +1 by the language (plain byte order for a null language).
int CompareTextKeys(const FBL_Language* language, const uint8_t* left, const uint8_t* right);

}  // namespace zv

// The keys of a text indexed by words: the text split at white space (the C
// library's class), empty words dropped, each word cut to 255 bytes, sorted
// by the language (byte order between words the language finds equal, so
// that equal bytes meet), and words of equal bytes kept once.
void MakeWordKeysOf(const char* text, size_t length, const FBL_Language& language,
                    std::vector<std::string>& keys);

// The key bounds of a text range search. A missing bound (hasLeft or
// hasRight false) leaves its side open.
struct FBL_TextRangeKeys {
  bool hasLeft = false;
  bool hasRight = false;
  bool leftIncluded = false;
  bool rightIncluded = false;
  std::string left;
  std::string right;
  // The bounds as index keys; null for an open side.
  const uint8_t* LeftKey() const { return Bound(hasLeft, left); }
  const uint8_t* RightKey() const { return Bound(hasRight, right); }

 private:
  static const uint8_t* Bound(bool has, const std::string& key) {
    return has ? reinterpret_cast<const uint8_t*>(key.data()) : nullptr;
  }
};

// Makes the keys of a range given by texts (null: open side), each text cut
// to maxChars bytes first as the column's SetString does. The same text on
// both sides with the left included and the right excluded asks for every
// value beginning with it: the right key then gets the language's greatest
// character appended (replacing the last byte when the key is full) and both
// bounds become included.
FBL_TextRangeKeys MakeTextRangeKeys(const char* left, bool leftIncluded, const char* right,
                                    bool rightIncluded, size_t maxChars, uint8_t greatestChar);

namespace zv {

// The part of text a quoted value holds: a leading single or double quote
// is skipped and the value ends at the next single or double quote. A text
// without a leading quote is taken whole. consumed receives the characters
// read, closing quote included.
std::string ReadQuotedText(const char* text, size_t* consumed = nullptr);

}  // namespace zv
