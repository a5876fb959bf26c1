#include "sql/expressions/func_item.h"

#include <cmath>
#include <utility>

OBL_Item_Func::OBL_Item_Func(OBL_ResultType type, OBL_ItemList&& args)
    : OBL_Item(OBL_ItemKind::kFunction, type), mArgs(std::move(args)) {}

OBL_Item_Func::~OBL_Item_Func() = default;

void OBL_Item_Func::Analyse() {
  bool constant = true;
  for (auto& arg : mArgs) {
    arg->Analyse();
    if (arg->GetState() != OBL_ItemState::kConstant) constant = false;
  }
  mState = constant ? OBL_ItemState::kConstant : OBL_ItemState::kDependsOnRecord;
}

bool OBL_Item_Func::HasAggregate() const {
  for (auto& arg : mArgs) {
    if (arg->IsAggregate() || arg->HasAggregate()) return true;
  }
  return false;
}

bool OBL_Item_Func::DependsOn(const FBL_BaseField& field) const {
  for (auto& arg : mArgs) {
    if (arg->DependsOn(field)) return true;
  }
  return false;
}

bool OBL_Item_Func::AnyArgNull() const {
  for (auto& arg : mArgs) {
    if (arg->IsNull()) return true;
  }
  return false;
}

bool OBL_Item_Func::ArgText(size_t i, REC_ID recID, std::string& out) {
  Arg(i).GetString(recID, out);
  mNull = Arg(i).IsNull();
  return !mNull;
}

bool OBL_Item_Func::ArgInt(size_t i, REC_ID recID, int64_t& out) {
  out = Arg(i).GetLongLong(recID);
  mNull = Arg(i).IsNull();
  return !mNull;
}

void OBL_Item_Func_Int::GetString(REC_ID recID, std::string& out) {
  const int64_t value = GetLongLong(recID);
  if (mNull) return out.clear();
  out = std::to_string(value);
}

void OBL_Item_Func_Double::GetString(REC_ID recID, std::string& out) {
  const double value = GetDouble(recID);
  if (mNull) return out.clear();
  out = zsql::DoubleToText(value);
}

int64_t OBL_Item_Func_String::GetLongLong(REC_ID recID) {
  std::string text;
  GetString(recID, text);
  return mNull ? 0 : zsql::TextToInt64(text);
}

double OBL_Item_Func_String::GetDouble(REC_ID recID) {
  std::string text;
  GetString(recID, text);
  return mNull ? 0 : zsql::TextToDouble(text);
}

OBL_ResultType zsql::CommonType(const OBL_Item& a, const OBL_Item& b) {
  const OBL_ResultType x = a.GetResultType(), y = b.GetResultType();
  if (x == OBL_ResultType::kString || y == OBL_ResultType::kString) return OBL_ResultType::kString;
  if (x == OBL_ResultType::kDouble || y == OBL_ResultType::kDouble) return OBL_ResultType::kDouble;
  return OBL_ResultType::kInteger;
}

// ---- binary arithmetic ---------------------------------------------------------

namespace {

OBL_ResultType OperType(const OBL_ItemList& args) {
  for (auto& arg : args) {
    if (arg->GetResultType() != OBL_ResultType::kInteger) return OBL_ResultType::kDouble;
  }
  return OBL_ResultType::kInteger;
}

}  // namespace

OBL_Item_Func_Oper::OBL_Item_Func_Oper(OBL_ItemList args)
    : OBL_Item_Func(OperType(args), std::move(args)) {}

int64_t OBL_Item_Func_Oper::GetLongLong(REC_ID recID) {
  if (mType != OBL_ResultType::kInteger) return zsql::DoubleToInt64(GetDouble(recID));
  const int64_t a = Arg(0).GetLongLong(recID);
  const int64_t b = Arg(1).GetLongLong(recID);
  mNull = AnyArgNull();
  if (mNull) return 0;
  const int64_t result = IntOp(a, b, mNull);
  return mNull ? 0 : result;
}

double OBL_Item_Func_Oper::GetDouble(REC_ID recID) {
  if (mType == OBL_ResultType::kInteger) return static_cast<double>(GetLongLong(recID));
  const double a = Arg(0).GetDouble(recID);
  const double b = Arg(1).GetDouble(recID);
  mNull = AnyArgNull();
  if (mNull) return 0;
  const double result = DoubleOp(a, b, mNull);
  if (!mNull && !std::isfinite(result)) mNull = true;
  return mNull ? 0 : result;
}

void OBL_Item_Func_Oper::GetString(REC_ID recID, std::string& out) {
  if (mType == OBL_ResultType::kInteger) {
    const int64_t value = GetLongLong(recID);
    out = mNull ? std::string() : std::to_string(value);
  } else {
    const double value = GetDouble(recID);
    out = mNull ? std::string() : zsql::DoubleToText(value);
  }
}
