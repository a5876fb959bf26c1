#include "sql/expressions/string_functions.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sql/expressions/operators.h"

namespace {

using zsql::kMaxTextResult;

// The bytes of the key stream of ENCODE and DECODE.
class KeyStream {
 public:
  explicit KeyStream(const std::string& key) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
    mState = hash != 0 ? hash : 1;
  }
  uint8_t Next() {
    mState ^= mState >> 12;
    mState ^= mState << 25;
    mState ^= mState >> 27;
    return static_cast<uint8_t>((mState * 2685821657736338717ull) >> 56);
  }

 private:
  uint64_t mState;
};

void Code(std::string& text, const std::string& key, bool encode) {
  KeyStream stream(key);
  for (char& c : text) {
    const uint8_t k = stream.Next();
    const auto byte = static_cast<uint8_t>(c);
    c = static_cast<char>(static_cast<uint8_t>(encode ? byte + k : byte - k));
  }
}

// At most n (clamped at 0) of the first or last bytes.
size_t Count(int64_t n, size_t size) {
  return n <= 0 ? 0 : static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(n), size));
}

}  // namespace

void OBL_Item_Func_Concat::GetString(REC_ID recID, std::string& out) {
  out.clear();
  std::string part;
  for (size_t i = 0; i < GetArgCount(); ++i) {
    if (!ArgText(i, recID, part)) return out.clear();
    if (out.size() + part.size() > kMaxTextResult) {
      mNull = true;
      return out.clear();
    }
    out += part;
  }
}

void OBL_Item_Func_Encode::GetString(REC_ID recID, std::string& out) {
  std::string key;
  if (!ArgText(0, recID, out) || !ArgText(1, recID, key)) return out.clear();
  Code(out, key, true);
}

void OBL_Item_Func_Decode::GetString(REC_ID recID, std::string& out) {
  std::string key;
  if (!ArgText(0, recID, out) || !ArgText(1, recID, key)) return out.clear();
  Code(out, key, false);
}

void OBL_Item_Func_Head::GetString(REC_ID recID, std::string& out) {
  std::string sep;
  if (!ArgText(0, recID, out) || !ArgText(1, recID, sep)) return out.clear();
  const size_t at = out.find(sep);
  if (at != std::string::npos) out.resize(at);
}

void OBL_Item_Func_Tail::GetString(REC_ID recID, std::string& out) {
  std::string sep;
  if (!ArgText(0, recID, out) || !ArgText(1, recID, sep)) return out.clear();
  const size_t at = out.find(sep);
  out = at == std::string::npos ? std::string() : out.substr(at + sep.size());
}

void OBL_Item_Func_Insert::GetString(REC_ID recID, std::string& out) {
  int64_t pos = 0, length = 0;
  std::string with;
  if (!ArgText(0, recID, out) || !ArgInt(1, recID, pos) || !ArgInt(2, recID, length) ||
      !ArgText(3, recID, with)) {
    return out.clear();
  }
  if (pos < 1 || static_cast<uint64_t>(pos) > out.size()) return;
  const size_t from = static_cast<size_t>(pos - 1);
  const size_t rest = out.size() - from;
  const size_t cut = length < 0 ? rest : Count(length, rest);
  if (out.size() - cut + with.size() > kMaxTextResult) {
    mNull = true;
    return out.clear();
  }
  out.replace(from, cut, with);
}

void OBL_Item_Func_Left::GetString(REC_ID recID, std::string& out) {
  int64_t n = 0;
  if (!ArgText(0, recID, out) || !ArgInt(1, recID, n)) return out.clear();
  out.resize(Count(n, out.size()));
}

void OBL_Item_Func_Right::GetString(REC_ID recID, std::string& out) {
  int64_t n = 0;
  if (!ArgText(0, recID, out) || !ArgInt(1, recID, n)) return out.clear();
  out.erase(0, out.size() - Count(n, out.size()));
}

void OBL_Item_Func_Lower::GetString(REC_ID recID, std::string& out) {
  if (!ArgText(0, recID, out)) return out.clear();
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
}

void OBL_Item_Func_Upper::GetString(REC_ID recID, std::string& out) {
  if (!ArgText(0, recID, out)) return out.clear();
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
}

