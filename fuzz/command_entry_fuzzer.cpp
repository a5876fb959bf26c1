// libFuzzer target: the external function and Dispatch with fuzzed words
// and arguments, and a host that reports fuzzed variable lengths. An input
// is calls separated by newlines, the words of a call by tabs:
//   WORD\tARG...          a name call of Zorvane (up to 20 words)
//   \x02 N M ARG\t...     Dispatch with command number N (signed byte) and
//                         call mode M; in raw modes every slot is a text
//   \x01 L L L L BYTES    callback 19 answers BYTES, reporting length L
// Memory blocks are freed and the engine stopped after each input, so an
// input's outcome does not depend on the ones before. Databases the input
// makes under relative paths land in the scratch folder (the working
// folder while fuzzing), emptied after each input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "api/api_layer.h"
#include "api/handle_registry.h"
#include "bridge/bridge_state.h"
#include "bridge/result_buffer.h"
#include "fuzz/fuzz_support.h"
#include "platform/debug_output.h"
#include "zorvane/xcmd.h"

namespace {

constexpr size_t kMaxCalls = 64;
constexpr size_t kMaxWords = 20;

std::string gVariable;
int32_t gReportedLength = 0;

char* HostRead(void*, void*, void* block, void*) {
  char* text = static_cast<char*>(std::malloc(gVariable.size() + 1));
  std::memcpy(text, gVariable.data(), gVariable.size());
  text[gVariable.size()] = '\0';
  auto* data = static_cast<HostDataBlock*>(block);
  data->data = text;
  data->length = gReportedLength;
  return text;
}

char* HostWrite(void*, void*, void*, void*) {
  return nullptr;
}

void HostRelease(char* text) {
  std::free(text);
}

std::vector<std::string> Split(std::string_view text, char separator, size_t limit) {
  std::vector<std::string> parts;
  while (parts.size() < limit) {
    const size_t end = text.find(separator);
    parts.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parts;
}

std::vector<int32_t> gBlocks;

void NameCall(std::string_view line) {
  std::vector<std::string> words = Split(line, '\t', kMaxWords);
  std::vector<char*> args;
  for (std::string& w : words) args.push_back(w.data());
  char* result = nullptr;
  int32_t flagA = 0, flagB = 0;
  Zorvane(args.data(), int(args.size()), &result, &flagA, &flagB);
  if (words[0] == "MEMBUFFER_ALLOCATE" && result != nullptr) gBlocks.push_back(std::atoi(result));
  bridge::LibraryFree(result);
}

void IndexedCall(std::string_view line) {
  if (line.size() < 2) return;
  CommandBlock block{};
  block.CommandNumber = static_cast<int8_t>(line[0]);
  const intptr_t mode = static_cast<uint8_t>(line[1]);
  std::vector<std::string> words = Split(line.substr(2), '\t', ZORVANE_SLOT_RESULT_VALUE - 1);
  words.resize(ZORVANE_SLOT_RESULT_VALUE - 1);
  std::vector<char*> texts;
  for (std::string& w : words) texts.push_back(w.data());
  for (size_t k = 0; k < texts.size(); ++k) {
    // Text calls may leave trailing arguments absent; raw calls need every
    // slot, since a text argument is read through its slot in every mode.
    if (mode == 1 && k > 0 && words[k].empty()) continue;
    block.Params[k + 1] = reinterpret_cast<intptr_t>(&texts[k]);
  }
  block.ParamCount = static_cast<uint16_t>(words.size() + 1);
  block.Params[ZORVANE_SLOT_CALL_MODE] = mode == 0 ? 1 : mode;
  Dispatch(&block);
  bridge::LibraryFree(block.ReturnValue);
}

void VariableRead(std::string_view line) {
  if (line.size() < 4) return;
  std::memcpy(&gReportedLength, line.data(), 4);
  gVariable.assign(line.substr(4));
  char key[] = "";
  char name[] = "v";
  HostDataBlock block{};
  bridge::LibraryFree(pGetVariableEx(name, key, &block, nullptr));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static HostCallback callbacks[21] = {};
  callbacks[ZORVANE_CALLBACK_GET_VARIABLE] = HostRead;
  callbacks[ZORVANE_CALLBACK_SET_VARIABLE] = HostWrite;
  char* name = nullptr;
  XternalEntry* table = nullptr;
  ZorvaneReleaseFn release = nullptr;
  getXtable(callbacks, HostRelease, &name, &table, &release);
  platform::SetDebugSink([](std::string_view) {});
  // Far below the defaults, so that many inputs in one process stay small.
  api::HandleRegistry::Instance().SetBlockLimits(size_t{1} << 20, size_t{16} << 20);
  std::filesystem::current_path(zfuzz::ScratchFolder());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : Split(input, '\n', kMaxCalls)) {
    if (!line.empty() && line[0] == '\x01') {
      VariableRead(std::string_view(line).substr(1));
    } else if (!line.empty() && line[0] == '\x02') {
      IndexedCall(std::string_view(line).substr(1));
    } else {
      NameCall(line);
    }
  }
  for (int32_t handle : gBlocks) api::HandleRegistry::Instance().FreeBlock(handle);
  gBlocks.clear();
  api::ZDK_Stop();
  bridge::DebugLevel = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(zfuzz::ScratchFolder(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
  return 0;
}
