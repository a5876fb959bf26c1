#include "sql/statements/statement_reader.h"

#include <cctype>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/errors.h"
#include "sql/statements/statement_errors.h"

namespace zv::sql {

void StatementError(int32_t code) {
  throw xFBL_Exception(code);
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

}  // namespace zv::sql

namespace {

using namespace zv::sql;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EndsName(char c) {
  return IsBlank(c) || c == '.' || std::strchr(",()=><*/-+%;:@#^&{}|", c) != nullptr;
}

bool EndsValue(char c) {
  return IsBlank(c) || std::strchr("(),:;", c) != nullptr;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Where the dumps' hexadecimal form starting at i ends (past its last line
// feed), or i when none stands there: two-digit pairs, each followed by a
// blank or a line feed, the last by a line feed.
size_t HexFormEnd(std::string_view text, size_t i) {
  const size_t start = i;
  while (i + 2 < text.size() && IsHexDigit(text[i]) && IsHexDigit(text[i + 1])) {
    if (text[i + 2] != ' ' && text[i + 2] != '\n') return start;
    i += 3;
  }
  return i > start && text[i - 1] == '\n' ? i : start;
}

}  // namespace

void SQL_StatementReader::SkipBlanks() {
  while (mPos < mText.size() && IsBlank(mText[mPos])) ++mPos;
}

char SQL_StatementReader::Peek() {
  SkipBlanks();
  return mPos < mText.size() ? mText[mPos] : '\0';
}

bool SQL_StatementReader::AtEnd() {
  SkipBlanks();
  return mPos >= mText.size();
}

bool SQL_StatementReader::TakeKeyword(std::string_view keyword) {
  SkipBlanks();
  const size_t end = mPos + keyword.size();
  if (end > mText.size() || !zv::EqualNoCaseAscii(mText.substr(mPos, keyword.size()), keyword)) return false;
  if (end < mText.size() && IsWordChar(mText[end])) return false;
  mPos = end;
  return true;
}

bool SQL_StatementReader::TakeSymbol(char c) {
  if (Peek() != c || c == '\0') return false;
  ++mPos;
  return true;
}

std::string SQL_StatementReader::ReadQuoted(bool escapes) {
  const char quote = mText[mPos];
  const char close = quote == '[' ? ']' : quote;
  std::string out;
  size_t i = mPos + 1;
  for (; i < mText.size() && mText[i] != close; ++i) {
    if (escapes && mText[i] == '\\' && i + 1 < mText.size() &&
        (mText[i + 1] == close || mText[i + 1] == '\\'))
      ++i;
    out += mText[i];
  }
  if (i >= mText.size()) StatementError(kErrSyntax);
  mPos = i + 1;
  return out;
}

std::string SQL_StatementReader::ReadName(size_t limit) {
  const char c = Peek();
  std::string name;
  if (c == '"' || c == '\'' || c == '[') {
    name = ReadQuoted(false);
  } else {
    const size_t start = mPos;
    while (mPos < mText.size() && !EndsName(mText[mPos])) ++mPos;
    name.assign(mText.substr(start, mPos - start));
  }
  if (name.size() > limit) StatementError(kErrSyntax);
  return name;
}

bool SQL_StatementReader::ReadValue(SQL_Value& value) {
  const char c = Peek();
  value.mHex = false;
  if (c == '\'' || c == '"') {
    value.mBytes = ReadQuoted(true);
    value.mNull = false;
    return true;
  }
  if (c == ':') {
    size_t i = mPos + 1;
    uint64_t n = 0;
    while (i < mText.size() && std::isdigit(static_cast<unsigned char>(mText[i])) != 0 &&
           n <= mParams.size())
      n = n * 10 + static_cast<uint64_t>(mText[i++] - '0');
    if (i == mPos + 1) return false;
    if (n == 0 || n > mParams.size()) StatementError(kErrNotEnoughParameters);
    mPos = i;
    const SQL_Param& p = mParams[n - 1];
    value.mNull = p.mNull;
    value.mBytes.assign(p.mBytes);
    return true;
  }
  const size_t start = mPos;
  const size_t hexEnd = HexFormEnd(mText, start);
  if (hexEnd != start) {
    value.mBytes.assign(mText.substr(start, hexEnd - 1 - start));
    value.mNull = false;
    value.mHex = true;
    mPos = hexEnd;
    return true;
  }
  while (mPos < mText.size() && !EndsValue(mText[mPos])) ++mPos;
  if (mPos == start) return false;
  const std::string_view bare = mText.substr(start, mPos - start);
  value.mNull = zv::EqualNoCaseAscii(bare, "NULL");
  if (value.mNull) {
    value.mBytes.clear();
  } else {
    value.mBytes.assign(bare);
  }
  return true;
}

bool SQL_StatementReader::ReadBalanced(std::string& inside) {
  int depth = 1;
  for (size_t i = mPos; i < mText.size(); ++i) {
    const char c = mText[i];
    if (c == '\'' || c == '"') {
      const size_t close = mText.find(c, i + 1);
      if (close == std::string_view::npos) return false;
      i = close;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      inside.assign(mText.substr(mPos, i - mPos));
      mPos = i + 1;
      return true;
    }
  }
  return false;
}

std::string_view SQL_StatementReader::Rest() {
  SkipBlanks();
  std::string_view rest = mText.substr(mPos);
  while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
  if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
  while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
  mPos = mText.size();
  return rest;
}

void SQL_StatementReader::ExpectEnd() {
  TakeSymbol(';');
  SkipBlanks();
  if (mPos != mText.size()) StatementError(kErrSyntax);
}
