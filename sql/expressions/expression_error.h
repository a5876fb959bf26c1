// The error of a method expression that does not compile: its code (604
// syntax, 606 NULL expected, 608 ")" expected, 618 "," expected, 619 too
// few arguments) and the offset in the text where parsing stopped.
#pragma once

#include <cstddef>
#include <string>

#include "platform/errors.h"

class xOBL_ExpressionError : public xOBL_ParserError {
 public:
  xOBL_ExpressionError(int32_t code, size_t offset, const char* message = nullptr)
      : xOBL_ParserError(code, message), mOffset(offset) {}
  size_t GetOffset() const { return mOffset; }

 private:
  size_t mOffset;
};
