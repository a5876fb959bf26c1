// The values a caller passes for the :N parameters of a statement (1-based).
// A parameter is always a value: its bytes are never read as statement
// text, so quotes, keywords or NUL bytes in it are matched verbatim.
#pragma once

#include <span>
#include <string>
#include <string_view>

// A value as the caller passes it. mNull: SQL NULL (mBytes ignored).
struct SQL_Param {
  std::string_view mBytes;
  bool mNull = false;
};

// A value held: its bytes, or NULL. mHex: the bytes are the dumps'
// hexadecimal form (without its last line feed), which byte fields decode
// and other fields take as text.
struct SQL_Value {
  std::string mBytes;
  bool mNull = true;
  bool mHex = false;
};

// The values of :1, :2, ... as a query holds them while it runs.
using SQL_ParamValues = std::span<const SQL_Value>;
