#include "sql/expressions/math_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

double OBL_Item_Func_Math1::GetDouble(REC_ID recID) {
  const double x = Arg(0).GetDouble(recID);
  mNull = Arg(0).IsNull();
  if (mNull) return 0;
  const double result = mFn(x);
  mNull = !std::isfinite(result);
  return mNull ? 0 : result;
}

namespace {

double Square(double x) {
  return x * x;
}

// Functions of <cmath> are overloaded; pick the double ones.
template <double (*F)(double)>
constexpr OBL_Item_Func_Math1::Fn Of() {
  return F;
}

}  // namespace

#define ZSQL_MATH1_DEF(Name, F) \
  OBL_Item_Func_##Name::OBL_Item_Func_##Name(OBL_ItemList args) \
      : OBL_Item_Func_Math1(Of<F>(), std::move(args)) {}
ZSQL_MATH1_DEF(ACos, std::acos)
ZSQL_MATH1_DEF(ASin, std::asin)
ZSQL_MATH1_DEF(ATan, std::atan)
ZSQL_MATH1_DEF(Ceil, std::ceil)
ZSQL_MATH1_DEF(Cos, std::cos)
ZSQL_MATH1_DEF(Cosh, std::cosh)
ZSQL_MATH1_DEF(Exp, std::exp)
ZSQL_MATH1_DEF(Floor, std::floor)
ZSQL_MATH1_DEF(Ln, std::log)
ZSQL_MATH1_DEF(Log, std::log10)
ZSQL_MATH1_DEF(Sin, std::sin)
ZSQL_MATH1_DEF(Sinh, std::sinh)
ZSQL_MATH1_DEF(Sqrt, std::sqrt)
ZSQL_MATH1_DEF(Square, Square)
ZSQL_MATH1_DEF(Tan, std::tan)
ZSQL_MATH1_DEF(Tanh, std::tanh)
#undef ZSQL_MATH1_DEF

OBL_Item_Func_Abs::OBL_Item_Func_Abs(OBL_ItemList args)
    : OBL_Item_Func(args[0]->GetResultType() == OBL_ResultType::kInteger
                        ? OBL_ResultType::kInteger
                        : OBL_ResultType::kDouble,
                    std::move(args)) {}

int64_t OBL_Item_Func_Abs::GetLongLong(REC_ID recID) {
  if (mType != OBL_ResultType::kInteger) return zsql::DoubleToInt64(GetDouble(recID));
  const int64_t x = Arg(0).GetLongLong(recID);
  mNull = Arg(0).IsNull();
  if (mNull) return 0;
  return x < 0 ? zsql::WrapSub(0, x) : x;
}

double OBL_Item_Func_Abs::GetDouble(REC_ID recID) {
  if (mType == OBL_ResultType::kInteger) return static_cast<double>(GetLongLong(recID));
  const double x = Arg(0).GetDouble(recID);
  mNull = Arg(0).IsNull();
  return mNull ? 0 : std::fabs(x);
}

void OBL_Item_Func_Abs::GetString(REC_ID recID, std::string& out) {
  if (mType == OBL_ResultType::kInteger) {
    const int64_t value = GetLongLong(recID);
    out = mNull ? std::string() : std::to_string(value);
  } else {
    const double value = GetDouble(recID);
    out = mNull ? std::string() : zsql::DoubleToText(value);
  }
}

int64_t OBL_Item_Func_Sign::GetLongLong(REC_ID recID) {
  const double x = Arg(0).GetDouble(recID);
  mNull = Arg(0).IsNull();
  if (mNull) return 0;
  return x > 0 ? 1 : x < 0 ? -1 : 0;
}

double OBL_Item_Func_Pow::GetDouble(REC_ID recID) {
  const double x = Arg(0).GetDouble(recID);
  const double y = Arg(1).GetDouble(recID);
  mNull = AnyArgNull();
  if (mNull) return 0;
  const double result = std::pow(x, y);
  mNull = !std::isfinite(result);
  return mNull ? 0 : result;
}

double OBL_Item_Func_Round::GetDouble(REC_ID recID) {
  const double x = Arg(0).GetDouble(recID);
  const int64_t d = GetArgCount() > 1 ? std::clamp<int64_t>(Arg(1).GetLongLong(recID), -308, 308)
                                      : 0;
  mNull = AnyArgNull() || !std::isfinite(x);
  if (mNull) return 0;
  const double scale = std::pow(10.0, static_cast<double>(std::llabs(d)));
  const double scaled = d >= 0 ? x * scale : x / scale;
  if (!std::isfinite(scaled)) return x;  // more decimals than a double holds
  const double whole = mTruncate ? std::trunc(scaled) : std::round(scaled);
  const double result = d >= 0 ? whole / scale : whole * scale;
  mNull = !std::isfinite(result);
  return mNull ? 0 : result;
}
