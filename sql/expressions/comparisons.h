// Comparisons, one class per operator and operand kind. The kind follows
// the operands' result types: both integer → Int; both text → Str, or Text
// when either side reads a Text field; anything else → Double. Texts
// compare under the language of a String, VarChar or Text field among the
// operands, else byte by byte. A NULL operand gives NULL.
#pragma once

#include <cstdint>
#include <memory>

#include "sql/expressions/func_item.h"

class FBL_Language;

enum class OBL_CmpOp : uint8_t { kEqual, kNotEqual, kLess, kLessEqual, kGreater, kGreaterEqual };

class OBL_Item_Func_Cmp : public OBL_Item_Func_Int {
 public:
  OBL_Item_Func_Cmp(OBL_CmpOp op, OBL_ItemList args)
      : OBL_Item_Func_Int(std::move(args)), mOp(op) {}
  OBL_CmpOp GetOp() const { return mOp; }

 protected:
  // Whether the order -1, 0 or +1 satisfies the operator.
  bool Holds(int order) const;

  OBL_CmpOp mOp;
};

class OBL_Item_Func_Cmp_Int : public OBL_Item_Func_Cmp {
 public:
  using OBL_Item_Func_Cmp::OBL_Item_Func_Cmp;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Cmp_Double : public OBL_Item_Func_Cmp {
 public:
  using OBL_Item_Func_Cmp::OBL_Item_Func_Cmp;
  int64_t GetLongLong(REC_ID recID) override;
};

class OBL_Item_Func_Cmp_Str : public OBL_Item_Func_Cmp {
 public:
  OBL_Item_Func_Cmp_Str(OBL_CmpOp op, OBL_ItemList args);
  int64_t GetLongLong(REC_ID recID) override;

 private:
  const FBL_Language* mLanguage = nullptr;  // null: bytes
};

class OBL_Item_Func_Cmp_Text : public OBL_Item_Func_Cmp_Str {
 public:
  using OBL_Item_Func_Cmp_Str::OBL_Item_Func_Cmp_Str;
};

#define ZSQL_COMPARISON(Op, Kind)                                    \
  class OBL_Item_Func_##Op##_##Kind : public OBL_Item_Func_Cmp_##Kind { \
   public:                                                            \
    explicit OBL_Item_Func_##Op##_##Kind(OBL_ItemList args)           \
        : OBL_Item_Func_Cmp_##Kind(OBL_CmpOp::k##Op, std::move(args)) {} \
  }
#define ZSQL_COMPARISONS(Kind)              \
  ZSQL_COMPARISON(Equal, Kind);             \
  ZSQL_COMPARISON(NotEqual, Kind);          \
  ZSQL_COMPARISON(Less, Kind);              \
  ZSQL_COMPARISON(LessEqual, Kind);         \
  ZSQL_COMPARISON(Greater, Kind);           \
  ZSQL_COMPARISON(GreaterEqual, Kind)
ZSQL_COMPARISONS(Int);
ZSQL_COMPARISONS(Double);
ZSQL_COMPARISONS(Str);
ZSQL_COMPARISONS(Text);
#undef ZSQL_COMPARISONS
#undef ZSQL_COMPARISON

namespace zsql {

// The class of the operands' kind for op.
std::unique_ptr<OBL_Item_Func_Cmp> MakeComparison(OBL_CmpOp op, std::unique_ptr<OBL_Item> left,
                                                  std::unique_ptr<OBL_Item> right);

}  // namespace zsql
