#include "kernel/tables/query_parser.h"

#include <cstring>
#include <functional>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/formula.h"
#include "kernel/tables/formula_tasks.h"
#include "kernel/tables/language.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

using Kind = FBL_QueryParser::TokenKind;

bool SameWord(const std::string& word, const char* keyword) {
  if (word.size() != std::strlen(keyword)) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    if (c != keyword[i]) return false;
  }
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

const FBL_Language& LanguageOf(const FBL_BaseField& field) {
  if (auto* text = dynamic_cast<const BF_STRING*>(&field)) return text->GetLanguage();
  if (auto* text = dynamic_cast<const BF_TEXT*>(&field)) return text->GetLanguage();
  return zv::AsciiLanguage();
}

}  // namespace

std::vector<FBL_QueryParser::Token> FBL_QueryParser::Tokenize(const std::string& text) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (true) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size()) break;
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '<' || c == '>' || c == '=') {
      const bool twice = next == '=';
      const Kind kind = c == '<' ? (twice ? Kind::kLessEqual : Kind::kLess)
                        : c == '>' ? (twice ? Kind::kGreaterEqual : Kind::kGreater)
                                   : (twice ? Kind::kMatch : Kind::kEqual);
      tokens.push_back({kind, {}});
      i += twice ? 2 : 1;
      continue;
    }
    std::string value;
    if (c == '\'') {
      for (++i; i < text.size() && text[i] != '\''; ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\'') ++i;
        value += text[i];
      }
      ++i;  // the closing quote
      tokens.push_back({Kind::kValue, value});
      continue;
    }
    while (i < text.size() && !IsBlank(text[i]) && std::strchr(",()=><", text[i]) == nullptr) {
      value += text[i++];
    }
    if (value.empty()) {
      value = text[i++];  // a lone separator is a value of its own
    }
    const Kind kind = SameWord(value, "AND")    ? Kind::kAnd
                      : SameWord(value, "OR")   ? Kind::kOr
                      : SameWord(value, "NOT")  ? Kind::kNot
                      : SameWord(value, "NULL") ? Kind::kNull
                                                : Kind::kValue;
    tokens.push_back({kind, kind == Kind::kValue ? value : std::string()});
  }
  tokens.push_back({Kind::kEnd, {}});
  return tokens;
}

bool FBL_QueryParser::IsText() const {
  const uint8_t type = mField.GetType();
  return type == kTypeString || type == kTypeVarChar || type == kTypeText;
}

std::unique_ptr<FBL_BitSet> FBL_QueryParser::Alive() {
  return mField.GetTable()->SelectAllRecords();
}

std::unique_ptr<FBL_BitSet> FBL_QueryParser::Nulls() {
  auto nulls = mField.SelectNulls();
  nulls->Intersection(*Alive());
  return nulls;
}

// Texts: the prefix search, then the equal ones among them.
std::unique_ptr<FBL_BitSet> FBL_QueryParser::Equal(const std::string& value) {
  auto found = mField.FindRangeByText(value.c_str(), true, value.c_str(), true);
  if (!IsText()) return found;
  const FBL_Language& language = LanguageOf(mField);
  const std::string want = value.substr(0, 255);
  std::unique_ptr<FBL_BaseField> copy = zv::MakeField(mField.GetType(), mField.GetName(), 0);
  copy->InitFromField(mField);
  for (REC_ID r = found->NextMember(0); r != 0; r = found->NextMember(r)) {
    copy->ReadRecord(r);
    const std::string text = copy->GetString(255);
    if (language.Compare(text.data(), text.size(), want.data(), want.size()) != 0) {
      found->Exclude(r);
    }
  }
  return found;
}

const std::string& FBL_QueryParser::NeedValue() {
  if (mTokens[mPos].kind != Kind::kValue) throw xFBL_NeedValue();
  return mTokens[mPos++].text;
}

