// The character tables a pattern is compiled with: which bytes are letters,
// digits, spaces and so on, and which bytes are each other's upper and lower
// case. Texts are 8-bit, in the code page of their language; the tables say
// what each byte stands for in that code page.
//
// Layout (the matcher's own, 1,088 bytes):
//   @0    256 bytes  lower case of each byte
//   @256  256 bytes  the other case of each byte (itself when it has none)
//   @512  320 bytes  ten 32-byte bitmaps, one bit per byte: space, xdigit,
//                    digit, upper, lower, word, graph, print, punct, cntrl
//   @832  256 bytes  a type byte per byte: 0x01 space, 0x02 letter,
//                    0x04 lower-case letter, 0x08 digit, 0x10 word
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zregex {

inline constexpr size_t kTablesLength = 1088;
// What a byte stands for when it is no character on its own: a lead byte
// of a multi-byte code page, or a byte its code page leaves undefined.
inline constexpr char32_t kNoCharacter = 0xFFFFFFFF;

using ByteMeanings = std::array<char32_t, 256>;

class CharacterTables {
 public:
  // Tables for bytes meaning the given Unicode characters. Bytes 0..127
  // always follow the plain rules of the "C" locale; a byte of kNoCharacter
  // belongs to no class. Digits and hexadecimal digits are "0" to "9" (and
  // the Latin letters a to f) only. Two bytes are each other's case only
  // when the case mappings of their characters lead from one to the other
  // in both directions.
  explicit CharacterTables(const ByteMeanings& meanings);

  const uint8_t* Data() const { return mTables.data(); }
  // The other case of a byte; the byte itself when it has none.
  uint8_t OtherCase(uint8_t byte) const { return mTables[256 + byte]; }

 private:
  std::array<uint8_t, kTablesLength> mTables{};
};

// The meaning of each byte of an 8-bit code page (an ICU converter name such
// as "windows-1251"); false for an unknown code page.
bool DecodeCodePage(const std::string& codePage, ByteMeanings& meanings);

// Bytes 0..127 as themselves, the others kNoCharacter.
ByteMeanings AsciiMeanings();

// The tables of a code page, made on first use and kept for the process;
// null for an empty name or a code page that is not known, where the
// matcher's plain tables apply. Safe to call from several threads.
const CharacterTables* TablesForCodePage(const std::string& codePage);

}  // namespace zregex
