#include "regex/pattern.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace {

using namespace std::string_literals;
using zregex::Pattern;
using zregex::SearchSettings;

struct Case {
  std::string_view pattern;
  bool caseless;
  std::string text;
  bool found;
};

// One text of each named class that matches and one that does not; then
// the case options, counted repetition, anchors and alternation. Plain
// tables: only bytes 0..127 belong to classes.
const Case kDialect[] = {
    {"^[[:alnum:]]+$", false, "abcXYZ019", true},
    {"[[:alnum:]]", false, "-_ !\xE9", false},
    {"^[[:alpha:]]+$", false, "Hello", true},
    {"[[:alpha:]]", false, "123 _\xC9", false},
    {"^[[:blank:]]+$", false, " \t", true},
    {"[[:blank:]]", false, "\n\r\v\fx", false},
    {"^[[:cntrl:]]+$", false, "\x01\x1F\x7F\n", true},
    {"[[:cntrl:]]", false, "a ~\x80", false},
    {"^[[:digit:]]+$", false, "0123456789", true},
    {"[[:digit:]]", false, "abcXYZ\xB2", false},
    {"^[[:graph:]]+$", false, "!a~0", true},
    {"[[:graph:]]", false, " \t\x7F", false},
    {"^[[:lower:]]+$", false, "abcz", true},
    {"[[:lower:]]", false, "ABC123", false},
    {"^[[:print:]]+$", false, "a b~", true},
    {"[[:print:]]", false, "\t\n\x7F", false},
    {"^[[:punct:]]+$", false, "!$_.~@[`{", true},
    {"[[:punct:]]", false, "aZ09 \t", false},
    {"^[[:space:]]+$", false, " \t\n\v\f\r", true},
    {"[[:space:]]", false, "ab_\xA0", false},
    {"^[[:upper:]]+$", false, "ABCZ", true},
    {"[[:upper:]]", false, "abc123", false},
    {"^[[:xdigit:]]+$", false, "09afAF", true},
    {"[[:xdigit:]]", false, "gG-z", false},
    {"[^[:alpha:][:space:]]", false, "only words here", false},
    {"[^[:alpha:][:space:]]", false, "words, here", true},
    // Case: the flag, inline options on and off, and their scope.
    {"hello", false, "HELLO", false},
    {"hello", true, "HeLLo world", true},
    {"(?i)hello", false, "say HELLO", true},
    {"(?-i)hello", true, "HELLO", false},
    {"a(?i)b", false, "aB", true},
    {"a(?i)b", false, "AB", false},
    {"a(?i:b)c", false, "aBc", true},
    {"a(?i:b)c", false, "aBC", false},
    {"(?x) a  b  # spaces and comments are ignored", false, "ab", true},
    {"a.b", false, "a\nb", false},
    {"(?s)a.b", false, "a\nb", true},
    {"^b", false, "a\nb", false},
    {"(?m)^b", false, "a\nb", true},
    // Counted repetition.
    {"^a{2,3}$", false, "a", false},
    {"^a{2,3}$", false, "aa", true},
    {"^a{2,3}$", false, "aaa", true},
    {"^a{2,3}$", false, "aaaa", false},
    {"^(ab){2}$", false, "abab", true},
    {"^(ab){2}$", false, "ababab", false},
    {"^x{3,}$", false, "xx", false},
    {"^x{3,}$", false, "xxxxxxx", true},
    {"^[0-9]{4}-[0-9]{2}$", false, "2024-05", true},
    {"^[[:digit:]]{2,3}?7", false, "1237", true},
    // Anchors; a search finds the pattern anywhere.
    {"ell", false, "hello", true},
    {"^abc", false, "abcdef", true},
    {"^abc", false, "xabc", false},
    {"abc$", false, "xxabc", true},
    {"abc$", false, "abcx", false},
    {"\\Aab\\z", false, "ab", true},
    {"\\Aab\\z", false, "ab\n", false},
    {"\\bcat\\b", false, "a cat sat", true},
    {"\\bcat\\b", false, "concat", false},
    {"", false, "", true},
    {"x", false, "", false},
    {"^$", false, "", true},
    // Alternation, groups and back references.
    {"cat|dog", false, "hotdog", true},
    {"cat|dog", false, "cow", false},
    {"^(cat|dog)s?$", false, "cats", true},
    {"^(cat|dog)s?$", false, "cows", false},
    {"^(?:ab|cd)+$", false, "abcdab", true},
    {"(a|b)c\\1", false, "bcb", true},
    {"(a|b)c\\1", false, "bca", false},
    {"(?i)(a)\\1", false, "aA", true},
    // Bytes above 127 and NUL stand for themselves.
    {"t\\xE9", false, "\xE9t\xE9", true},
    {"a\\x00b", false, "xa\0b"s, true},
    {"^a.b$", false, "a\0b"s, true},
};

