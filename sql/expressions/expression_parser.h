// OBL_ExpressionParser: a method expression into a tree of items, by
// recursive descent over this grammar (lowest precedence first):
//
//   or-expr    := and-expr { OR and-expr }           one OR over all
//   and-expr   := null-test { AND null-test }        one AND over all
//   null-test  := comparison [ IS [ NOT ] NULL ]     606 without NULL
//   comparison := negation [ op negation ]           = < > <= >= <> !=
//   negation   := [ NOT ] shift
//   shift      := additive { (<< | >>) additive }
//   additive   := multiplicative { (+ | -) multiplicative }
//   multiplicative := unary { (* | / | %) unary }
//   unary      := - unary | ( or-expr ) | number | text
//               | name ( arguments ) | name
//
// A name is a field of the table (any letter case); an unknown name, or an
// unknown function, gives no item. A missing operand is an empty item
// (NULL), except around a comparison (604). Errors are
// xOBL_ExpressionError with the offset where parsing stopped; text after a
// complete expression is 604. Nesting deeper than kMaxDepth is refused
// (604), so no text can exhaust the stack.
#pragma once

#include <memory>
#include <string_view>

#include "sql/expressions/func_item.h"
#include "sql/expressions/scanner.h"

class FBL_Table;
struct FBL_DateSettings;

class OBL_ExpressionParser {
 public:
  static constexpr int kMaxDepth = 200;
  static constexpr size_t kMaxText = size_t{16} << 20;

  // table: the scope of names (not owned; it outlives the parser and the
  // items it makes, which read its fields and its database's date settings).
  OBL_ExpressionParser(FBL_Table& table, std::string_view text);

  // The root item; never null (an empty text gives an empty item).
  std::unique_ptr<OBL_Item> Parse();

 private:
  std::unique_ptr<OBL_Item> OrExpr();
  std::unique_ptr<OBL_Item> AndExpr();
  std::unique_ptr<OBL_Item> NullTest();
  std::unique_ptr<OBL_Item> Comparison();
  std::unique_ptr<OBL_Item> Negation();
  std::unique_ptr<OBL_Item> Shift();
  std::unique_ptr<OBL_Item> Additive();
  std::unique_ptr<OBL_Item> Multiplicative();
  std::unique_ptr<OBL_Item> Unary();
  std::unique_ptr<OBL_Item> NameOrCall();
  std::unique_ptr<OBL_Item> Call(const std::string& name, size_t nameOffset);
  // The operand, or an empty item for none.
  static std::unique_ptr<OBL_Item> OrEmpty(std::unique_ptr<OBL_Item> item);
  [[noreturn]] void Fail(int32_t code, const char* message = nullptr) const;

  class Nesting;

  FBL_Table& mTable;
  const FBL_DateSettings& mSettings;
  OBL_Scanner mScanner;
  int mDepth = 0;
};

namespace zsql {

// Parses text over table; raises xOBL_ExpressionError.
std::unique_ptr<OBL_Item> CompileExpression(FBL_Table& table, std::string_view text);

}  // namespace zsql