namespace {

// LPAD and RPAD; false for a NULL result.
bool Pad(std::string& text, int64_t n, const std::string& pad, bool left) {
  if (n < 0 || static_cast<uint64_t>(n) > kMaxTextResult) return false;
  const size_t want = static_cast<size_t>(n);
  if (text.size() >= want) {
    text.resize(want);
    return true;
  }
  if (pad.empty()) return false;
  std::string fill;
  fill.reserve(want - text.size());
  while (fill.size() < want - text.size()) fill += pad;
  fill.resize(want - text.size());
  text = left ? fill + text : text + fill;
  return true;
}

}  // namespace

void OBL_Item_Func_LPad::GetString(REC_ID recID, std::string& out) {
  int64_t n = 0;
  std::string pad;
  if (!ArgText(0, recID, out) || !ArgInt(1, recID, n) || !ArgText(2, recID, pad)) {
    return out.clear();
  }
  if (!Pad(out, n, pad, true)) {
    mNull = true;
    out.clear();
  }
}

void OBL_Item_Func_RPad::GetString(REC_ID recID, std::string& out) {
  int64_t n = 0;
  std::string pad;
  if (!ArgText(0, recID, out) || !ArgInt(1, recID, n) || !ArgText(2, recID, pad)) {
    return out.clear();
  }
  if (!Pad(out, n, pad, false)) {
    mNull = true;
    out.clear();
  }
}

void OBL_Item_Func_LTrim::GetString(REC_ID recID, std::string& out) {
  if (!ArgText(0, recID, out)) return out.clear();
  out.erase(0, std::min(out.find_first_not_of(' '), out.size()));
}

void OBL_Item_Func_RTrim::GetString(REC_ID recID, std::string& out) {
  if (!ArgText(0, recID, out)) return out.clear();
  const size_t last = out.find_last_not_of(' ');
  out.resize(last == std::string::npos ? 0 : last + 1);
}

void OBL_Item_Func_Trim::GetString(REC_ID recID, std::string& out) {
  if (!ArgText(0, recID, out)) return out.clear();
  const size_t last = out.find_last_not_of(' ');
  out.resize(last == std::string::npos ? 0 : last + 1);
  out.erase(0, std::min(out.find_first_not_of(' '), out.size()));
}

void OBL_Item_Func_Repeat::GetString(REC_ID recID, std::string& out) {
  std::string unit;
  int64_t n = 0;
  out.clear();
  if (!ArgText(0, recID, unit) || !ArgInt(1, recID, n) || n <= 0 || unit.empty()) return;
  if (static_cast<uint64_t>(n) > kMaxTextResult / unit.size()) {
    mNull = true;
    return;
  }
  out.reserve(unit.size() * static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) out += unit;
}

void OBL_Item_Func_Replace::GetString(REC_ID recID, std::string& out) {
  std::string text, from, to;
  out.clear();
  if (!ArgText(0, recID, text) || !ArgText(1, recID, from) || !ArgText(2, recID, to)) return;
  if (from.empty()) {
    out = std::move(text);
    return;
  }
  size_t at = 0;
  for (size_t next; (next = text.find(from, at)) != std::string::npos; at = next + from.size()) {
    out.append(text, at, next - at);
    out += to;
    if (out.size() > kMaxTextResult) {
      mNull = true;
      return out.clear();
    }
  }
  out.append(text, at, std::string::npos);
}

void OBL_Item_Func_Reverse::GetString(REC_ID recID, std::string& out) {
  if (!ArgText(0, recID, out)) return out.clear();
  std::reverse(out.begin(), out.end());
}

void OBL_Item_Func_Space::GetString(REC_ID recID, std::string& out) {
  int64_t n = 0;
  out.clear();
  if (!ArgInt(0, recID, n) || n <= 0) return;
  if (static_cast<uint64_t>(n) > kMaxTextResult) {
    mNull = true;
    return;
  }
  out.assign(static_cast<size_t>(n), ' ');
}

