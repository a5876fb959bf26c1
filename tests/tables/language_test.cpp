#include "kernel/tables/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/tables/mac_roman.h"

namespace {

std::vector<std::string> Sorted(const FBL_Language& language, std::vector<std::string> words) {
  std::sort(words.begin(), words.end(), [&](const std::string& a, const std::string& b) {
    return language.Compare(a.data(), a.size(), b.data(), b.size()) < 0;
  });
  return words;
}

// "cote coté côte côté" in the Western 8-bit set.
const std::string kCote = "cote", kCoteE = "cot\xE9", kCoteO = "c\xF4te", kCoteOE = "c\xF4t\xE9";

}  // namespace

TEST(Language, AsciiIsPlainByteOrder) {
  const FBL_Language& ascii = zv::AsciiLanguage();
  EXPECT_EQ(zv::FindLanguage("ASCII"), &ascii);
  EXPECT_EQ(Sorted(ascii, {"a", "B", "ab", "", "\xE9", "A"}),
            (std::vector<std::string>{"", "A", "B", "a", "ab", "\xE9"}));
  EXPECT_EQ(ascii.Compare("ab", 2, "ab", 2), 0);
  EXPECT_EQ(ascii.GetGreatestChar(), 255);
  EXPECT_EQ(ascii.GetLocaleId(), 0u);
}

TEST(Language, FrenchAndFrenchCanadianDifferOnAccents) {
  const FBL_Language* french = zv::FindLanguage("French");
  const FBL_Language* canadian = zv::FindLanguage("French Canadian");
  ASSERT_NE(french, nullptr);
  ASSERT_NE(canadian, nullptr);
  const std::vector<std::string> words = {kCoteOE, kCote, kCoteO, kCoteE};
  EXPECT_EQ(Sorted(*french, words), (std::vector<std::string>{kCote, kCoteE, kCoteO, kCoteOE}));
  // Canadian usage weighs the last accent first.
  EXPECT_EQ(Sorted(*canadian, words), (std::vector<std::string>{kCote, kCoteO, kCoteE, kCoteOE}));
  EXPECT_EQ(french->GetLocaleId(), 0x0Cu);
  EXPECT_EQ(canadian->GetLocaleId(), 0x3000Cu);
}

TEST(Language, NamesAndIdentifiers) {
  EXPECT_EQ(zv::LanguageLocaleId("Afrikaans"), 54u);
  EXPECT_EQ(zv::LanguageLocaleId("Albanian"), 28u);
  EXPECT_EQ(zv::LanguageLocaleId("Armenian"), 43u);
  EXPECT_EQ(zv::LanguageLocaleId("Bangladesh"), 69u);
  EXPECT_EQ(zv::LanguageLocaleId("Byelorussian"), 35u);
  EXPECT_EQ(zv::LanguageLocaleId("Croatian"), 26u);
  EXPECT_EQ(zv::LanguageLocaleId("Dutch"), 19u);
  EXPECT_EQ(zv::LanguageLocaleId("English"), 9u);
  EXPECT_EQ(zv::LanguageLocaleId("Hindi"), 57u);
  EXPECT_EQ(zv::LanguageLocaleId("Simplified Chinese"), 0x20004u);
  EXPECT_EQ(zv::LanguageLocaleId("Traditional Chinese"), 0x10004u);
  EXPECT_EQ(zv::LanguageLocaleId("Klingon"), 0u);
  EXPECT_EQ(zv::FindLanguage("Klingon"), nullptr);
  EXPECT_EQ(zv::FindLanguage("french"), nullptr);                     // names match exactly
  EXPECT_EQ(zv::FindLanguage("German"), zv::FindLanguage("German"));  // made once
}

TEST(Language, EveryLanguageComparesItsOwnCharacterSet) {
  for (const char* name : {"Russian", "Greek", "Japanese", "Korean", "Thai", "Turkish", "Polish",
                           "Arabic", "Hebrew", "Vietnamese", "Traditional Chinese", "Basque"}) {
    const FBL_Language* language = zv::FindLanguage(name);
    ASSERT_NE(language, nullptr) << name;
    EXPECT_EQ(language->Compare("abc", 3, "abc", 3), 0) << name;
    EXPECT_LT(language->Compare("abc", 3, "abd", 3), 0) << name;
    EXPECT_GT(language->GetGreatestChar(), 0) << name;
  }
  // Cyrillic in its own code page: "Ё" (0xA8) sorts between "Е" (0xC5) and
  // "Ж" (0xC6), where byte order would put it before both.
  const FBL_Language* russian = zv::FindLanguage("Russian");
  EXPECT_LT(russian->Compare("\xE0", 1, "\xE1", 1), 0);
  EXPECT_GT(russian->Compare("\xA8", 1, "\xC5", 1), 0);
  EXPECT_LT(russian->Compare("\xA8", 1, "\xC6", 1), 0);
}

TEST(Language, GreatestCharacterSortsLast) {
  for (const char* name : {"English", "German", "Russian"}) {
    const FBL_Language* language = zv::FindLanguage(name);
    const char greatest = static_cast<char>(language->GetGreatestChar());
    for (int c = 1; c < 256; ++c) {
      const char other = static_cast<char>(c);
      EXPECT_LE(language->Compare(&other, 1, &greatest, 1), 0) << name << " " << c;
    }
  }
}

TEST(MacRoman, TablesAreEachOthersInverse) {
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(zv::FromMacRomanByte(zv::ToMacRomanByte(uint8_t(b))), b);
    EXPECT_EQ(zv::ToMacRomanByte(zv::FromMacRomanByte(uint8_t(b))), b);
  }
  EXPECT_EQ(zv::ToMacRomanByte(0xC4), 0x80);
  EXPECT_EQ(zv::FromMacRomanByte(0x80), 0xC4);
  std::string text = "A\xC4\xE9z";
  zv::ToMacRoman(text.data(), text.size());
  EXPECT_EQ(text, "A\x80\x8Ez");
  zv::FromMacRoman(text.data(), text.size());
  EXPECT_EQ(text, "A\xC4\xE9z");
}
