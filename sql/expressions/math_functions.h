// The numeric functions. A result that is not a finite number (outside a
// function's domain: SQRT(-1), LOG(0), ACOS(2)) is NULL.
//
// ROUND(x, d) rounds half away from zero at d decimals, TRUNCATE(x, d)
// cuts toward zero; d defaults to 0, may be negative (ROUND(1250, -2) is
// 1300) and is taken between -308 and 308. Both work on the double value
// scaled by 10^d, so a decimal that has no exact double can land on either
// side (ROUND(2.675, 2) is 2.68 here, as 2.675 * 100 rounds to 267.5).
// CEILING and FLOOR are floating point; ABS keeps an integer argument's
// type; SIGN is -1, 0 or 1.
#pragma once

#include "sql/expressions/func_item.h"

// A one-argument floating-point function.
class OBL_Item_Func_Math1 : public OBL_Item_Func_Double {
 public:
  using Fn = double (*)(double);
  OBL_Item_Func_Math1(Fn fn, OBL_ItemList args) : OBL_Item_Func_Double(std::move(args)), mFn(fn) {}
  double GetDouble(REC_ID recID) override;

 private:
  Fn mFn;
};

#define ZSQL_MATH1(Name)                                    \
  class OBL_Item_Func_##Name : public OBL_Item_Func_Math1 { \
   public:                                                  \
    explicit OBL_Item_Func_##Name(OBL_ItemList args);       \
  }
ZSQL_MATH1(ACos);
ZSQL_MATH1(ASin);
ZSQL_MATH1(ATan);
ZSQL_MATH1(Ceil);
ZSQL_MATH1(Cos);
ZSQL_MATH1(Cosh);
ZSQL_MATH1(Exp);
ZSQL_MATH1(Floor);
ZSQL_MATH1(Ln);
ZSQL_MATH1(Log);
ZSQL_MATH1(Sin);
ZSQL_MATH1(Sinh);
ZSQL_MATH1(Sqrt);
ZSQL_MATH1(Square);
ZSQL_MATH1(Tan);
ZSQL_MATH1(Tanh);
#undef ZSQL_MATH1

class OBL_Item_Func_Abs : public OBL_Item_Func {
 public:
  explicit OBL_Item_Func_Abs(OBL_ItemList args);
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;
};

class OBL_Item_Func_Sign : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Pow : public OBL_Item_Func_Double {
 public:
  using OBL_Item_Func_Double::OBL_Item_Func_Double;
  double GetDouble(REC_ID recID) override;
};

class OBL_Item_Func_Round : public OBL_Item_Func_Double {
 public:
  OBL_Item_Func_Round(bool truncate, OBL_ItemList args)
      : OBL_Item_Func_Double(std::move(args)), mTruncate(truncate) {}
  double GetDouble(REC_ID recID) override;

 private:
  bool mTruncate;
};
