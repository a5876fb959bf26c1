#include "sql/parser/select_text.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/ascii_text.h"
#include "sql/parser/select_errors.h"

namespace {

bool IsQuote(char c) {
  return c == '\'' || c == '"';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// What ends a word: blanks, quotes and the symbols (a table: every word
// of every statement ends here).
constexpr auto kDelimiters = [] {
  std::array<bool, 256> table{};
  for (const char* c = " \t\r\n.'\"!,()=><*/-+%;:@#^&{}|"; *c != 0; ++c)
    table[static_cast<unsigned char>(*c)] = true;
  return table;
}();

bool IsDelimiter(char c) {
  return kDelimiters[static_cast<unsigned char>(c)];
}

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsNumberChar(char c) {
  return IsDigit(c) || c == '-' || c == '.' || c == '+';
}

// The position just past the literal or bracketed name starting at i;
// npos when it is not closed.
size_t SkipEnclosed(std::string_view text, size_t i) {
  const char close = text[i] == '[' ? ']' : text[i];
  for (size_t j = i + 1; j < text.size(); ++j) {
    if (text[j] != close) continue;
    if (close != ']' && j + 1 < text.size() && text[j + 1] == close) {
      ++j;  // a doubled quote stands for itself
      continue;
    }
    return j + 1;
  }
  return std::string_view::npos;
}

}  // namespace

void zv::sql::PrepareSelectText(std::string& text) {
  // Most texts are one line: nothing to replace.
  if (text.find('\n') == std::string::npos && text.find('\r') == std::string::npos) return;
  char quote = 0;
  for (char& c : text) {
    if (quote != 0) {
      // A doubled quote leaves and re-enters the literal: nothing lost.
      if (c == quote) quote = 0;
    } else if (IsQuote(c)) {
      quote = c;
    } else if (c == '\r' || c == '\n') {
      c = ' ';
    }
  }
}

size_t zv::sql::FindKeyword(std::string_view text, std::string_view word, size_t from) {
  size_t i = from;
  while (i < text.size()) {
    const char c = text[i];
    if (IsQuote(c) || c == '[') {
      i = SkipEnclosed(text, i);
      if (i == std::string_view::npos) return i;
      continue;
    }
    if (zv::UpperAscii(c) == word[0] && (i == 0 || IsDelimiter(text[i - 1])) &&
        i + word.size() < text.size() && zv::EqualNoCaseAscii(text.substr(i, word.size()), word) &&
        (text[i + word.size()] == ' ' || text[i + word.size()] == '\t'))
      return i;
    ++i;
  }
  return std::string_view::npos;
}

size_t zv::sql::FindClosingParenthesis(std::string_view text, size_t from) {
  size_t depth = 1;
  size_t i = from;
  while (i < text.size()) {
    const char c = text[i];
    if (IsQuote(c) || c == '[') {
      i = SkipEnclosed(text, i);
      if (i == std::string_view::npos) return i;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) return i;
    ++i;
  }
  return std::string_view::npos;
}

// ---- SQL_Tokenizer ----------------------------------------------------------------------

SQL_Token SQL_Tokenizer::Fail(int32_t code) {
  if (mError == 0) mError = code;
  mPos = mText.size();
  return mToken = SQL_Token::kEnd;
}

void SQL_Tokenizer::SkipBlanks() {
  while (mPos < mText.size() && IsBlank(mText[mPos])) ++mPos;
}

SQL_Token SQL_Tokenizer::Next() {
  mOperand.clear();
  mQuoted = false;
  mParameter = 0;
  mTable = 0;
  mField = nullptr;
  if (mError != 0) return mToken = SQL_Token::kEnd;
  SkipBlanks();
  mTokenStart = mPos;
  // A statement may end with a semicolon.
  if (mPos < mText.size() && mText[mPos] == ';') {
    const size_t semicolon = mPos++;
    SkipBlanks();
    if (mPos == mText.size()) return mToken = SQL_Token::kEnd;
    mPos = semicolon;
  }
  if (mPos >= mText.size()) return mToken = SQL_Token::kEnd;
  const char c = mText[mPos];
  if (IsQuote(c)) return mToken = ScanQuoted();
  if (IsNumberChar(c)) return mToken = ScanNumber();
  if (c == ':' && mPos + 1 < mText.size() && IsDigit(mText[mPos + 1]))
    return mToken = ScanParameter();
  const SQL_Token symbol = ScanSymbol();
  if (symbol != SQL_Token::kOther) return mToken = symbol;
  return mToken = ScanWord();
}

SQL_Token SQL_Tokenizer::ScanQuoted() {
  const size_t end = SkipEnclosed(mText, mPos);
  if (end == std::string_view::npos) return Fail(zv::sql::kErrSyntax);
  const char quote = mText[mPos];
  for (size_t i = mPos + 1; i + 1 < end; ++i) {
    mOperand.push_back(mText[i]);
    if (mText[i] == quote) ++i;  // the doubled quote
  }
  mPos = end;
  mQuoted = true;
  return SQL_Token::kOperand;
}

SQL_Token SQL_Tokenizer::ScanNumber() {
  const size_t start = mPos;
  while (mPos < mText.size() && IsNumberChar(mText[mPos])) ++mPos;
  mOperand.assign(mText.substr(start, mPos - start));
  return SQL_Token::kOperand;
}

SQL_Token SQL_Tokenizer::ScanParameter() {
  // Numbers past the largest 32-bit one stay there: beyond any values.
  uint64_t n = 0;
  for (++mPos; mPos < mText.size() && IsDigit(mText[mPos]); ++mPos)
    n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(mText[mPos] - '0'), UINT32_MAX);
  if (n == 0) return Fail(zv::sql::kErrNotEnoughParameters);
  mParameter = static_cast<uint32_t>(n);
  return SQL_Token::kParameter;
}

