#include "sql/expressions/scanner.h"

#include <cstdlib>
#include <cstring>

#include "sql/expressions/expression_error.h"

namespace {

constexpr uint32_t kSumAnd = 53591;
constexpr uint32_t kSumOr = 40973;
constexpr uint32_t kSumNot = 61208;
constexpr uint32_t kSumIs = 39697;
constexpr uint32_t kSumNull = 79860;

bool IsDelimiter(char c) {
  return std::strchr(". \t\r\n,()=><*/-+%;:@#^&{}|", c) != nullptr;
}

bool StartsWord(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == '[' || u >= 128;
}

}  // namespace

uint32_t zsql::WordChecksum(std::string_view upperWord) {
  uint32_t sum = 0;
  for (size_t i = 0; i < upperWord.size(); ++i) {
    // Positions past 255 count with a wrapping weight, as the 32-bit sum did.
    sum += static_cast<uint32_t>(static_cast<unsigned char>(upperWord[i])) *
           (255u - static_cast<uint32_t>(i));
  }
  return sum;
}

OBL_Token OBL_Scanner::Next() {
  while (mPos < mText.size() &&
         (mText[mPos] == ' ' || mText[mPos] == '\t' || mText[mPos] == '\r' || mText[mPos] == '\n')) {
    ++mPos;
  }
  mStart = mPos;
  mWord.clear();
  if (mPos >= mText.size()) return mToken = OBL_Token::kEnd;
  const char c = mText[mPos];
  const char next = mPos + 1 < mText.size() ? mText[mPos + 1] : '\0';
  auto two = [&](OBL_Token token) {
    mPos += 2;
    return mToken = token;
  };
  auto one = [&](OBL_Token token) {
    mPos += 1;
    return mToken = token;
  };
  if (c == '\'' || c == '"') return mToken = ReadString(c);
  if ((c >= '0' && c <= '9') || c == '.') return mToken = ReadNumber();
  if (StartsWord(c)) return mToken = ReadWord();
  switch (c) {
    case '!':
      return next == '=' ? two(OBL_Token::kNotEqual) : one(OBL_Token::kUnknown);
    case '<':
      if (next == '>') return two(OBL_Token::kNotEqual);
      if (next == '=') return two(OBL_Token::kLessEqual);
      if (next == '<') return two(OBL_Token::kShiftLeft);
      return one(OBL_Token::kLess);
    case '>':
      if (next == '=') return two(OBL_Token::kGreaterEqual);
      if (next == '>') return two(OBL_Token::kShiftRight);
      return one(OBL_Token::kGreater);
    case '=':
      return one(OBL_Token::kEqual);
    case '%':
      return one(OBL_Token::kPercent);
    case '(':
      return one(OBL_Token::kLParen);
    case ')':
      return one(OBL_Token::kRParen);
    case '*':
      return one(OBL_Token::kStar);
    case '+':
      return one(OBL_Token::kPlus);
    case ',':
      return one(OBL_Token::kComma);
    case '-':
      return one(OBL_Token::kMinus);
    case '/':
      return one(OBL_Token::kSlash);
    default:
      return one(OBL_Token::kUnknown);
  }
}

OBL_Token OBL_Scanner::ReadString(char quote) {
  size_t pos = mPos + 1;
  while (true) {
    const size_t close = mText.find(quote, pos);
    if (close == std::string_view::npos) {
      throw xOBL_ExpressionError(604, mStart, "Text literal without its closing quote");
    }
    if (mWord.size() + (close - pos) > kMaxLiteral) {
      throw xOBL_ExpressionError(604, mStart, "Text literal too long");
    }
    mWord.append(mText, pos, close - pos);
    if (close + 1 < mText.size() && mText[close + 1] == quote) {
      mWord += quote;
      pos = close + 2;
      continue;
    }
    mPos = close + 1;
    return OBL_Token::kString;
  }
}

OBL_Token OBL_Scanner::ReadNumber() {
  size_t end = mPos;
  while (end < mText.size() && ((mText[end] >= '0' && mText[end] <= '9') || mText[end] == '.')) {
    ++end;
  }
  if (end - mPos > kMaxLiteral) throw xOBL_ExpressionError(604, mStart, "Number too long");
  const std::string run(mText.substr(mPos, end - mPos));
  mNumber = std::strtod(run.c_str(), nullptr);
  mPos = end;
  return OBL_Token::kNumber;
}

OBL_Token OBL_Scanner::ReadWord() {
  size_t end;
  if (mText[mPos] == '[') {
    const size_t close = mText.find(']', mPos + 1);
    end = close == std::string_view::npos ? mText.size() : close;
    mWord.assign(mText, mPos + 1, end - mPos - 1);
    mPos = close == std::string_view::npos ? end : end + 1;
  } else {
    end = mPos;
    while (end < mText.size() && !IsDelimiter(mText[end])) ++end;
    mWord.assign(mText, mPos, end - mPos);
    mPos = end;
  }
  if (mWord.size() > kMaxLiteral) throw xOBL_ExpressionError(604, mStart, "Name too long");
  if (mText[mStart] == '[') return OBL_Token::kName;
  std::string upper = mWord;
  for (char& ch : upper) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - ('a' - 'A'));
  }
  switch (zsql::WordChecksum(upper)) {
    case kSumAnd:
      return OBL_Token::kAnd;
    case kSumOr:
      return OBL_Token::kOr;
    case kSumNot:
      return OBL_Token::kNot;
    case kSumIs:
      return OBL_Token::kIs;
    case kSumNull:
      return OBL_Token::kNull;
    default:
      return OBL_Token::kName;
  }
}
