// Searching the texts of a column by a regular expression. The kernel
// owns this interface; the engine installed from the start of the process
// is RegexTextMatcherEngine, over the regular-expression layer (regex/).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class FBL_BaseField;
class FBL_BitSet;
class FBL_Language;

// One compiled pattern.
class FBL_TextMatcher {
 public:
  virtual ~FBL_TextMatcher() = default;
  // Whether the pattern occurs anywhere in the text.
  virtual bool Matches(const char* text, size_t length) = 0;
};

class FBL_TextMatcherEngine {
 public:
  virtual ~FBL_TextMatcherEngine() = default;
  // Compiles pattern (ignoring case unless caseSensitive) with the
  // character classes of the language; a pattern that does not compile
  // raises an xFBL_Exception.
  virtual std::unique_ptr<FBL_TextMatcher> Compile(const std::string& pattern, bool caseSensitive,
                                                   const FBL_Language& language) = 0;
};

namespace zv {

// Installs the engine (not owned; it must outlive every search). Null
// uninstalls.
void SetTextMatcherEngine(FBL_TextMatcherEngine* engine);
FBL_TextMatcherEngine* GetTextMatcherEngine();

// Regular expressions with the character classes and letter cases of the
// language's code page; a bad pattern, or a search over the backtracking
// limits, raises xFBL_ParserError (305). Lives for the process.
FBL_TextMatcherEngine& RegexTextMatcherEngine();

// The alive records of field's table whose text matches pattern; a null
// value never matches. Without an engine installed raises xFBL_FieldError.
// REQUIRES: field is attached to an open table. The field's buffer is moved
// back to its record afterwards, also after an error, unless it held
// unsaved changes.
std::unique_ptr<FBL_BitSet> SelectByRegExpr(FBL_BaseField& field, const std::string& pattern,
                                            bool caseSensitive, const FBL_Language& language);

}  // namespace zv
