#include "host/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "host/variables.h"

namespace host {

namespace {

using GetXtableFn = void (*)(HostCallback*, void (*)(char*), char**, XternalEntry**,
                             ZorvaneReleaseFn*);

void ReleaseHostText(char* text) {
  std::free(text);
}

// Callbacks 19 and 20: the library reads and writes script variables.
char* ReadVariable(void* name, void*, void* block, void*) {
  const std::string* value = Variables().Find(static_cast<const char*>(name));
  if (value == nullptr) return nullptr;
  char* copy = static_cast<char*>(std::malloc(value->size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, value->data(), value->size());
  copy[value->size()] = '\0';
  if (block != nullptr) {
    auto* data = static_cast<HostDataBlock*>(block);
    data->data = copy;
    data->length = static_cast<int32_t>(value->size());
  }
  return copy;
}

char* WriteVariable(void* name, void*, void* block, void*) {
  if (name == nullptr || block == nullptr) return nullptr;
  const auto* data = static_cast<const HostDataBlock*>(block);
  const size_t length = data->length > 0 ? size_t(data->length) : 0;
  Variables().Set(static_cast<const char*>(name),
                  data->data == nullptr ? std::string() : std::string(data->data, length));
  return nullptr;
}

HostCallback gCallbacks[21] = {};

}  // namespace

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string exe(path, size_t(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash);
}

bool Library::Load(const std::string& path, std::string& error) {
  mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (mHandle == nullptr) {
    error = dlerror();
    return false;
  }
  auto getXtable = reinterpret_cast<GetXtableFn>(dlsym(mHandle, "getXtable"));
  mZorvane = reinterpret_cast<decltype(mZorvane)>(dlsym(mHandle, "Zorvane"));
  mDispatch = reinterpret_cast<decltype(mDispatch)>(dlsym(mHandle, "Dispatch"));
  if (getXtable == nullptr || mZorvane == nullptr || mDispatch == nullptr) {
    error = path + ": not a Zorvane library";
    return false;
  }
  gCallbacks[ZORVANE_CALLBACK_GET_VARIABLE] = ReadVariable;
  gCallbacks[ZORVANE_CALLBACK_SET_VARIABLE] = WriteVariable;
  char* name = nullptr;
  XternalEntry* table = nullptr;
  getXtable(gCallbacks, ReleaseHostText, &name, &table, &mRelease);
  if (mRelease == nullptr) {
    error = path + ": registration gave no release routine";
    return false;
  }
  return true;
}

Library::~Library() {
  if (mHandle != nullptr) dlclose(mHandle);
}

std::string Library::Call(const std::vector<std::string>& words) {
  // The library upper-cases the command word in place: pass copies.
  std::vector<std::string> texts = words;
  std::vector<char*> args;
  for (std::string& t : texts) args.push_back(t.data());
  char* result = nullptr;
  int32_t flagA = 0, flagB = 0;
  mZorvane(args.data(), int(args.size()), &result, &flagA, &flagB);
  std::string text = result != nullptr ? result : "";
  if (result != nullptr) mRelease(result);
  return text;
}

IndexedResult Library::CallIndexed(int32_t number, const std::vector<std::string>& args) {
  std::vector<std::string> texts = args;
  std::vector<char*> pointers(texts.size());
  CommandBlock block{};
  block.CommandNumber = number;
  block.ParamCount = static_cast<uint16_t>(texts.size() + 1);
  for (size_t k = 0; k < texts.size() && k + 1 < ZORVANE_SLOT_RESULT_VALUE; ++k) {
    pointers[k] = texts[k].data();
    block.Params[k + 1] = reinterpret_cast<intptr_t>(&pointers[k]);
  }
  block.Params[ZORVANE_SLOT_CALL_MODE] = 1;
  mDispatch(&block);
  IndexedResult r{block.Params[ZORVANE_SLOT_RESULT_VALUE], block.Params[ZORVANE_SLOT_ERROR_OUT],
                  block.ReturnValue != nullptr ? block.ReturnValue : ""};
  if (block.ReturnValue != nullptr) mRelease(block.ReturnValue);
  return r;
}

}  // namespace host
