// FBL_QueryParser: the search language of one field.
//
// Tokens: "<", "<=", ">", ">=", "=", "=="; a value in single quotes (a
// backslash before a quote keeps the quote); the keywords AND, OR, NOT and
// NULL in any letter case; any other run of characters up to a blank, ",",
// "(", ")", "=", ">" or "<" is a value.
//
// Conditions, for the field searched:
//   value        String, VarChar, Text: the texts that begin with it;
//                other types: the values equal to it
//   = value      equal (texts: in their first 255 characters, under the
//                field's language)
//   == pattern   texts matching the regular expression (case-sensitive);
//                no records for other types
//   NULL, = NULL the null values; NOT NULL the others
//   NOT value    the alive records not equal to it
//   > v, >= v, < v, <= v      a range; > v AND < w (or with >=, <=) is one
//                range, and after a left bound AND must bring < or <=
// Conditions chain left to right with equal strength: c1 OR c2 AND c3 is
// (c1 OR c2) AND c3.
//
// Errors: an operator without a value 380 (xFBL_NeedValue); a right bound,
// or AND or OR, without what comes before it 381 (xFBL_NeedLeftBound); a
// range whose right bound is missing or not < or <= 382
// (xFBL_NeedRightBound). Nothing is searched when the text has an error.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class FBL_BaseField;
class FBL_BitSet;

class FBL_QueryParser {
 public:
  // field: attached to an open table; it outlives the parser.
  explicit FBL_QueryParser(FBL_BaseField& field) : mField(field) {}

  // The records of the field's table that satisfy text (a set of the
  // table's MaxRecID).
  std::unique_ptr<FBL_BitSet> Search(const std::string& text);

  enum class TokenKind : uint8_t {
    kEnd,
    kValue,
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual,
    kEqual,
    kMatch,
    kAnd,
    kOr,
    kNot,
    kNull,
  };
  struct Token {
    TokenKind kind;
    std::string text;
  };
  // The tokens of text, the end token last.
  static std::vector<Token> Tokenize(const std::string& text);

 private:
  // A search to run once the whole text has parsed.
  using Step = std::function<std::unique_ptr<FBL_BitSet>()>;

  // One condition from mTokens[mPos]; raises the parser errors.
  Step Condition();
  Step Range();
  const std::string& NeedValue();
  bool IsText() const;
  std::unique_ptr<FBL_BitSet> Equal(const std::string& value);
  std::unique_ptr<FBL_BitSet> Nulls();
  std::unique_ptr<FBL_BitSet> Alive();

  FBL_BaseField& mField;
  std::vector<Token> mTokens;
  size_t mPos = 0;
};
