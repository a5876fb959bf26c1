// The codes the statement executor raises (as xFBL_Exception). 600 to 619
// are shared with the SELECT parser (sql/parser/select_errors.h); their
// texts are in the error table.
#pragma once

#include <cstdint>

namespace zv::sql {

enum : int32_t {
  kErrStmtExpectedFrom = 601,
  kErrStmtTableNotFound = 602,
  kErrStmtFieldNotFound = 603,
  kErrStmtSyntax = 604,
  kErrStmtExpectedNull = 606,
  kErrStmtExpectedOpen = 607,
  kErrStmtExpectedClose = 608,
  kErrStmtExpectedExpression = 609,
  kErrStmtWrongFieldType = 610,
  kErrStmtExpectedComma = 618,
  kErrStmtNotEnoughParameters = 619,
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