FBL_QueryParser::Step FBL_QueryParser::Range() {
  const Kind op = mTokens[mPos++].kind;
  const std::string bound = NeedValue();
  if (op == Kind::kLess || op == Kind::kLessEqual) {
    return [this, bound, op] {
      return mField.FindRangeByText(nullptr, false, bound.c_str(), op == Kind::kLessEqual);
    };
  }
  const bool leftIncluded = op == Kind::kGreaterEqual;
  // A left bound and AND: the right bound must follow.
  if (mTokens[mPos].kind != Kind::kAnd) {
    return [this, bound, leftIncluded] {
      return mField.FindRangeByText(bound.c_str(), leftIncluded, nullptr, false);
    };
  }
  ++mPos;
  const Kind right = mTokens[mPos].kind;
  if (right != Kind::kLess && right != Kind::kLessEqual) throw xFBL_NeedRightBound();
  ++mPos;
  if (mTokens[mPos].kind != Kind::kValue) throw xFBL_NeedRightBound();
  const std::string upper = mTokens[mPos++].text;
  return [this, bound, leftIncluded, upper, right] {
    return mField.FindRangeByText(bound.c_str(), leftIncluded, upper.c_str(),
                                  right == Kind::kLessEqual);
  };
}

FBL_QueryParser::Step FBL_QueryParser::Condition() {
  switch (mTokens[mPos].kind) {
    case Kind::kValue: {
      const std::string value = mTokens[mPos++].text;
      if (!IsText()) return [this, value] { return Equal(value); };
      return [this, value] {
        return mField.FindRangeByText(value.c_str(), true, value.c_str(), false);
      };
    }
    case Kind::kNull:
      ++mPos;
      return [this] { return Nulls(); };
    case Kind::kEqual: {
      ++mPos;
      if (mTokens[mPos].kind == Kind::kNull) {
        ++mPos;
        return [this] { return Nulls(); };
      }
      const std::string value = NeedValue();
      return [this, value] { return Equal(value); };
    }
    case Kind::kMatch: {
      ++mPos;
      const std::string pattern = NeedValue();
      return [this, pattern] {
        if (!IsText()) return mField.GetTable()->MakeEmptySet();
        FBL_RegExprFormula formula(pattern, true, LanguageOf(mField),
                                   mField.GetTable()->GetMaxRecID());
        FBL_UseFormula task(mField, &formula, false, *Alive());
        if (!zv::RunTask(task)) throw xFBL_ParserError("The search was stopped");
        return formula.TakeResult();
      };
    }
    case Kind::kNot: {
      ++mPos;
      if (mTokens[mPos].kind == Kind::kNull) {
        ++mPos;
        return [this] {
          auto all = Alive();
          all->Difference(*Nulls());
          return all;
        };
      }
      const std::string value = NeedValue();
      return [this, value] {
        auto all = Alive();
        all->Difference(*Equal(value));
        return all;
      };
    }
    case Kind::kLess:
    case Kind::kLessEqual:
    case Kind::kGreater:
    case Kind::kGreaterEqual:
      return Range();
    case Kind::kAnd:
    case Kind::kOr:
      throw xFBL_NeedLeftBound();
    case Kind::kEnd:
      break;
  }
  throw xFBL_NeedValue();
}

std::unique_ptr<FBL_BitSet> FBL_QueryParser::Search(const std::string& text) {
  FBL_Table* table = mField.GetTable();
  if (table == nullptr || !table->IsOpened()) throw xFBL_DatabaseIsNotOpened();
  mTokens = Tokenize(text);
  mPos = 0;
  // The whole text parses before anything is searched.
  std::vector<std::pair<Kind, Step>> plan;
  plan.emplace_back(Kind::kOr, Condition());
  while (mTokens[mPos].kind != Kind::kEnd) {
    const Kind join = mTokens[mPos].kind;
    if (join != Kind::kAnd && join != Kind::kOr) throw xFBL_ParserError("Expected AND or OR");
    ++mPos;
    plan.emplace_back(join, Condition());
  }
  std::unique_ptr<FBL_BitSet> result = plan[0].second();
  for (size_t i = 1; i < plan.size(); ++i) {
    std::unique_ptr<FBL_BitSet> next = plan[i].second();
    result = plan[i].first == Kind::kAnd ? FBL_BitSet::MakeIntersection(*result, *next)
                                         : FBL_BitSet::MakeUnion(*result, *next);
  }
  return result;
}
