// Bind values of the driver: the host's records wrapped as parameters, and
// the query text with its :N replaced by quoted values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/zdk_parameter.h"
#include "zorvane/dbdriver.h"

namespace bridge {

// One host bind record; it does not own the bytes.
class RevZxcmd_Bind : public api::ZDK_IParameter {
 public:
  explicit RevZxcmd_Bind(const BindValue& value) : mValue(value) {}
  uint32_t GetLength() const override { return mValue.length; }
  const char* GetBytes() const override { return mValue.data; }
  // The flag word is not used.
  int32_t GetFlag() const override { return 0; }

 private:
  BindValue mValue;
};

// The binds of one statement, each the value of its :N; none when count
// is 0 or less.
class BindList {
 public:
  BindList(const BindValue* binds, int32_t count);
  // The values as bytes (310 for a record with a length but no bytes).
  std::vector<std::string> Values() const;

 private:
  std::vector<std::unique_ptr<RevZxcmd_Bind>> mBinds;
};

// The SELECT text with every :N (1 <= N <= count) outside a quoted literal
// replaced by bind N as a literal, its apostrophes doubled (backslashes mean
// nothing in a literal). A value holding a zero byte is refused (310): a
// text compares up to its zero, so it would match a shorter value.
std::string QuoteBinds(const std::string& text, const BindValue* binds, int32_t count);

}  // namespace bridge
