#include "regex/character_tables.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <map>
#include <memory>
#include <mutex>

namespace zregex {

namespace {

constexpr size_t kLowerCase = 0;
constexpr size_t kOtherCase = 256;
constexpr size_t kBitmaps = 512;
constexpr size_t kTypes = 832;

// Offsets of the bitmaps from kBitmaps.
enum Bitmap : size_t {
  kSpaceBits = 0,
  kXDigitBits = 32,
  kDigitBits = 64,
  kUpperBits = 96,
  kLowerBits = 128,
  kWordBits = 160,
  kGraphBits = 192,
  kPrintBits = 224,
  kPunctBits = 256,
  kCntrlBits = 288,
};

enum TypeBit : uint8_t {
  kTypeSpace = 0x01,
  kTypeLetter = 0x02,
  kTypeLowerLetter = 0x04,
  kTypeDigit = 0x08,
  kTypeWord = 0x10,
};

struct ByteClass {
  bool space = false, xdigit = false, digit = false, upper = false, lower = false;
  bool alpha = false, graph = false, print = false, cntrl = false;
  bool Alnum() const { return alpha || digit; }
  bool Punct() const { return graph && !Alnum(); }
};

ByteClass ClassifyAscii(uint8_t c) {
  ByteClass k;
  k.cntrl = c < 0x20 || c == 0x7F;
  k.space = c == ' ' || (c >= '\t' && c <= '\r');
  k.digit = c >= '0' && c <= '9';
  k.upper = c >= 'A' && c <= 'Z';
  k.lower = c >= 'a' && c <= 'z';
  k.alpha = k.upper || k.lower;
  k.xdigit = k.digit || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
  k.graph = c > ' ' && c < 0x7F;
  k.print = c >= ' ' && c < 0x7F;
  return k;
}

// The POSIX-compatible classes of Unicode regular expressions, except that
// punctuation is every graphic character that is not alphanumeric, as in
// the "C" locale.
ByteClass ClassifyCharacter(char32_t c) {
  ByteClass k;
  const auto cp = static_cast<UChar32>(c);
  k.cntrl = u_charType(cp) == U_CONTROL_CHAR;
  k.space = u_isUWhiteSpace(cp);
  k.upper = u_isUUppercase(cp);
  k.lower = u_isULowercase(cp);
  k.alpha = u_isUAlphabetic(cp) || k.upper || k.lower;
  k.graph = u_hasBinaryProperty(cp, UCHAR_POSIX_GRAPH);
  k.print = u_hasBinaryProperty(cp, UCHAR_POSIX_PRINT);
  return k;
}

// What byte b means, read back: the byte standing for a character.
class ByteOf {
 public:
  explicit ByteOf(const ByteMeanings& meanings) {
    for (int b = 255; b >= 0; --b) {
      if (meanings[b] != kNoCharacter) mBytes[meanings[b]] = static_cast<uint8_t>(b);
    }
  }
  // False when no byte stands for c.
  bool Find(char32_t c, uint8_t& byte) const {
    auto it = mBytes.find(c);
    if (it == mBytes.end()) return false;
    byte = it->second;
    return true;
  }

 private:
  std::map<char32_t, uint8_t> mBytes;
};

}  // namespace

ByteMeanings AsciiMeanings() {
  ByteMeanings meanings;
  for (int b = 0; b < 256; ++b) meanings[b] = b < 0x80 ? char32_t(b) : kNoCharacter;
  return meanings;
}

CharacterTables::CharacterTables(const ByteMeanings& given) {
  ByteMeanings meanings = given;
  for (int b = 0; b < 0x80; ++b) meanings[b] = char32_t(b);
  const ByteOf byteOf(meanings);
  uint8_t* bits = mTables.data() + kBitmaps;
  for (int b = 0; b < 256; ++b) {
    mTables[kLowerCase + b] = static_cast<uint8_t>(b);
    mTables[kOtherCase + b] = static_cast<uint8_t>(b);
  }
  for (int b = 0; b < 256; ++b) {
    const char32_t c = meanings[b];
    if (c == kNoCharacter) continue;
    const ByteClass k = b < 0x80 ? ClassifyAscii(static_cast<uint8_t>(b)) : ClassifyCharacter(c);
    const auto set = [&](size_t bitmap, bool on) {
      if (on) bits[bitmap + b / 8] |= static_cast<uint8_t>(1u << (b % 8));
    };
    set(kSpaceBits, k.space);
    set(kXDigitBits, k.xdigit);
    set(kDigitBits, k.digit);
    set(kUpperBits, k.upper);
    set(kLowerBits, k.lower);
    set(kWordBits, k.Alnum() || b == '_');
    set(kGraphBits, k.graph);
    set(kPrintBits, k.print);
    set(kPunctBits, k.Punct());
    set(kCntrlBits, k.cntrl);
    mTables[kTypes + b] =
        static_cast<uint8_t>((k.space ? kTypeSpace : 0) | (k.alpha ? kTypeLetter : 0) |
                             (k.lower ? kTypeLowerLetter : 0) | (k.digit ? kTypeDigit : 0) |
                             (k.Alnum() || b == '_' ? kTypeWord : 0));
    const auto lower = static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
    uint8_t partner = 0;
    if (lower != c && byteOf.Find(lower, partner) &&
        static_cast<char32_t>(u_toupper(static_cast<UChar32>(lower))) == c) {
      mTables[kLowerCase + b] = partner;
      mTables[kOtherCase + b] = partner;
      mTables[kOtherCase + partner] = static_cast<uint8_t>(b);
    }
  }
}

bool DecodeCodePage(const std::string& codePage, ByteMeanings& meanings) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> converter(ucnv_open(codePage.c_str(), &status),
                                                               ucnv_close);
  if (U_FAILURE(status) || !converter) return false;
  // A byte that is no character alone must fail, not turn into a substitute.
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return false;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const char* source = &byte;
    status = U_ZERO_ERROR;
    ucnv_resetToUnicode(converter.get());
    const UChar32 c = ucnv_getNextUChar(converter.get(), &source, &byte + 1, &status);
    meanings[b] = U_SUCCESS(status) && c >= 0 ? static_cast<char32_t>(c) : kNoCharacter;
  }
  return true;
}

const CharacterTables* TablesForCodePage(const std::string& codePage) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<CharacterTables>> made;
  if (codePage.empty()) return nullptr;
  std::lock_guard lock(mutex);
  auto it = made.find(codePage);
  if (it == made.end()) {
    ByteMeanings meanings;
    std::unique_ptr<CharacterTables> tables;
    if (DecodeCodePage(codePage, meanings)) tables = std::make_unique<CharacterTables>(meanings);
    it = made.emplace(codePage, std::move(tables)).first;
  }
  return it->second.get();
}

}  // namespace zregex
