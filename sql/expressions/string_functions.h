// The text functions. Positions count characters (bytes of the 8-bit
// text) from 1; a NULL argument gives NULL; a result over 16 MB is NULL.
//
// Choices where engines differ:
// - SUBSTR(s, p [, n]): p < 0 counts from the end, p = 0 gives "".
// - LOCATE(sub, s [, start]): 0 when not found or start < 0; start 0 is 1;
//   an empty sub is found at start when start <= LENGTH(s) + 1.
// - INSERT(s, p, n, new): s unchanged when p is outside 1..LENGTH(s); a
//   negative n, or one past the end, replaces the rest.
// - LPAD and RPAD cut s to n when it is longer; a negative n, or an empty
//   pad that is needed, gives NULL.
// - TRIM, LTRIM and RTRIM remove spaces; LOWER and UPPER change the ASCII
//   letters only (the 8-bit letters belong to the column's language).
// - HEAD(s, sep) is the text before the first sep (all of s when there is
//   none), TAIL(s, sep) the text after it ("" when there is none).
// - ENCODE(s, key) adds to each byte the next byte of a stream drawn from
//   the key (a 64-bit xorshift generator seeded by the key's FNV-1a hash);
//   DECODE subtracts it: DECODE(ENCODE(s, k), k) = s for every byte value,
//   and the length is kept.
#pragma once

#include "sql/expressions/func_item.h"

#define ZSQL_TEXT_FUNC(Name)                                          \
  class OBL_Item_Func_##Name : public OBL_Item_Func_String {          \
   public:                                                            \
    using OBL_Item_Func_String::OBL_Item_Func_String;                 \
    void GetString(REC_ID recID, std::string& out) override;          \
  }
#define ZSQL_COUNT_FUNC(Name)                               \
  class OBL_Item_Func_##Name : public OBL_Item_Func_Int {   \
   public:                                                  \
    using OBL_Item_Func_Int::OBL_Item_Func_Int;             \
    int64_t GetLongLong(REC_ID recID) override;             \
  }
ZSQL_TEXT_FUNC(Concat);
ZSQL_TEXT_FUNC(Decode);
ZSQL_TEXT_FUNC(Encode);
ZSQL_TEXT_FUNC(Head);
ZSQL_TEXT_FUNC(Tail);
ZSQL_TEXT_FUNC(Insert);
ZSQL_TEXT_FUNC(Left);
ZSQL_TEXT_FUNC(Right);
ZSQL_TEXT_FUNC(Lower);
ZSQL_TEXT_FUNC(Upper);
ZSQL_TEXT_FUNC(LPad);
ZSQL_TEXT_FUNC(RPad);
ZSQL_TEXT_FUNC(LTrim);
ZSQL_TEXT_FUNC(RTrim);
ZSQL_TEXT_FUNC(Trim);
ZSQL_TEXT_FUNC(Repeat);
ZSQL_TEXT_FUNC(Replace);
ZSQL_TEXT_FUNC(Reverse);
ZSQL_TEXT_FUNC(Space);
ZSQL_TEXT_FUNC(SubStr);
ZSQL_COUNT_FUNC(Length);
ZSQL_COUNT_FUNC(Locate);
ZSQL_COUNT_FUNC(StrcSpn);
ZSQL_COUNT_FUNC(StrSpn);
#undef ZSQL_TEXT_FUNC
#undef ZSQL_COUNT_FUNC

// IF(condition, a, b) and IFNULL(a, b): the chosen argument's value, in the
// common type of the two (text over floating point over integer). A NULL
// condition chooses b.
class OBL_Item_Func_Choice : public OBL_Item_Func {
 public:
  OBL_Item_Func_Choice(OBL_ResultType type, OBL_ItemList&& args)
      : OBL_Item_Func(type, std::move(args)) {}
  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;

 protected:
  virtual OBL_Item& Choose(REC_ID recID) = 0;
};

class OBL_Item_Func_If : public OBL_Item_Func_Choice {
 public:
  explicit OBL_Item_Func_If(OBL_ItemList args);

 protected:
  OBL_Item& Choose(REC_ID recID) override;
};

class OBL_Item_Func_IfNull : public OBL_Item_Func_Choice {
 public:
  explicit OBL_Item_Func_IfNull(OBL_ItemList args);

 protected:
  OBL_Item& Choose(REC_ID recID) override;
};
