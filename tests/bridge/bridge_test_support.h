// Calls of the external function as a host makes them, for bridge tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/bridge_state.h"
#include "bridge/result_buffer.h"
#include "zorvane/xcmd.h"

namespace bridge_test {

struct NameCall {
  std::vector<std::string> texts;  // after the call: as the library left them
  std::string result;
};

// Calls Zorvane with copies of the words and frees the result the way a host does.
inline NameCall Call(std::vector<std::string> words) {
  NameCall call{std::move(words), {}};
  std::vector<char*> args;
  for (std::string& w : call.texts) args.push_back(w.data());
  char* result = nullptr;
  int32_t flagA = -1, flagB = -1;
  Zorvane(args.data(), int(args.size()), &result, &flagA, &flagB);
  call.result = result;
  bridge::LibraryFree(result);
  return call;
}

inline std::string Cmd(std::vector<std::string> words) {
  return Call(std::move(words)).result;
}

// A command block for an indexed or raw call; texts are referenced by slot.
struct Block {
  CommandBlock block{};
  std::vector<std::string> texts;
  std::vector<char*> pointers;

  Block(int32_t number, intptr_t mode) {
    texts.reserve(16);
    pointers.reserve(16);
    block.CommandNumber = number;
    block.Params[ZORVANE_SLOT_CALL_MODE] = mode;
  }
  ~Block() { bridge::LibraryFree(block.ReturnValue); }
  void Text(int slot, std::string text) {
    texts.push_back(std::move(text));
    pointers.push_back(texts.back().data());
    block.Params[slot] = reinterpret_cast<intptr_t>(&pointers.back());
  }
  void Raw(int slot, intptr_t value) { block.Params[slot] = value; }
  void Dispatch() { ::Dispatch(&block); }
  std::string Result() const { return block.ReturnValue ? block.ReturnValue : ""; }
  intptr_t ResultValue() const { return block.Params[ZORVANE_SLOT_RESULT_VALUE]; }
  intptr_t ErrorOut() const { return block.Params[ZORVANE_SLOT_ERROR_OUT]; }
};

}  // namespace bridge_test