// Machine code and the interpreter agree.
TEST(RegexPattern, Dialect) {
  for (bool machineCode : {true, false}) {
    SearchSettings settings;
    settings.machineCode = machineCode;
    for (const Case& c : kDialect) {
      Pattern pattern(c.pattern, c.caseless, nullptr, settings);
      EXPECT_EQ(pattern.Search(c.text.data(), c.text.size()), c.found)
          << "/" << c.pattern << "/ on \"" << c.text << "\", machine code " << machineCode;
    }
  }
}

// The message of the exception f raises; its code in code.
std::string Failure(const std::function<void()>& f, int& code) {
  code = 0;
  try {
    f();
  } catch (const xFBL_Exception& e) {
    code = e.Code;
    std::string message;
    e.GetErrorString(message);
    return message;
  }
  return {};
}

TEST(RegexPattern, BadPatternsAreParserErrors) {
  const struct {
    std::string_view pattern;
    std::string_view offset;
  } kBad[] = {
      {"a(b", "offset 3"},    {"a)", "offset 1"},         {"[[:alpah:]]", "offset"},
      {"a{3,2}", "offset 5"}, {"*a", "offset 0"},         {"x\\", "offset 2"},
      {"(?<name", "offset"},  {"(*UTF)abc", "offset"},    {"(*UCP)\\w", "offset"},
      {"[z-a]", "offset 3"},  {"(?P=missing)", "offset"}, {"a\\k", "offset"},
  };
  for (const auto& bad : kBad) {
    int code = 0;
    const std::string message = Failure([&] { Pattern p(bad.pattern, false, nullptr); }, code);
    EXPECT_EQ(code, ERR_PARSER) << bad.pattern;
    EXPECT_NE(message.find(bad.offset), std::string::npos) << bad.pattern << ": " << message;
  }
}

TEST(RegexPattern, RunawaySearchesStopWithAnError) {
  // Exponential backtracking: every way of splitting the run of a's.
  Pattern nested("(a+)+$", false, nullptr);
  const std::string run = std::string(40, 'a') + "b";
  int code = 0;
  std::string message = Failure([&] { nested.Search(run.data(), run.size()); }, code);
  EXPECT_EQ(code, ERR_PARSER);
  EXPECT_NE(message.find("backtracking steps"), std::string::npos) << message;
  // The pattern stays usable.
  EXPECT_TRUE(nested.Search("aaa", 3));
  EXPECT_FALSE(nested.Search("aab", 3));

  // A match that needs one backtracking point per byte: found within the
  // usual limits, refused with a small depth limit.
  const std::string longRun = std::string(200'000, 'a') + "x";
  Pattern deep("(a|b)*x", false, nullptr);
  EXPECT_TRUE(deep.Search(longRun.data(), longRun.size()));
  SearchSettings settings;
  settings.depth = 1000;
  Pattern shallow("(a|b)*x", false, nullptr, settings);
  message = Failure([&] { shallow.Search(longRun.data(), longRun.size()); }, code);
  EXPECT_EQ(code, ERR_PARSER);
  EXPECT_NE(message.find("nested too deeply"), std::string::npos) << message;
  EXPECT_TRUE(shallow.Search("abx", 3));
}

}  // namespace
