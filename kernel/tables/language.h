// Languages decide how texts of string fields compare and sort.
//
// "ASCII" compares bytes as unsigned numbers (a text sorts before every
// longer text that begins with it). Every other language compares by the
// conventions of its locale. Languages live in one process-wide list, made
// on first use and never freed, so pointers to them stay valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class Collator;
}

class FBL_Language {
 public:
  FBL_Language(std::string name, uint32_t localeId, std::string codePage,
               std::unique_ptr<platform::Collator> collator);
  ~FBL_Language();

  const std::string& GetName() const { return mName; }
  // The Windows primary language identifier (with a sort order for French
  // Canadian and the two Chinese variants); 0 for "ASCII".
  uint32_t GetLocaleId() const { return mLocaleId; }
  // The 8-bit character set of the language's texts ("windows-1251");
  // empty for "ASCII".
  const std::string& GetCodePage() const { return mCodePage; }
  // -1, 0 or +1.
  int Compare(const char* a, size_t aLength, const char* b, size_t bLength) const;
  // The byte among 1..255 that sorts last (the lowest one on ties); it
  // closes the upper bound of prefix searches.
  uint8_t GetGreatestChar() const { return mGreatestChar; }

 private:
  std::string mName;
  uint32_t mLocaleId;
  std::string mCodePage;
  std::unique_ptr<platform::Collator> mCollator;  // null for "ASCII"
  uint8_t mGreatestChar;
};

namespace zv {

// The language of that exact name, or null for a name not in the list.
const FBL_Language* FindLanguage(const std::string& name);
const FBL_Language& AsciiLanguage();
// The locale identifier of a language name; 0 for an unknown name.
uint32_t LanguageLocaleId(const std::string& name);
// Compares unsigned bytes over the shorter length, then by length.
int CompareAscii(const char* a, size_t aLength, const char* b, size_t bLength);

}  // namespace zv
