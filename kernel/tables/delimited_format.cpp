#include "kernel/tables/delimited_format.h"

#include <cstring>

void zv::AppendDelimitedValue(const FBL_TextFormat& format, std::string_view value,
                              std::string& out) {
  if (!format.Quoting()) {
    out.append(value);
    return;
  }
  out.push_back(kTextQuote);
  while (!value.empty()) {
    const void* quote = std::memchr(value.data(), kTextQuote, value.size());
    if (quote == nullptr) break;
    const size_t n = static_cast<size_t>(static_cast<const char*>(quote) - value.data()) + 1;
    out.append(value.data(), n);
    out.push_back(kTextQuote);
    value.remove_prefix(n);
  }
  out.append(value);
  out.push_back(kTextQuote);
}
