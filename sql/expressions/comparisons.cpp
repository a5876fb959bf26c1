#include "sql/expressions/comparisons.h"

#include <string>
#include <utility>

#include "kernel/tables/language.h"
#include "sql/expressions/field_items.h"

bool OBL_Item_Func_Cmp::Holds(int order) const {
  switch (mOp) {
    case OBL_CmpOp::kEqual:
      return order == 0;
    case OBL_CmpOp::kNotEqual:
      return order != 0;
    case OBL_CmpOp::kLess:
      return order < 0;
    case OBL_CmpOp::kLessEqual:
      return order <= 0;
    case OBL_CmpOp::kGreater:
      return order > 0;
    case OBL_CmpOp::kGreaterEqual:
      return order >= 0;
  }
  return false;
}

int64_t OBL_Item_Func_Cmp_Int::GetLongLong(REC_ID recID) {
  const int64_t a = Arg(0).GetLongLong(recID);
  const int64_t b = Arg(1).GetLongLong(recID);
  mNull = AnyArgNull();
  return !mNull && Holds(a < b ? -1 : a > b ? 1 : 0);
}

int64_t OBL_Item_Func_Cmp_Double::GetLongLong(REC_ID recID) {
  const double a = Arg(0).GetDouble(recID);
  const double b = Arg(1).GetDouble(recID);
  mNull = AnyArgNull();
  if (mNull) return 0;
  if (a != a || b != b) return mOp == OBL_CmpOp::kNotEqual;  // NaN equals nothing
  return Holds(a < b ? -1 : a > b ? 1 : 0);
}

OBL_Item_Func_Cmp_Str::OBL_Item_Func_Cmp_Str(OBL_CmpOp op, OBL_ItemList args)
    : OBL_Item_Func_Cmp(op, std::move(args)) {
  for (auto& arg : mArgs) {
    auto* field = dynamic_cast<const OBL_Item_Field*>(arg.get());
    if (field != nullptr && field->GetLanguage() != nullptr) {
      mLanguage = field->GetLanguage();
      break;
    }
  }
}

int64_t OBL_Item_Func_Cmp_Str::GetLongLong(REC_ID recID) {
  std::string a, b;
  Arg(0).GetString(recID, a);
  Arg(1).GetString(recID, b);
  mNull = AnyArgNull();
  if (mNull) return 0;
  const int order = mLanguage != nullptr
                        ? mLanguage->Compare(a.data(), a.size(), b.data(), b.size())
                        : zv::CompareAscii(a.data(), a.size(), b.data(), b.size());
  return Holds(order);
}

namespace {


template <class Eq, class Ne, class Lt, class Le, class Gt, class Ge>
std::unique_ptr<OBL_Item_Func_Cmp> Pick(OBL_CmpOp op, OBL_ItemList args) {
  switch (op) {
    case OBL_CmpOp::kEqual:
      return std::make_unique<Eq>(std::move(args));
    case OBL_CmpOp::kNotEqual:
      return std::make_unique<Ne>(std::move(args));
    case OBL_CmpOp::kLess:
      return std::make_unique<Lt>(std::move(args));
    case OBL_CmpOp::kLessEqual:
      return std::make_unique<Le>(std::move(args));
    case OBL_CmpOp::kGreater:
      return std::make_unique<Gt>(std::move(args));
    case OBL_CmpOp::kGreaterEqual:
      break;
  }
  return std::make_unique<Ge>(std::move(args));
}

bool ReadsTextField(const OBL_Item& item) {
  auto* field = dynamic_cast<const OBL_Item_Field*>(&item);
  return field != nullptr && field->IsTextField();
}

}  // namespace

#define ZSQL_PICK(Kind)                                                                     \
  Pick<OBL_Item_Func_Equal_##Kind, OBL_Item_Func_NotEqual_##Kind, OBL_Item_Func_Less_##Kind, \
       OBL_Item_Func_LessEqual_##Kind, OBL_Item_Func_Greater_##Kind,                        \
       OBL_Item_Func_GreaterEqual_##Kind>(op, std::move(args))

std::unique_ptr<OBL_Item_Func_Cmp> zsql::MakeComparison(OBL_CmpOp op,
                                                        std::unique_ptr<OBL_Item> left,
                                                        std::unique_ptr<OBL_Item> right) {
  const OBL_ResultType a = left->GetResultType(), b = right->GetResultType();
  const bool text = ReadsTextField(*left) || ReadsTextField(*right);
  OBL_ItemList args;
  args.push_back(std::move(left));
  args.push_back(std::move(right));
  if (a == OBL_ResultType::kInteger && b == OBL_ResultType::kInteger) return ZSQL_PICK(Int);
  if (a == OBL_ResultType::kString && b == OBL_ResultType::kString) {
    if (text) return ZSQL_PICK(Text);
    return ZSQL_PICK(Str);
  }
  return ZSQL_PICK(Double);
}
