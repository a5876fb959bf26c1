// Splits one script line into words.
//
// A word is a bare run of non-blank characters, a double-quoted string (with
// \" \\ \n \r \t \xHH escapes) or a single-quoted string taken literally;
// pieces written without a blank between them join into one word. $name and
// ${name} are replaced by a variable's value outside single quotes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct Word {
  std::string text;
  bool bare;  // written without quotes, so "=>" and "=" keep their meaning
};

// Looks a variable up; nullopt when it does not exist.
using VariableLookup = std::function<std::optional<std::string>(const std::string&)>;

// False with a message for an unterminated quote, a bad escape or an
// unknown variable.
bool SplitWords(const std::string& line, const VariableLookup& lookup, std::vector<Word>& words,
                std::string& error);

}  // namespace host
