#include "bridge/driver_binds.h"

#include <cctype>

#include "platform/errors.h"

namespace bridge {

namespace {

std::string BytesOf(const api::ZDK_IParameter& bind) {
  if (bind.GetLength() == 0) return {};
  if (bind.GetBytes() == nullptr) throw xFBL_Exception(ERR_WRONG_PARAMETER, "A bind value has no bytes");
  return std::string(bind.GetBytes(), bind.GetLength());
}

// The literal of a query value.
void AppendQuoted(std::string& out, const std::string& value) {
  if (value.find('\0') != std::string::npos)
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "A query bind value holds a zero byte");
  out += '\'';
  for (const char c : value) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

}  // namespace

BindList::BindList(const BindValue* binds, int32_t count) {
  if (binds == nullptr || count <= 0) return;
  mBinds.reserve(10);
  for (int32_t i = 0; i < count; ++i) mBinds.push_back(std::make_unique<RevZxcmd_Bind>(binds[i]));
}

std::vector<std::string> BindList::Values() const {
  std::vector<std::string> values;
  values.reserve(mBinds.size());
  for (const auto& bind : mBinds) values.push_back(BytesOf(*bind));
  return values;
}

std::string QuoteBinds(const std::string& text, const BindValue* binds, int32_t count) {
  const BindList list(binds, count);
  const std::vector<std::string> values = list.Values();
  std::string out;
  out.reserve(text.size());
  char quote = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (quote != 0) {
      // A doubled quote leaves and re-enters the literal.
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ':') {
      size_t end = i + 1;
      uint64_t n = 0;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0 &&
             n <= values.size()) {
        n = n * 10 + static_cast<uint64_t>(text[end] - '0');
        ++end;
      }
      const bool digitsEnd = end == text.size() || std::isdigit(static_cast<unsigned char>(text[end])) == 0;
      if (end > i + 1 && digitsEnd && n >= 1 && n <= values.size()) {
        AppendQuoted(out, values[n - 1]);
        i = end;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace bridge
