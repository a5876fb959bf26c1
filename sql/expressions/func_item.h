// OBL_Item_Func: an operator or a function over argument items, and the
// families by result type. A family computes its value in its own type
// (an integer family in GetLongLong, a floating one in GetDouble, a text
// one in GetString) and converts for the other accessors; a NULL argument
// makes the result NULL unless the class says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/expressions/item.h"

using OBL_ItemList = std::vector<std::unique_ptr<OBL_Item>>;

class OBL_Item_Func : public OBL_Item {
 public:
  OBL_Item_Func(OBL_ResultType type, OBL_ItemList&& args);
  ~OBL_Item_Func() override;

  // Constant when every argument is.
  void Analyse() override;
  bool HasAggregate() const override;
  bool DependsOn(const FBL_BaseField& field) const override;

  uint16_t GetArgCount() const { return static_cast<uint16_t>(mArgs.size()); }
  // 0-based; REQUIRES: i < GetArgCount().
  OBL_Item& Arg(size_t i) const { return *mArgs[i]; }

 protected:
  // Whether an argument's last evaluation met a NULL.
  bool AnyArgNull() const;
  // Argument i as text or as an integer; false (and the null flag set) when
  // it is NULL.
  bool ArgText(size_t i, REC_ID recID, std::string& out);
  bool ArgInt(size_t i, REC_ID recID, int64_t& out);

  OBL_ItemList mArgs;
};

class OBL_Item_Func_Int : public OBL_Item_Func {
 public:
  OBL_Item_Func_Int(OBL_ItemList args) : OBL_Item_Func(OBL_ResultType::kInteger, std::move(args)) {}
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  double GetDouble(REC_ID recID) override { return static_cast<double>(GetLongLong(recID)); }
  void GetString(REC_ID recID, std::string& out) override;
};

class OBL_Item_Func_Double : public OBL_Item_Func {
 public:
  OBL_Item_Func_Double(OBL_ItemList args)
      : OBL_Item_Func(OBL_ResultType::kDouble, std::move(args)) {}
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override { return zsql::DoubleToInt64(GetDouble(recID)); }
  void GetString(REC_ID recID, std::string& out) override;
};

class OBL_Item_Func_String : public OBL_Item_Func {
 public:
  OBL_Item_Func_String(OBL_ItemList args)
      : OBL_Item_Func(OBL_ResultType::kString, std::move(args)) {}
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
};

// Integer parts of dates and times.
class OBL_Item_Func_DateTime : public OBL_Item_Func_Int {
 public:
  using OBL_Item_Func_Int::OBL_Item_Func_Int;
};

// A binary arithmetic operator: integer when both operands are, floating
// point otherwise. A result that has no value (a division by zero) is NULL.
class OBL_Item_Func_Oper : public OBL_Item_Func {
 public:
  OBL_Item_Func_Oper(OBL_ItemList args);
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;

 protected:
  // Set null for a result without a value.
  virtual int64_t IntOp(int64_t a, int64_t b, bool& null) const = 0;
  virtual double DoubleOp(double a, double b, bool& null) const = 0;
};

namespace zsql {

// The longest text a function makes; a longer result is NULL.
inline constexpr size_t kMaxTextResult = size_t{16} << 20;

// The result type of an item that yields one of two items' values: text
// when either is text, else floating when either is, else integer.
OBL_ResultType CommonType(const OBL_Item& a, const OBL_Item& b);
// Integer arithmetic that wraps instead of overflowing.
inline int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t WrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
inline int64_t WrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

}  // namespace zsql
