#include "regex/character_tables.h"

#include <gtest/gtest.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <clocale>
#include <cstring>
#include <string>
#include <string_view>

#include "regex/pattern.h"

namespace {

using zregex::CharacterTables;
using zregex::TablesForCodePage;

// Built from bytes 0..127 alone, the tables are byte for byte those the
// matcher makes itself for the "C" locale: the layout is the one it reads.
TEST(RegexCharacterTables, AsciiTablesAreThoseOfTheCLocale) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  const uint8_t* own = pcre2_maketables(nullptr);
  ASSERT_NE(own, nullptr);
  const CharacterTables ascii(zregex::AsciiMeanings());
  for (size_t i = 0; i < zregex::kTablesLength; ++i)
    ASSERT_EQ(ascii.Data()[i], own[i]) << "at byte " << i;
  pcre2_maketables_free(nullptr, own);
}

TEST(RegexCharacterTables, MadeOncePerCodePage) {
  const CharacterTables* western = TablesForCodePage("windows-1252");
  ASSERT_NE(western, nullptr);
  EXPECT_EQ(TablesForCodePage("windows-1252"), western);
  EXPECT_NE(TablesForCodePage("windows-1251"), western);
  EXPECT_EQ(TablesForCodePage(""), nullptr);
  EXPECT_EQ(TablesForCodePage("no-such-code-page"), nullptr);
}

struct Case {
  const char* codePage;  // "" for the plain tables
  std::string_view pattern;
  std::string_view text;
  bool found;
};

// Classes and letter case follow what each byte means in the code page.
const Case kCodePages[] = {
    // Western (1252): É 0xC9 / é 0xE9, ß 0xDF, ª 0xAA, ¿ 0xBF, no-break
    // space 0xA0, ² 0xB2, Ÿ 0x9F / ÿ 0xFF, È 0xC8 / è 0xE8.
    {"windows-1252", "(?i)\xC9T\xC9", "l'\xE9t\xE9", true},
    {"windows-1252", "\xC9T\xC9", "l'\xE9t\xE9", false},
    {"windows-1252", "(?i)\xFF", "\x9F", true},
    {"windows-1252", "(?i)\xC9", "E", false},
    {"windows-1252", "^[[:upper:]]+$", "\xC9\xC8\x9F", true},
    {"windows-1252", "[[:upper:]]", "\xE9\xE8\xFF\xDF", false},
    {"windows-1252", "^[[:lower:]]+$", "\xE9\xE8\xFF\xDF", true},
    {"windows-1252", "^[[:alpha:]]+$", "\xC9l\xE8ve\xAA\xDF", true},
    {"windows-1252", "^\\w+$", "\xE9l\xE8ve_2", true},
    {"windows-1252", "^[[:punct:]]+$", "\xBF?\xAB", true},
    {"windows-1252", "[[:punct:]]", "\xE9\xA0", false},
    {"windows-1252", "^[[:space:]]$", "\xA0", true},
    {"windows-1252", "^[[:blank:]]$", "\xA0", true},
    {"windows-1252", "^[[:print:]]$", "\xA0", true},
    {"windows-1252", "[[:graph:]]", "\xA0", false},
    {"windows-1252", "[[:digit:][:xdigit:]]", "\xB2\xB9", false},
    {"windows-1252", "[[:cntrl:]]", "\xE9\xA0", false},
    // The plain tables know nothing above 127.
    {"", "(?i)\xC9", "\xE9", false},
    {"", "[[:alpha:][:space:][:punct:]]", "\xE9\xA0\xBF", false},
    // Cyrillic (1251): МОСКВА / москва, Ё 0xA8 / ё 0xB8, я 0xFF.
    {"windows-1251", "(?i)\xCC\xCE\xD1\xCA\xC2\xC0", "\xEC\xEE\xF1\xEA\xE2\xE0", true},
    {"windows-1251", "\xCC\xCE\xD1\xCA\xC2\xC0", "\xEC\xEE\xF1\xEA\xE2\xE0", false},
    {"windows-1251", "(?i)\xA8", "\xB8", true},
    // Я 0xDF / я 0xFF: the byte 255 first or last in a caseless pattern.
    {"windows-1251", "(?i)\xFF", "\xDF", true},
    {"windows-1251", "(?i)\xDF", "\xFF", true},
    {"windows-1251", "(?i)x\xFF", "x\xDF", true},
    {"windows-1251", "\xFF(?i)\xFF", "\xFF\xDF", true},
    {"windows-1251", "\xFF(?i)\xFF", "\xDF\xDF", false},
    {"windows-1251", "^[[:upper:]]+$", "\xCC\xCE\xA8", true},
    {"windows-1251", "^[[:lower:]]+$", "\xEC\xEE\xB8\xFF", true},
    {"windows-1251", "^\\w{3}$", "\xFF\xFF\xFF", true},
    // Turkish (1254): İ 0xDD and ı 0xFD are no case pair with i and I.
    {"windows-1254", "(?i)I", "\xFD", false},
    {"windows-1254", "(?i)\xDD", "i", false},
    {"windows-1254", "(?i)I", "i", true},
    {"windows-1254", "^[[:alpha:]]+$", "\xDD\xFD", true},
    // Japanese (932): a lead byte is no character alone; ASCII is as ever.
    {"windows-932", "[[:alpha:][:punct:]]", "\x82", false},
    {"windows-932", "(?i)^ABC$", "abc", true},
};

TEST(RegexCharacterTables, ClassesAndCasesOfCodePages) {
  for (bool machineCode : {true, false}) {
    zregex::SearchSettings settings;
    settings.machineCode = machineCode;
    for (const Case& c : kCodePages) {
      const CharacterTables* tables = nullptr;
      if (*c.codePage != 0) {
        tables = TablesForCodePage(c.codePage);
        ASSERT_NE(tables, nullptr) << c.codePage;
      }
      zregex::Pattern pattern(c.pattern, false, tables, settings);
      EXPECT_EQ(pattern.Search(c.text.data(), c.text.size()), c.found)
          << c.codePage << " /" << c.pattern << "/, machine code " << machineCode;
    }
  }
}

}  // namespace
