#include "host/script_lexer.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::map<std::string, std::string> gVars = {{"db", "17"}, {"name", "a b"}, {"empty", ""}};

std::optional<std::string> LookUp(const std::string& name) {
  auto it = gVars.find(name);
  if (it == gVars.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<host::Word> words;
  std::string error;
  EXPECT_TRUE(host::SplitWords(line, LookUp, words, error)) << error;
  std::vector<std::string> texts;
  for (auto& w : words) texts.push_back(w.text);
  return texts;
}

std::string SplitError(const std::string& line) {
  std::vector<host::Word> words;
  std::string error;
  EXPECT_FALSE(host::SplitWords(line, LookUp, words, error));
  return error;
}

using V = std::vector<std::string>;

}  // namespace

TEST(ScriptLexer, WordsQuotesAndEscapes) {
  EXPECT_EQ(Split("  Version \t x  "), (V{"Version", "x"}));
  EXPECT_EQ(Split(R"(Cmd "a b" 'c d' "" '')"), (V{"Cmd", "a b", "c d", "", ""}));
  EXPECT_EQ(Split(R"("q\"\\\n\r\t\x41\x7e")"), (V{"q\"\\\n\r\tA~"}));
  EXPECT_EQ(Split(R"('it\'s)"), (V{"it\\s"}));       // single quotes take backslashes literally
  EXPECT_EQ(Split(R"(ab"c d"'e')"), (V{"abc de"}));  // adjacent pieces join
  EXPECT_EQ(Split("x => 1.11"), (V{"x", "=>", "1.11"}));
}

TEST(ScriptLexer, VariablesExpandOutsideSingleQuotes) {
  EXPECT_EQ(Split("Cmd $db ${db}x \"$name!\" '$db' $ $empty."),
            (V{"Cmd", "17", "17x", "a b!", "$db", "$", "."}));
  EXPECT_EQ(Split("$name"), (V{"a b"}));  // a value with a blank stays one word
}

TEST(ScriptLexer, QuotedWordsAreNotMarkers) {
  std::vector<host::Word> words;
  std::string error;
  ASSERT_TRUE(host::SplitWords(R"(=> "=>" '=')", LookUp, words, error));
  EXPECT_TRUE(words[0].bare);
  EXPECT_FALSE(words[1].bare);
  EXPECT_FALSE(words[2].bare);
}

TEST(ScriptLexer, MalformedLinesAreRejected) {
  EXPECT_EQ(SplitError("Cmd \"open"), "unterminated double quote");
  EXPECT_EQ(SplitError("Cmd 'open"), "unterminated single quote");
  EXPECT_EQ(SplitError("Cmd \"\\q\""), "unknown escape \\q");
  EXPECT_EQ(SplitError("Cmd \"\\x4\""), "\\x needs two hexadecimal digits");
  EXPECT_EQ(SplitError("Cmd $nothere"), "unknown variable nothere");
  EXPECT_EQ(SplitError("Cmd ${db"), "unterminated ${");
}
