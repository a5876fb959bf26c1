// Runs host scripts: one command per line, results printed, stored in
// variables or compared with an expectation.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "host/library.h"
#include "host/script_lexer.h"

namespace host {

class ScriptRunner {
 public:
  explicit ScriptRunner(Library& library) : mLibrary(library) {}

  // Runs every line; with a prompt, shows it before each line is read.
  void RunStream(std::istream& in, const char* prompt);
  void RunLine(const std::string& line, int lineNumber);

  // True while every expectation held and every line could be run.
  bool Succeeded() const { return mFailures == 0; }

 private:
  void Directive(const std::vector<Word>& words, int lineNumber);
  // Prints the result, or checks it when the line carries "=> expected".
  void Deliver(const std::string& result, const std::vector<Word>& words, size_t expectAt,
               int lineNumber);
  void Fail(int lineNumber, const std::string& message);

  Library& mLibrary;
  int mFailures = 0;
};

}  // namespace host
