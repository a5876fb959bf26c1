// The text side of the SELECT parser: preparing a statement's text and
// scanning it into tokens.
//
// Parameters: ":" and a decimal number N is the N-th value the caller
// passes (1-based; ":0" is 619). It is a value, never a name or a literal.
//
// Quotes: a literal runs between two single or two double quotes; the
// quote doubled inside stands for itself. A name in brackets runs to the
// next "]" and may hold any characters; it is never a keyword.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/parser/from_entry.h"
#include "sql/parser/select_tokens.h"

namespace zv::sql {

// Turns carriage returns and line feeds outside quotes into blanks.
void PrepareSelectText(std::string& text);
// The position of a keyword (given in upper case; the text's letter case is
// ignored) standing as a word of its own, followed by a blank, outside
// quotes and brackets, at or after from; npos when there is none.
size_t FindKeyword(std::string_view text, std::string_view word, size_t from);
// The position of the ")" closing a "(" that ends just before from,
// skipping quotes and brackets; npos when there is none.
size_t FindClosingParenthesis(std::string_view text, size_t from);

}  // namespace zv::sql

class SQL_Tokenizer {
 public:
  using FromList = std::vector<std::unique_ptr<SQL_FromEntry>>;

  // REQUIRES: text and from outlive the tokenizer.
  SQL_Tokenizer(std::string_view text, const FromList& from) : mText(text), mFrom(from) {}

  // Where the next scan starts.
  void SetPosition(size_t position) { mPos = position; }
  size_t GetPosition() const { return mPos; }
  // Field mode: names are tried as field references of the FROM entries.
  void SetFieldMode(bool on) { mFieldMode = on; }

  // Scans the next token. A table prefix naming no FROM entry (602), a
  // prefix whose entry lacks the field (603), an unterminated quote or
  // bracket (604) set the error and answer kEnd.
  SQL_Token Next();

  SQL_Token GetToken() const { return mToken; }
  size_t GetTokenStart() const { return mTokenStart; }
  // kOperand: the name, number or literal (quotes removed).
  const std::string& GetOperand() const { return mOperand; }
  bool IsQuoted() const { return mQuoted; }
  // kParameter: its number N (at least 1).
  uint32_t GetParameter() const { return mParameter; }
  // kField, kTableStar, kTableStarStar: the FROM position; kField: the field.
  uint32_t GetTable() const { return mTable; }
  FBL_BaseField* GetField() const { return mField; }
  int32_t GetError() const { return mError; }

 private:
  SQL_Token Fail(int32_t code);
  SQL_Token ScanQuoted();
  SQL_Token ScanNumber();
  SQL_Token ScanParameter();
  // Operators and punctuation; kOther when none starts here.
  SQL_Token ScanSymbol();
  // A word; bracketed: the brackets are left out. False when unterminated.
  bool ReadWord(std::string_view& word, bool& bracketed);
  SQL_Token ScanWord();
  SQL_Token FieldReference(std::string_view name);
  SQL_Token QualifiedReference(std::string_view prefix);
  // The FROM position whose entry is named name (0: none).
  uint32_t FindEntry(std::string_view name) const;
  void SkipBlanks();

  std::string_view mText;
  const FromList& mFrom;
  size_t mPos = 0;
  bool mFieldMode = false;
  SQL_Token mToken = SQL_Token::kEnd;
  size_t mTokenStart = 0;
  std::string mOperand;
  bool mQuoted = false;
  uint32_t mParameter = 0;
  uint32_t mTable = 0;
  FBL_BaseField* mField = nullptr;
  int32_t mError = 0;
};
