#include "host/script_runner.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "host/variables.h"

namespace host {

namespace {

std::optional<std::string> LookUp(const std::string& name) {
  const std::string* value = Variables().Find(name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

bool IsIdentifier(const std::string& text) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

std::vector<std::string> Texts(const std::vector<Word>& words, size_t from, size_t to) {
  std::vector<std::string> texts;
  for (size_t i = from; i < to; ++i) texts.push_back(words[i].text);
  return texts;
}

// Position of a bare "=>", or the word count when there is none.
size_t FindExpectation(const std::vector<Word>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i].bare && words[i].text == "=>") return i;
  }
  return words.size();
}

// Values may hold any bytes, zeros included.
void PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

void ScriptRunner::Fail(int lineNumber, const std::string& message) {
  std::fprintf(stderr, "line %d: %s\n", lineNumber, message.c_str());
  ++mFailures;
}

void ScriptRunner::RunStream(std::istream& in, const char* prompt) {
  std::string line;
  int lineNumber = 0;
  while (true) {
    if (prompt != nullptr) {
      std::fputs(prompt, stdout);
      std::fflush(stdout);
    }
    if (!std::getline(in, line)) break;
    RunLine(line, ++lineNumber);
  }
  if (prompt != nullptr) std::fputs("\n", stdout);
}

void ScriptRunner::RunLine(const std::string& line, int lineNumber) {
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos || line[first] == '#') return;
  std::vector<Word> words;
  std::string error;
  if (!SplitWords(line, LookUp, words, error)) return Fail(lineNumber, error);
  if (words[0].bare && words[0].text.size() > 1 && words[0].text[0] == '.') {
    return Directive(words, lineNumber);
  }
  const size_t expectAt = FindExpectation(words);
  if (expectAt != words.size() && expectAt + 2 != words.size()) {
    return Fail(lineNumber, "=> must be followed by exactly one word");
  }
  if (words.size() >= 2 && words[0].bare && IsIdentifier(words[0].text) && words[1].bare &&
      words[1].text == "=") {
    if (expectAt != words.size() || words.size() < 3) {
      return Fail(lineNumber, "an assignment needs a command and no =>");
    }
    Variables().Set(words[0].text, mLibrary.Call(Texts(words, 2, words.size())));
    return;
  }
  if (expectAt == 0) return Fail(lineNumber, "=> without a command");
  Deliver(mLibrary.Call(Texts(words, 0, expectAt)), words, expectAt, lineNumber);
}

void ScriptRunner::Deliver(const std::string& result, const std::vector<Word>& words,
                           size_t expectAt, int lineNumber) {
  if (expectAt == words.size()) {
    if (!result.empty()) PrintLine(result);
    return;
  }
  const std::string& expected = words[expectAt + 1].text;
  if (result != expected) Fail(lineNumber, "expected " + expected + ", got " + result);
}

void ScriptRunner::Directive(const std::vector<Word>& words, int lineNumber) {
  const std::string& name = words[0].text;
  const size_t argc = words.size() - 1;
  if (name == ".set" && (argc == 1 || argc == 2) && IsIdentifier(words[1].text)) {
    Variables().Set(words[1].text, argc == 2 ? words[2].text : std::string());
  } else if (name == ".echo") {
    std::string text;
    for (size_t i = 1; i < words.size(); ++i) text += (i > 1 ? " " : "") + words[i].text;
    PrintLine(text);
  } else if (name == ".load" && argc == 2 && IsIdentifier(words[1].text)) {
    std::ifstream file(words[2].text, std::ios::binary);
    if (!file) return Fail(lineNumber, "cannot read " + words[2].text);
    Variables().Set(words[1].text, std::string(std::istreambuf_iterator<char>(file), {}));
  } else if (name == ".save" && argc == 2) {
    std::ofstream file(words[1].text, std::ios::binary | std::ios::trunc);
    file << words[2].text;
    if (!file) return Fail(lineNumber, "cannot write " + words[1].text);
  } else if (name == ".indexed" && argc >= 1) {
    const size_t expectAt = FindExpectation(words);
    if (expectAt != words.size() && expectAt + 2 != words.size()) {
      return Fail(lineNumber, "=> must be followed by exactly one word");
    }
    char* end = nullptr;
    const long number = std::strtol(words[1].text.c_str(), &end, 10);
    if (end == words[1].text.c_str() || *end != '\0') {
      return Fail(lineNumber, ".indexed needs a command number");
    }
    const IndexedResult r = mLibrary.CallIndexed(int32_t(number), Texts(words, 2, expectAt));
    std::ostringstream text;
    text << "value=" << r.value << " error=" << r.error << " text=" << r.text;
    Deliver(text.str(), words, expectAt, lineNumber);
  } else {
    Fail(lineNumber, "unknown or malformed directive " + name);
  }
}

}  // namespace host
