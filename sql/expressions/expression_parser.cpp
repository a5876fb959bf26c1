#include "sql/expressions/expression_parser.h"

#include <string>
#include <utility>

#include "kernel/storage/database.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/table.h"
#include "sql/expressions/comparisons.h"
#include "sql/expressions/expression_error.h"
#include "sql/expressions/field_items.h"
#include "sql/expressions/function_table.h"
#include "sql/expressions/operators.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - ('a' - 'A'));
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - ('a' - 'A'));
    if (x != y) return false;
  }
  return true;
}

template <class T>
std::unique_ptr<OBL_Item> Binary(std::unique_ptr<OBL_Item> a, std::unique_ptr<OBL_Item> b) {
  OBL_ItemList args;
  args.push_back(std::move(a));
  args.push_back(std::move(b));
  return std::make_unique<T>(std::move(args));
}

template <class T>
std::unique_ptr<OBL_Item> Unary1(std::unique_ptr<OBL_Item> a) {
  OBL_ItemList args;
  args.push_back(std::move(a));
  return std::make_unique<T>(std::move(args));
}

}  // namespace

// Counts one level of nesting for the scope of a recursive call.
class OBL_ExpressionParser::Nesting {
 public:
  explicit Nesting(OBL_ExpressionParser& parser) : mParser(parser) {
    if (++mParser.mDepth > kMaxDepth) {
      mParser.Fail(604, "Expression nested too deeply");
    }
  }
  ~Nesting() { --mParser.mDepth; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;

 private:
  OBL_ExpressionParser& mParser;
};

OBL_ExpressionParser::OBL_ExpressionParser(FBL_Table& table, std::string_view text)
    : mTable(table), mSettings(table.GetDataBase().GetDateSettings()), mScanner(text) {
  if (text.size() > kMaxText) throw xOBL_ExpressionError(604, 0, "Expression text too long");
}

void OBL_ExpressionParser::Fail(int32_t code, const char* message) const {
  throw xOBL_ExpressionError(code, mScanner.GetOffset(), message);
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::OrEmpty(std::unique_ptr<OBL_Item> item) {
  if (item) return item;
  return std::make_unique<OBL_Item_Empty>();
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Parse() {
  mScanner.Next();
  std::unique_ptr<OBL_Item> root = OrEmpty(OrExpr());
  if (mScanner.GetToken() != OBL_Token::kEnd) Fail(604);
  root->Analyse();
  return root;
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::OrExpr() {
  Nesting nesting(*this);
  std::unique_ptr<OBL_Item> first = AndExpr();
  if (mScanner.GetToken() != OBL_Token::kOr) return first;
  OBL_ItemList operands;
  operands.push_back(OrEmpty(std::move(first)));
  while (mScanner.GetToken() == OBL_Token::kOr) {
    mScanner.Next();
    operands.push_back(OrEmpty(AndExpr()));
  }
  return std::make_unique<OBL_Item_Func_Cmp_Or>(std::move(operands));
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::AndExpr() {
  std::unique_ptr<OBL_Item> first = NullTest();
  if (mScanner.GetToken() != OBL_Token::kAnd) return first;
  OBL_ItemList operands;
  operands.push_back(OrEmpty(std::move(first)));
  while (mScanner.GetToken() == OBL_Token::kAnd) {
    mScanner.Next();
    operands.push_back(OrEmpty(NullTest()));
  }
  return std::make_unique<OBL_Item_Func_Cmp_And>(std::move(operands));
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::NullTest() {
  std::unique_ptr<OBL_Item> operand = Comparison();
  if (mScanner.GetToken() != OBL_Token::kIs) return operand;
  bool negated = false;
  if (mScanner.Next() == OBL_Token::kNot) {
    negated = true;
    mScanner.Next();
  }
  if (mScanner.GetToken() != OBL_Token::kNull) Fail(606);
  mScanner.Next();
  if (negated) return Unary1<OBL_Item_Func_Cmp_IsNotNull>(OrEmpty(std::move(operand)));
  return Unary1<OBL_Item_Func_Cmp_IsNull>(OrEmpty(std::move(operand)));
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Comparison() {
  std::unique_ptr<OBL_Item> left = Negation();
  OBL_CmpOp op;
  switch (mScanner.GetToken()) {
    case OBL_Token::kEqual:
      op = OBL_CmpOp::kEqual;
      break;
    case OBL_Token::kNotEqual:
      op = OBL_CmpOp::kNotEqual;
      break;
    case OBL_Token::kLess:
      op = OBL_CmpOp::kLess;
      break;
    case OBL_Token::kLessEqual:
      op = OBL_CmpOp::kLessEqual;
      break;
    case OBL_Token::kGreater:
      op = OBL_CmpOp::kGreater;
      break;
    case OBL_Token::kGreaterEqual:
      op = OBL_CmpOp::kGreaterEqual;
      break;
    default:
      return left;
  }
  if (!left) Fail(604, "Comparison without its left operand");
  mScanner.Next();
  std::unique_ptr<OBL_Item> right = Negation();
  if (!right) Fail(604, "Comparison without its right operand");
  return zsql::MakeComparison(op, std::move(left), std::move(right));
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Negation() {
  if (mScanner.GetToken() != OBL_Token::kNot) return Shift();
  Nesting nesting(*this);
  mScanner.Next();
  return Unary1<OBL_Item_Func_Cmp_Not>(OrEmpty(Shift()));
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Shift() {
  std::unique_ptr<OBL_Item> left = Additive();
  while (true) {
    const OBL_Token token = mScanner.GetToken();
    if (token != OBL_Token::kShiftLeft && token != OBL_Token::kShiftRight) return left;
    mScanner.Next();
    std::unique_ptr<OBL_Item> right = OrEmpty(Additive());
    left = token == OBL_Token::kShiftLeft
               ? Binary<OBL_Item_Func_ShiftLeft>(OrEmpty(std::move(left)), std::move(right))
               : Binary<OBL_Item_Func_ShiftRight>(OrEmpty(std::move(left)), std::move(right));
  }
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Additive() {
  std::unique_ptr<OBL_Item> left = Multiplicative();
  while (true) {
    const OBL_Token token = mScanner.GetToken();
    if (token != OBL_Token::kPlus && token != OBL_Token::kMinus) return left;
    mScanner.Next();
    std::unique_ptr<OBL_Item> right = OrEmpty(Multiplicative());
    left = token == OBL_Token::kPlus
               ? Binary<OBL_Item_Func_Plus>(OrEmpty(std::move(left)), std::move(right))
               : Binary<OBL_Item_Func_Minus>(OrEmpty(std::move(left)), std::move(right));
  }
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Multiplicative() {
  std::unique_ptr<OBL_Item> left = Unary();
  while (true) {
    const OBL_Token token = mScanner.GetToken();
    if (token != OBL_Token::kStar && token != OBL_Token::kSlash && token != OBL_Token::kPercent) {
      return left;
    }
    mScanner.Next();
    std::unique_ptr<OBL_Item> right = OrEmpty(Unary());
    left = OrEmpty(std::move(left));
    if (token == OBL_Token::kStar) {
      left = Binary<OBL_Item_Func_Mult>(std::move(left), std::move(right));
    } else if (token == OBL_Token::kSlash) {
      left = Binary<OBL_Item_Func_Div>(std::move(left), std::move(right));
    } else {
      left = Binary<OBL_Item_Func_Mod>(std::move(left), std::move(right));
    }
  }
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Unary() {
  switch (mScanner.GetToken()) {
    case OBL_Token::kMinus: {
      Nesting nesting(*this);
      mScanner.Next();
      return Unary1<OBL_Item_Func_Neg>(OrEmpty(Unary()));
    }
    case OBL_Token::kLParen: {
      mScanner.Next();
      std::unique_ptr<OBL_Item> inner = OrEmpty(OrExpr());
      if (mScanner.GetToken() != OBL_Token::kRParen) Fail(608);
      mScanner.Next();
      return inner;
    }
    case OBL_Token::kNumber: {
      auto item = std::make_unique<OBL_Item_Double>(mScanner.GetNumber());
      mScanner.Next();
      return item;
    }
    case OBL_Token::kString: {
      auto item = std::make_unique<OBL_Item_Str>(mScanner.GetText());
      mScanner.Next();
      return item;
    }
    case OBL_Token::kName:
      return NameOrCall();
    default:
      return nullptr;
  }
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::NameOrCall() {
  const std::string name = mScanner.GetText();
  const size_t offset = mScanner.GetOffset();
  if (mScanner.Next() == OBL_Token::kLParen) return Call(name, offset);
  for (uint32_t i = 1; i <= mTable.FieldCount(); ++i) {
    FBL_BaseField* field = mTable.GetField(i);
    if (SameName(field->GetName(), name)) return zsql::MakeFieldItem(*field);
  }
  return nullptr;
}

std::unique_ptr<OBL_Item> OBL_ExpressionParser::Call(const std::string& name, size_t /*offset*/) {
  Nesting nesting(*this);
  const OBL_FunctionInfo* info = zsql::FindFunction(name);
  OBL_ItemList args;
  if (mScanner.Next() == OBL_Token::kRParen) {
    if (info != nullptr && info->mMinArgs > 0) Fail(619);
  } else {
    while (true) {
      args.push_back(OrEmpty(OrExpr()));
      const OBL_Token token = mScanner.GetToken();
      if (token == OBL_Token::kRParen) break;
      if (token == OBL_Token::kEnd) Fail(608);
      if (token != OBL_Token::kComma) Fail(618);
      if (info != nullptr && args.size() >= info->mMaxArgs) Fail(608);
      mScanner.Next();
    }
    if (info != nullptr && args.size() < info->mMinArgs) Fail(619);
  }
  mScanner.Next();
  if (info == nullptr) return nullptr;
  return info->mMake(mSettings, std::move(args));
}

std::unique_ptr<OBL_Item> zsql::CompileExpression(FBL_Table& table, std::string_view text) {
  return OBL_ExpressionParser(table, text).Parse();
}