void OBL_Item_Func_SubStr::GetString(REC_ID recID, std::string& out) {
  int64_t pos = 0, length = INT64_MAX;
  if (!ArgText(0, recID, out) || !ArgInt(1, recID, pos) ||
      (GetArgCount() > 2 && !ArgInt(2, recID, length))) {
    return out.clear();
  }
  const auto size = static_cast<int64_t>(out.size());
  if (pos == 0 || pos > size || pos < -size || length <= 0) return out.clear();
  const size_t from = static_cast<size_t>(pos > 0 ? pos - 1 : size + pos);
  out = out.substr(from, Count(length, out.size() - from));
}

int64_t OBL_Item_Func_Length::GetLongLong(REC_ID recID) {
  std::string text;
  if (!ArgText(0, recID, text)) return 0;
  return static_cast<int64_t>(text.size());
}

int64_t OBL_Item_Func_Locate::GetLongLong(REC_ID recID) {
  std::string sub, text;
  int64_t start = 1;
  if (!ArgText(0, recID, sub) || !ArgText(1, recID, text) ||
      (GetArgCount() > 2 && !ArgInt(2, recID, start))) {
    return 0;
  }
  if (start < 0) return 0;
  if (start == 0) start = 1;
  if (static_cast<uint64_t>(start) > text.size() + 1) return 0;
  const size_t at = text.find(sub, static_cast<size_t>(start - 1));
  return at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1;
}

int64_t OBL_Item_Func_StrcSpn::GetLongLong(REC_ID recID) {
  std::string text, set;
  if (!ArgText(0, recID, text) || !ArgText(1, recID, set)) return 0;
  const size_t at = text.find_first_of(set);
  return static_cast<int64_t>(at == std::string::npos ? text.size() : at);
}

int64_t OBL_Item_Func_StrSpn::GetLongLong(REC_ID recID) {
  std::string text, set;
  if (!ArgText(0, recID, text) || !ArgText(1, recID, set)) return 0;
  const size_t at = text.find_first_not_of(set);
  return static_cast<int64_t>(at == std::string::npos ? text.size() : at);
}

// ---- choices -------------------------------------------------------------------

int64_t OBL_Item_Func_Choice::GetLongLong(REC_ID recID) {
  if (mType == OBL_ResultType::kDouble) return zsql::DoubleToInt64(GetDouble(recID));
  OBL_Item& chosen = Choose(recID);
  const int64_t value = mType == OBL_ResultType::kInteger ? chosen.GetLongLong(recID)
                                                          : [&] {
                                                              std::string text;
                                                              chosen.GetString(recID, text);
                                                              return zsql::TextToInt64(text);
                                                            }();
  mNull = chosen.IsNull();
  return mNull ? 0 : value;
}

double OBL_Item_Func_Choice::GetDouble(REC_ID recID) {
  OBL_Item& chosen = Choose(recID);
  const double value = chosen.GetDouble(recID);
  mNull = chosen.IsNull();
  return mNull ? 0 : value;
}

void OBL_Item_Func_Choice::GetString(REC_ID recID, std::string& out) {
  if (mType == OBL_ResultType::kDouble) {
    const double value = GetDouble(recID);
    out = mNull ? std::string() : zsql::DoubleToText(value);
    return;
  }
  OBL_Item& chosen = Choose(recID);
  chosen.GetString(recID, out);
  mNull = chosen.IsNull();
  if (mNull) out.clear();
}

OBL_Item_Func_If::OBL_Item_Func_If(OBL_ItemList args)
    : OBL_Item_Func_Choice(zsql::CommonType(*args[1], *args[2]), std::move(args)) {}

OBL_Item& OBL_Item_Func_If::Choose(REC_ID recID) {
  return zsql::Truth(Arg(0), recID) == 1 ? Arg(1) : Arg(2);
}

OBL_Item_Func_IfNull::OBL_Item_Func_IfNull(OBL_ItemList args)
    : OBL_Item_Func_Choice(zsql::CommonType(*args[0], *args[1]), std::move(args)) {}

OBL_Item& OBL_Item_Func_IfNull::Choose(REC_ID recID) {
  // Evaluated in its own type for the null flag.
  OBL_Item& first = Arg(0);
  std::string text;
  if (first.GetResultType() == OBL_ResultType::kString) {
    first.GetString(recID, text);
  } else {
    first.GetDouble(recID);
  }
  return first.IsNull() ? Arg(1) : first;
}
