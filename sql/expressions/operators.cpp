#include "sql/expressions/operators.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

int zsql::Truth(OBL_Item& item, REC_ID recID) {
  bool yes;
  if (item.GetResultType() == OBL_ResultType::kInteger) {
    yes = item.GetLongLong(recID) != 0;
  } else {
    yes = item.GetDouble(recID) != 0;
  }
  if (item.IsNull()) return -1;
  return yes ? 1 : 0;
}

int64_t OBL_Item_Func_Cmp_And::GetLongLong(REC_ID recID) {
  bool sawNull = false;
  for (auto& arg : mArgs) {
    const int truth = zsql::Truth(*arg, recID);
    if (truth == 0) {
      mNull = false;
      return 0;
    }
    if (truth < 0) sawNull = true;
  }
  mNull = sawNull;
  return sawNull ? 0 : 1;
}

int64_t OBL_Item_Func_Cmp_Or::GetLongLong(REC_ID recID) {
  bool sawNull = false;
  for (auto& arg : mArgs) {
    const int truth = zsql::Truth(*arg, recID);
    if (truth == 1) {
      mNull = false;
      return 1;
    }
    if (truth < 0) sawNull = true;
  }
  mNull = sawNull;
  return 0;
}

int64_t OBL_Item_Func_Cmp_Not::GetLongLong(REC_ID recID) {
  const int truth = zsql::Truth(Arg(0), recID);
  mNull = truth < 0;
  return truth == 0 ? 1 : 0;
}

namespace {

// Evaluates item in its own type, for its null flag.
bool EvaluatesNull(OBL_Item& item, REC_ID recID) {
  switch (item.GetResultType()) {
    case OBL_ResultType::kInteger:
      item.GetLongLong(recID);
      break;
    case OBL_ResultType::kDouble:
      item.GetDouble(recID);
      break;
    case OBL_ResultType::kString: {
      std::string text;
      item.GetString(recID, text);
      break;
    }
  }
  return item.IsNull();
}

}  // namespace

int64_t OBL_Item_Func_Cmp_IsNull::GetLongLong(REC_ID recID) {
  mNull = false;
  return EvaluatesNull(Arg(0), recID) ? 1 : 0;
}

int64_t OBL_Item_Func_Cmp_IsNotNull::GetLongLong(REC_ID recID) {
  mNull = false;
  return EvaluatesNull(Arg(0), recID) ? 0 : 1;
}

int64_t OBL_Item_Func_Mod::IntOp(int64_t a, int64_t b, bool& null) const {
  if (b == 0) {
    null = true;
    return 0;
  }
  if (b == -1) return 0;  // INT64_MIN % -1 overflows
  return a % b;
}

double OBL_Item_Func_Mod::DoubleOp(double a, double b, bool& null) const {
  if (b == 0) {
    null = true;
    return 0;
  }
  return std::fmod(a, b);
}

double OBL_Item_Func_Div::GetDouble(REC_ID recID) {
  const double a = Arg(0).GetDouble(recID);
  const double b = Arg(1).GetDouble(recID);
  mNull = AnyArgNull() || b == 0;
  if (mNull) return 0;
  const double result = a / b;
  mNull = !std::isfinite(result);
  return mNull ? 0 : result;
}

OBL_Item_Func_Neg::OBL_Item_Func_Neg(OBL_ItemList args)
    : OBL_Item_Func(args[0]->GetResultType() == OBL_ResultType::kInteger
                        ? OBL_ResultType::kInteger
                        : OBL_ResultType::kDouble,
                    std::move(args)) {}

int64_t OBL_Item_Func_Neg::GetLongLong(REC_ID recID) {
  if (mType != OBL_ResultType::kInteger) return zsql::DoubleToInt64(GetDouble(recID));
  const int64_t value = Arg(0).GetLongLong(recID);
  mNull = Arg(0).IsNull();
  return mNull ? 0 : zsql::WrapSub(0, value);
}

double OBL_Item_Func_Neg::GetDouble(REC_ID recID) {
  if (mType == OBL_ResultType::kInteger) return static_cast<double>(GetLongLong(recID));
  const double value = Arg(0).GetDouble(recID);
  mNull = Arg(0).IsNull();
  return mNull ? 0 : -value;
}

void OBL_Item_Func_Neg::GetString(REC_ID recID, std::string& out) {
  if (mType == OBL_ResultType::kInteger) {
    const int64_t value = GetLongLong(recID);
    out = mNull ? std::string() : std::to_string(value);
  } else {
    const double value = GetDouble(recID);
    out = mNull ? std::string() : zsql::DoubleToText(value);
  }
}

namespace {

int64_t Shift(OBL_Item& value, OBL_Item& count, REC_ID recID, bool left, bool& null) {
  const uint64_t bits = static_cast<uint64_t>(value.GetLongLong(recID));
  const int64_t n = count.GetLongLong(recID);
  null = value.IsNull() || count.IsNull();
  if (null || n < 0 || n > 63) return 0;
  return static_cast<int64_t>(left ? bits << n : bits >> n);
}

}  // namespace

int64_t OBL_Item_Func_ShiftLeft::GetLongLong(REC_ID recID) {
  return Shift(Arg(0), Arg(1), recID, true, mNull);
}

int64_t OBL_Item_Func_ShiftRight::GetLongLong(REC_ID recID) {
  return Shift(Arg(0), Arg(1), recID, false, mNull);
}
