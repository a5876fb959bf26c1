#include "sql/expressions/function_table.h"

#include <array>
#include <string>

#include "sql/expressions/date_functions.h"
#include "sql/expressions/math_functions.h"
#include "sql/expressions/scanner.h"
#include "sql/expressions/string_functions.h"

namespace {

template <class T>
std::unique_ptr<OBL_Item> Plain(const FBL_DateSettings&, OBL_ItemList args) {
  return std::make_unique<T>(std::move(args));
}

template <class T>
std::unique_ptr<OBL_Item> Dated(const FBL_DateSettings& settings, OBL_ItemList args) {
  return std::make_unique<T>(settings, std::move(args));
}

template <bool kTruncate>
std::unique_ptr<OBL_Item> Round(const FBL_DateSettings&, OBL_ItemList args) {
  return std::make_unique<OBL_Item_Func_Round>(kTruncate, std::move(args));
}

template <bool kFromSunday>
std::unique_ptr<OBL_Item> WeekDay(const FBL_DateSettings& settings, OBL_ItemList args) {
  return std::make_unique<OBL_Item_Func_WeekDay>(kFromSunday, settings, std::move(args));
}

constexpr uint16_t kAny = OBL_FunctionInfo::kAnyCount;

const OBL_FunctionInfo kFunctions[] = {
    {"ABS", 1, 1, Plain<OBL_Item_Func_Abs>},
    {"ACOS", 1, 1, Plain<OBL_Item_Func_ACos>},
    {"ASIN", 1, 1, Plain<OBL_Item_Func_ASin>},
    {"ATAN", 1, 1, Plain<OBL_Item_Func_ATan>},
    {"CEILING", 1, 1, Plain<OBL_Item_Func_Ceil>},
    {"CONCAT", 1, kAny, Plain<OBL_Item_Func_Concat>},
    {"COS", 1, 1, Plain<OBL_Item_Func_Cos>},
    {"COSH", 1, 1, Plain<OBL_Item_Func_Cosh>},
    {"DAYOFMONTH", 1, 1, Dated<OBL_Item_Func_DayOfMonth>},
    {"DAYOFWEEK", 1, 1, WeekDay<true>},
    {"DAYOFYEAR", 1, 1, Dated<OBL_Item_Func_DayOfYear>},
    {"DECODE", 2, 2, Plain<OBL_Item_Func_Decode>},
    {"ENCODE", 2, 2, Plain<OBL_Item_Func_Encode>},
    {"EXP", 1, 1, Plain<OBL_Item_Func_Exp>},
    {"FLOOR", 1, 1, Plain<OBL_Item_Func_Floor>},
    {"FROM_DAYS", 1, 1, Dated<OBL_Item_Func_From_Days>},
    {"HEAD", 2, 2, Plain<OBL_Item_Func_Head>},
    {"HOUR", 1, 1, Dated<OBL_Item_Func_Hour>},
    {"IF", 3, 3, Plain<OBL_Item_Func_If>},
    {"IFNULL", 2, 2, Plain<OBL_Item_Func_IfNull>},
    {"INSERT", 4, 4, Plain<OBL_Item_Func_Insert>},
    {"LEFT", 2, 2, Plain<OBL_Item_Func_Left>},
    {"LENGTH", 1, 1, Plain<OBL_Item_Func_Length>},
    {"LOCATE", 2, 3, Plain<OBL_Item_Func_Locate>},
    {"LOG", 1, 1, Plain<OBL_Item_Func_Ln>},
    {"LOG10", 1, 1, Plain<OBL_Item_Func_Log>},
    {"LOWER", 1, 1, Plain<OBL_Item_Func_Lower>},
    {"LPAD", 3, 3, Plain<OBL_Item_Func_LPad>},
    {"LTRIM", 1, 1, Plain<OBL_Item_Func_LTrim>},
    {"MINUTE", 1, 1, Dated<OBL_Item_Func_Minute>},
    {"MONTH", 1, 1, Dated<OBL_Item_Func_Month>},
    {"PERIOD_ADD", 2, 2, Plain<OBL_Item_Func_Period_Add>},
    {"PERIOD_DIFF", 2, 2, Plain<OBL_Item_Func_Period_Diff>},
    {"POW", 2, 2, Plain<OBL_Item_Func_Pow>},
    {"QUARTER", 1, 1, Dated<OBL_Item_Func_Quarter>},
    {"REPEAT", 2, 2, Plain<OBL_Item_Func_Repeat>},
    {"REPLACE", 3, 3, Plain<OBL_Item_Func_Replace>},
    {"REVERSE", 1, 1, Plain<OBL_Item_Func_Reverse>},
    {"RIGHT", 2, 2, Plain<OBL_Item_Func_Right>},
    {"ROUND", 1, 2, Round<false>},
    {"RPAD", 3, 3, Plain<OBL_Item_Func_RPad>},
    {"RTRIM", 1, 1, Plain<OBL_Item_Func_RTrim>},
    {"SECOND", 1, 1, Dated<OBL_Item_Func_Second>},
    {"SEC_TO_TIME", 1, 1, Dated<OBL_Item_Func_Sec_To_Time>},
    {"SIGN", 1, 1, Plain<OBL_Item_Func_Sign>},
    {"SIN", 1, 1, Plain<OBL_Item_Func_Sin>},
    {"SINH", 1, 1, Plain<OBL_Item_Func_Sinh>},
    {"SPACE", 1, 1, Plain<OBL_Item_Func_Space>},
    {"SQRT", 1, 1, Plain<OBL_Item_Func_Sqrt>},
    {"SQUARE", 1, 1, Plain<OBL_Item_Func_Square>},
    {"STRCSPN", 2, 2, Plain<OBL_Item_Func_StrcSpn>},
    {"STRSPN", 2, 2, Plain<OBL_Item_Func_StrSpn>},
    {"SUBSTR", 2, 3, Plain<OBL_Item_Func_SubStr>},
    {"TAIL", 2, 2, Plain<OBL_Item_Func_Tail>},
    {"TAN", 1, 1, Plain<OBL_Item_Func_Tan>},
    {"TANH", 1, 1, Plain<OBL_Item_Func_Tanh>},
    {"TIME_TO_SEC", 1, 1, Dated<OBL_Item_Func_Time_To_Sek>},
    {"TO_DAYS", 1, 1, Dated<OBL_Item_Func_To_Days>},
    {"TRIM", 1, 1, Plain<OBL_Item_Func_Trim>},
    {"TRUNCATE", 1, 2, Round<true>},
    {"UPPER", 1, 1, Plain<OBL_Item_Func_Upper>},
    {"WEEK", 1, 2, Dated<OBL_Item_Func_Week>},
    {"WEEKDAY", 1, 1, WeekDay<false>},
    {"YEAR", 1, 1, Dated<OBL_Item_Func_Year>},
};

constexpr size_t kCount = sizeof kFunctions / sizeof kFunctions[0];
static_assert(kCount == 64);

struct ChecksumIndex {
  ChecksumIndex() {
    for (size_t i = 0; i < kCount; ++i) sums[i] = zsql::WordChecksum(kFunctions[i].mName);
  }
  std::array<uint32_t, kCount> sums;
};

}  // namespace

const OBL_FunctionInfo* zsql::FindFunction(std::string_view name) {
  static const ChecksumIndex index;
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  const uint32_t sum = WordChecksum(upper);
  for (size_t i = 0; i < kCount; ++i) {
    if (index.sums[i] == sum && upper == kFunctions[i].mName) return &kFunctions[i];
  }
  return nullptr;
}

std::span<const OBL_FunctionInfo> zsql::AllFunctions() {
  return {kFunctions, kCount};
}
