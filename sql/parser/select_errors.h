// The SELECT parser's error codes. The parser records them in its
// statement and never throws them; their texts are in the error table.
#pragma once

#include <cstdint>

namespace zv::sql {

enum : int32_t {
  kErrExpectedSelect = 600,
  kErrExpectedFrom = 601,
  kErrTableNotFound = 602,
  kErrFieldNotFound = 603,
  kErrSyntax = 604,
  kErrExpectedNull = 606,
  kErrExpectedOpen = 607,
  kErrExpectedClose = 608,
  kErrExpectedExpression = 609,
  kErrExpectedValue = 612,
  kErrWrongLink = 613,
  kErrAmbiguousLink = 614,
  kErrMissingLink = 615,
  kErrWrongExpression = 616,
  kErrMixedAggregates = 617,
  kErrExpectedComma = 618,
  kErrNotEnoughParameters = 619,
  kErrExpectedAnd = 631,
  kErrSubSelectColumns = 632,
};

}  // namespace zv::sql
