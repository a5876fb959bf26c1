// SQL_StatementReader: the lexical reader every statement shares. It walks
// the statement text left to right; each Take/Read skips blanks (blank,
// tab, carriage return, line feed) first.
//
//   keywords  compared ignoring case; a keyword ends where the text has a
//             character that is not a letter, digit or "_".
//   names     "text", 'text' or [text] (the quotes or brackets dropped), or
//             a bare run up to a point, blank or one of
//             ,()=><*/-+%;:@#^&{}|
//   values    :N (the N-th parameter, 1-based), a quoted text in single or
//             double quotes, or a bare run up to a blank, ( ) , : or ;.
//             Inside quotes a backslash before the quote or before another
//             backslash stands for that character, so a text may end in a
//             backslash. A bare NULL (any case) is no value. The dumps'
//             hexadecimal form (pairs of digits 0-9, A-F, each followed by a
//             blank or a line feed, the last by a line feed) is one value
//             over its lines.
//
// Parameters are values only: their bytes are never read as statement text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sql/parser/parameters.h"

namespace zv::sql {

inline constexpr size_t kMaxTableName = 128;
inline constexpr size_t kMaxFieldName = 504;

// Whether c may continue a keyword.
bool IsWordChar(char c);

}  // namespace zv::sql

class SQL_StatementReader {
 public:
  // REQUIRES: text and params outlive the reader.
  SQL_StatementReader(std::string_view text, std::span<const SQL_Param> params)
      : mText(text), mParams(params) {}

  size_t GetPosition() const { return mPos; }
  void SetPosition(size_t position) { mPos = position; }
  std::span<const SQL_Param> GetParams() const { return mParams; }
  std::string_view GetText() const { return mText; }
  void SkipBlanks();
  // The keyword as a word of its own: consumed and true, else nothing moves.
  bool TakeKeyword(std::string_view keyword);
  // The character c: consumed and true, else nothing moves.
  bool TakeSymbol(char c);
  // Blanks skipped, the next character (0 at the end).
  char Peek();
  // Blanks skipped, whether the text ends here.
  bool AtEnd();
  // A name, empty when none stands here. An unterminated quote or bracket,
  // or a name longer than limit, raises 604.
  std::string ReadName(size_t limit);
  // False when no value stands here. An unterminated quote raises 604; :N
  // beyond the parameters given raises 619.
  bool ReadValue(SQL_Value& value);
  // The text up to the ")" that balances a "(" just taken, nested
  // parentheses counted and quoted texts skipped; false when the text ends
  // first (nothing moves then).
  bool ReadBalanced(std::string& inside);
  // The rest of the text, without trailing blanks and one ";".
  std::string_view Rest();
  // Only blanks and at most one ";" may follow (else 604).
  void ExpectEnd();

 private:
  // A quoted text starting at mPos (the quote char there); raises 604 when
  // it does not end. escapes: backslash rules of values.
  std::string ReadQuoted(bool escapes);

  std::string_view mText;
  std::span<const SQL_Param> mParams;
  size_t mPos = 0;
};
