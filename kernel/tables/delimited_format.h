// Delimited text: the format text import and export share.
//
// A file is a run of records, each ended by the record delimiter (the last
// one may lack it); a record is a run of values separated by the field
// delimiter. Quoting is on exactly when the field delimiter is a comma:
// then every exported value is enclosed in double quotes, with each quote
// inside doubled, so that delimiters and line breaks inside values survive.
// On import a quoted value runs to a quote that is followed by a delimiter
// (a doubled quote is one quote of the value, a lone quote elsewhere is
// kept); a value that does not start with a quote runs to the next
// delimiter. Within imported values a vertical tab (0x0B), which other
// programs write for a line break inside a value, becomes a carriage return
// (0x0D). An empty value is a null. Texts are read and written in the
// machine's character set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct FBL_TextFormat {
  char mFieldDelimiter = '\t';
  char mRecordDelimiter = '\n';

  bool Quoting() const { return mFieldDelimiter == ','; }
};

// One imported value: its decoded bytes, followed by a NUL, in the reader's
// buffer (mutable, so that the value can be cut in place).
struct FBL_TextValue {
  char* mData = nullptr;
  size_t mLength = 0;

  std::string_view View() const { return {mData, mLength}; }
};

namespace zv {

inline constexpr char kTextQuote = '"';
inline constexpr char kVerticalTab = '\x0B';
inline constexpr char kCarriageReturn = '\x0D';

// Appends value as the format writes it (quoted when quoting is on; a null
// value is written as an empty one).
void AppendDelimitedValue(const FBL_TextFormat& format, std::string_view value, std::string& out);

}  // namespace zv
