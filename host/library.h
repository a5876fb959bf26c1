// The engine as the host sees it: a library loaded with dlopen and reached
// only through its exported interface, the way any scripting host would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zorvane/xcmd.h"

namespace host {

struct IndexedResult {
  intptr_t value;
  intptr_t error;
  std::string text;
};

class Library {
 public:
  // Loads the library and registers with it; false with a message on failure.
  bool Load(const std::string& path, std::string& error);
  ~Library();

  // A name call of the external function; words[0] is the command word.
  std::string Call(const std::vector<std::string>& words);
  // An indexed call with text arguments: Dispatch with call mode 1.
  IndexedResult CallIndexed(int32_t number, const std::vector<std::string>& args);

 private:
  void* mHandle = nullptr;
  void (*mZorvane)(char**, int, char**, int32_t*, int32_t*) = nullptr;
  void (*mDispatch)(CommandBlock*) = nullptr;
  ZorvaneReleaseFn mRelease = nullptr;
};

// The folder of the running program, where the library is looked for first.
std::string ProgramDirectory();

}  // namespace host
