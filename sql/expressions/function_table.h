// The functions of the expression language: name, argument counts and the
// item that computes each. Names are found by the checksum of the
// upper-cased name (the keywords' checksum, scanner.h) and then compared.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "kernel/storage/date_settings.h"
#include "sql/expressions/func_item.h"

struct OBL_FunctionInfo {
  const char* mName;
  uint16_t mMinArgs;
  uint16_t mMaxArgs;  // kAnyCount: no limit
  std::unique_ptr<OBL_Item> (*mMake)(const FBL_DateSettings& settings, OBL_ItemList args);

  static constexpr uint16_t kAnyCount = 0xFFFF;
};

namespace zsql {

// The function of that name (any letter case); null for a name not in the
// table.
const OBL_FunctionInfo* FindFunction(std::string_view name);
// Every function, for tests.
std::span<const OBL_FunctionInfo> AllFunctions();

}  // namespace zsql
