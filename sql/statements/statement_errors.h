// The codes the statement executor raises (as xFBL_Exception): those it
// shares with the SELECT parser (sql/parser/select_errors.h) and its own.
// Their texts are in the error table.
#pragma once

#include <cstdint>

#include "sql/parser/select_errors.h"

namespace zv::sql {

enum : int32_t {
  kErrStmtWrongFieldType = 610,
  kErrStmtExpectedTable = 620,
  kErrStmtExpectedValues = 623,
  kErrStmtExpectedEquals = 625,
  kErrStmtExpectedPoint = 626,
  kErrStmtInvalidLength = 627,
  kErrStmtInvalidValue = 628,
};

// Raises xFBL_Exception with code.
[[noreturn]] void StatementError(int32_t code);

}  // namespace zv::sql
