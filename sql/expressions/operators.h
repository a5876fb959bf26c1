// The logical and arithmetic operators of expressions.
//
// Logic is three-valued: a NULL operand makes AND NULL unless another
// operand is false, OR NULL unless another is true, NOT NULL NULL. IS NULL
// and IS NOT NULL are never NULL. Truth is a non-zero number.
//
// Arithmetic: +, -, * and % stay integers over integer operands (wrapping
// at 64 bits) and are floating point otherwise; / is always floating point;
// a division or a modulo by zero is NULL. << and >> shift the 64-bit
// unsigned form of their integer operands; a count outside 0..63 gives 0.
#pragma once

#include "sql/expressions/func_item.h"

class OBL_Item_Func_Cmp_And : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Cmp_Or : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Cmp_Not : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Cmp_IsNull : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Cmp_IsNotNull : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Plus : public OBL_Item_Func_Oper {
 public:
  using OBL_Item_Func_Oper::OBL_Item_Func_Oper;

 protected:
  int64_t IntOp(int64_t a, int64_t b, bool&) const override { return zsql::WrapAdd(a, b); }
  double DoubleOp(double a, double b, bool&) const override { return a + b; }
};

class OBL_Item_Func_Minus : public OBL_Item_Func_Oper {
 public:
  using OBL_Item_Func_Oper::OBL_Item_Func_Oper;

 protected:
  int64_t IntOp(int64_t a, int64_t b, bool&) const override { return zsql::WrapSub(a, b); }
  double DoubleOp(double a, double b, bool&) const override { return a - b; }
};

class OBL_Item_Func_Mult : public OBL_Item_Func_Oper {
 public:
  using OBL_Item_Func_Oper::OBL_Item_Func_Oper;

 protected:
  int64_t IntOp(int64_t a, int64_t b, bool&) const override { return zsql::WrapMul(a, b); }
  double DoubleOp(double a, double b, bool&) const override { return a * b; }
};

class OBL_Item_Func_Mod : public OBL_Item_Func_Oper {
 public:
  using OBL_Item_Func_Oper::OBL_Item_Func_Oper;

 protected:
  int64_t IntOp(int64_t a, int64_t b, bool& null) const override;
  double DoubleOp(double a, double b, bool& null) const override;
};

class OBL_Item_Func_Div : public OBL_Item_Func_Double {
 public:
  using OBL_Item_Func_Double::OBL_Item_Func_Double;
  double GetDouble(REC_ID recID) override;
};

// The operand's type.
class OBL_Item_Func_Neg : public OBL_Item_Func {
 public:
  explicit OBL_Item_Func_Neg(OBL_ItemList args);
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;
};

class OBL_Item_Func_ShiftLeft : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_ShiftRight : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
  int64_t GetLongLong(REC_ID recID) override;
};

namespace zsql {

// 1 true, 0 false, -1 NULL.
int Truth(OBL_Item& item, REC_ID recID);

}  // namespace zsql