SQL_Token SQL_Tokenizer::ScanSymbol() {
  struct Symbol {
    std::string_view text;
    SQL_Token token;
  };
  // Longer symbols before their prefixes.
  static constexpr Symbol kSymbols[] = {
      {"!=", SQL_Token::kNotEqual}, {"<>", SQL_Token::kNotEqual},
      {"(", SQL_Token::kOpen},      {")", SQL_Token::kClose},
      {"**", SQL_Token::kStarStar}, {"*=*", SQL_Token::kFullJoin},
      {"*=", SQL_Token::kLeftJoin}, {"*", SQL_Token::kStar},
      {",", SQL_Token::kComma},     {"<=", SQL_Token::kLessEqual},
      {"<", SQL_Token::kLess},      {"=*", SQL_Token::kRightJoin},
      {"=", SQL_Token::kEqual},     {">=", SQL_Token::kGreaterEqual},
      {">", SQL_Token::kGreater},
  };
  static constexpr auto kStarts = [] {
    std::array<bool, 256> table{};
    for (const Symbol& s : kSymbols) table[static_cast<unsigned char>(s.text[0])] = true;
    return table;
  }();
  // Most tokens are words: they leave at the first character.
  if (!kStarts[static_cast<unsigned char>(mText[mPos])]) return SQL_Token::kOther;
  const std::string_view rest = mText.substr(mPos);
  for (const Symbol& s : kSymbols) {
    if (rest.starts_with(s.text)) {
      mPos += s.text.size();
      return s.token;
    }
  }
  return SQL_Token::kOther;
}

bool SQL_Tokenizer::ReadWord(std::string_view& word, bool& bracketed) {
  bracketed = mPos < mText.size() && mText[mPos] == '[';
  if (bracketed) {
    const size_t close = mText.find(']', mPos + 1);
    if (close == std::string_view::npos) return false;
    word = mText.substr(mPos + 1, close - mPos - 1);
    mPos = close + 1;
    return true;
  }
  const size_t start = mPos;
  while (mPos < mText.size() && !IsDelimiter(mText[mPos])) ++mPos;
  word = mText.substr(start, mPos - start);
  return true;
}

SQL_Token SQL_Tokenizer::ScanWord() {
  std::string_view word;
  bool bracketed = false;
  if (!ReadWord(word, bracketed)) return Fail(zv::sql::kErrSyntax);
  if (word.empty() && !bracketed) {
    ++mPos;  // a character that starts no token
    return SQL_Token::kOther;
  }
  if (!bracketed) {
    const SQL_Token keyword = zv::sql::KeywordToken(word);
    if (keyword == SQL_Token::kOrderBy || keyword == SQL_Token::kGroupBy) {
      const size_t afterWord = mPos;
      SkipBlanks();
      std::string_view by;
      bool byBracketed = false;
      if (ReadWord(by, byBracketed) && !byBracketed && zv::EqualNoCaseAscii(by, "BY")) return keyword;
      mPos = afterWord;
    } else if (keyword != SQL_Token::kOperand) {
      return keyword;
    }
  }
  if (mFieldMode) {
    if (mPos < mText.size() && mText[mPos] == '.') return QualifiedReference(word);
    if (FieldReference(word) == SQL_Token::kField) return SQL_Token::kField;
  }
  mOperand.assign(word);
  return SQL_Token::kOperand;
}

uint32_t SQL_Tokenizer::FindEntry(std::string_view name) const {
  for (size_t i = 0; i < mFrom.size(); ++i) {
    if (zv::EqualNoCaseAscii(mFrom[i]->GetName(), name)) return static_cast<uint32_t>(i + 1);
  }
  return 0;
}

SQL_Token SQL_Tokenizer::FieldReference(std::string_view name) {
  const std::string text(name);
  for (size_t i = 0; i < mFrom.size(); ++i) {
    if (FBL_BaseField* field = mFrom[i]->GetField(text)) {
      mTable = static_cast<uint32_t>(i + 1);
      mField = field;
      return SQL_Token::kField;
    }
  }
  return SQL_Token::kOperand;
}

SQL_Token SQL_Tokenizer::QualifiedReference(std::string_view prefix) {
  ++mPos;  // the point
  const uint32_t entry = FindEntry(prefix);
  if (entry == 0) return Fail(zv::sql::kErrTableNotFound);
  mTable = entry;
  const std::string_view rest = mText.substr(mPos);
  if (rest.starts_with("**")) {
    mPos += 2;
    return SQL_Token::kTableStarStar;
  }
  if (rest.starts_with("*")) {
    ++mPos;
    return SQL_Token::kTableStar;
  }
  std::string_view name;
  bool bracketed = false;
  if (!ReadWord(name, bracketed)) return Fail(zv::sql::kErrSyntax);
  mField = mFrom[entry - 1]->GetField(std::string(name));
  if (mField == nullptr) return Fail(zv::sql::kErrFieldNotFound);
  return SQL_Token::kField;
}
