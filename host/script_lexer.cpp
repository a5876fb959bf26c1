#include "host/script_lexer.h"

#include <cctype>

namespace host {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class Lexer {
 public:
  Lexer(const std::string& line, const VariableLookup& lookup) : mLine(line), mLookup(lookup) {}

  bool Run(std::vector<Word>& words, std::string& error) {
    while (true) {
      while (mPos < mLine.size() && IsBlank(mLine[mPos])) ++mPos;
      if (mPos >= mLine.size()) return true;
      Word word{"", true};
      while (mPos < mLine.size() && !IsBlank(mLine[mPos])) {
        const char c = mLine[mPos];
        bool ok = true;
        if (c == '"') {
          word.bare = false;
          ok = DoubleQuoted(word.text);
        } else if (c == '\'') {
          word.bare = false;
          ok = SingleQuoted(word.text);
        } else if (c == '$') {
          ok = Variable(word.text);
        } else {
          word.text += c;
          ++mPos;
        }
        if (!ok) {
          error = mError;
          return false;
        }
      }
      words.push_back(std::move(word));
    }
  }

 private:
  bool Fail(const std::string& message) {
    mError = message;
    return false;
  }

  bool SingleQuoted(std::string& out) {
    const size_t end = mLine.find('\'', mPos + 1);
    if (end == std::string::npos) return Fail("unterminated single quote");
    out.append(mLine, mPos + 1, end - mPos - 1);
    mPos = end + 1;
    return true;
  }

  bool DoubleQuoted(std::string& out) {
    ++mPos;
    while (mPos < mLine.size()) {
      const char c = mLine[mPos];
      if (c == '"') {
        ++mPos;
        return true;
      }
      if (c == '$') {
        if (!Variable(out)) return false;
        continue;
      }
      if (c != '\\') {
        out += c;
        ++mPos;
        continue;
      }
      if (!Escape(out)) return false;
    }
    return Fail("unterminated double quote");
  }

  bool Escape(std::string& out) {
    if (mPos + 1 >= mLine.size()) return Fail("backslash at end of line");
    const char e = mLine[mPos + 1];
    mPos += 2;
    switch (e) {
      case '"':
        out += '"';
        return true;
      case '\\':
        out += '\\';
        return true;
      case 'n':
        out += '\n';
        return true;
      case 'r':
        out += '\r';
        return true;
      case 't':
        out += '\t';
        return true;
      case 'x': {
        if (mPos + 2 > mLine.size() || !std::isxdigit(static_cast<unsigned char>(mLine[mPos])) ||
            !std::isxdigit(static_cast<unsigned char>(mLine[mPos + 1]))) {
          return Fail("\\x needs two hexadecimal digits");
        }
        out += static_cast<char>(std::stoi(mLine.substr(mPos, 2), nullptr, 16));
        mPos += 2;
        return true;
      }
      default:
        return Fail(std::string("unknown escape \\") + e);
    }
  }

  // $name or ${name}; a lone $ stays a dollar sign.
  bool Variable(std::string& out) {
    size_t start = mPos + 1;
    size_t end;
    size_t next;
    if (start < mLine.size() && mLine[start] == '{') {
      end = mLine.find('}', start);
      if (end == std::string::npos) return Fail("unterminated ${");
      ++start;
      next = end + 1;
    } else {
      end = start;
      while (end < mLine.size() && IsNameChar(mLine[end])) ++end;
      next = end;
    }
    if (end == start) {
      out += '$';
      ++mPos;
      return true;
    }
    const std::string name = mLine.substr(start, end - start);
    std::optional<std::string> value = mLookup(name);
    if (!value) return Fail("unknown variable " + name);
    out += *value;
    mPos = next;
    return true;
  }

  const std::string& mLine;
  const VariableLookup& mLookup;
  size_t mPos = 0;
  std::string mError;
};

}  // namespace

bool SplitWords(const std::string& line, const VariableLookup& lookup, std::vector<Word>& words,
                std::string& error) {
  words.clear();
  return Lexer(line, lookup).Run(words, error);
}

}  // namespace host
