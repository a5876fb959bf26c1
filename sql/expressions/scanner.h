// OBL_Scanner: the tokens of a method expression.
//
// A quote (' or ") starts a text literal that ends at the same quote, two
// quotes standing for one; a digit or "." starts a number (the run of
// digits and points, read as floating point); a letter, "_", a byte above
// 127 or "[" starts a word ("[" runs to "]", others to a delimiter). The
// keywords AND, OR, NOT, IS and NULL are told by the checksum of the
// upper-cased word. Texts and numbers longer than kMaxLiteral are refused
// (604), as is an unterminated text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class OBL_Token : uint8_t {
  kEnd,
  kNumber,
  kString,
  kName,
  kAnd,
  kOr,
  kNot,
  kIs,
  kNull,
  kEqual,
  kNotEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kShiftLeft,
  kShiftRight,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kPercent,
  kLParen,
  kRParen,
  kComma,
  kUnknown,
};

class OBL_Scanner {
 public:
  static constexpr size_t kMaxLiteral = 65535;

  // text is not copied; it outlives the scanner.
  explicit OBL_Scanner(std::string_view text) : mText(text) {}

  // Reads the next token; raises xOBL_ExpressionError 604 for a literal
  // that is too long or not terminated.
  OBL_Token Next();
  OBL_Token GetToken() const { return mToken; }
  // Offset of the current token in the text.
  size_t GetOffset() const { return mStart; }
  // The text of a string literal or a name.
  const std::string& GetText() const { return mWord; }
  double GetNumber() const { return mNumber; }

 private:
  OBL_Token ReadString(char quote);
  OBL_Token ReadNumber();
  OBL_Token ReadWord();

  std::string_view mText;
  size_t mPos = 0;
  size_t mStart = 0;
  OBL_Token mToken = OBL_Token::kEnd;
  std::string mWord;
  double mNumber = 0;
};

namespace zsql {

// The sum over the word's bytes of code × (255 − position); the word is
// upper-cased by the caller.
uint32_t WordChecksum(std::string_view upperWord);

}  // namespace zsql
