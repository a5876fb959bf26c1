// The text matcher installed for the process: regular expressions of
// regex/ over the texts' 8-bit code page, with the character tables of the
// field's language ("ASCII" keeps the plain ones).
#include <memory>
#include <string>

#include "kernel/tables/language.h"
#include "kernel/tables/text_matcher.h"
#include "regex/pattern.h"

namespace {

class RegexMatcher : public FBL_TextMatcher {
 public:
  RegexMatcher(const std::string& pattern, bool caseless, const zregex::CharacterTables* tables)
      : mPattern(pattern, caseless, tables) {}
  bool Matches(const char* text, size_t length) override { return mPattern.Search(text, length); }

 private:
  zregex::Pattern mPattern;
};

class RegexEngine : public FBL_TextMatcherEngine {
 public:
  std::unique_ptr<FBL_TextMatcher> Compile(const std::string& pattern, bool caseSensitive,
                                           const FBL_Language& language) override {
    return std::make_unique<RegexMatcher>(pattern, !caseSensitive,
                                          zregex::TablesForCodePage(language.GetCodePage()));
  }
};

}  // namespace

FBL_TextMatcherEngine& zv::RegexTextMatcherEngine() {
  static RegexEngine engine;
  return engine;
}
