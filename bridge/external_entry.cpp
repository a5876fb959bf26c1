// What the host sees of the library: registration, the external function
// and the variable callbacks.
#include <climits>
#include <cstdio>
#include <cstring>

#include "bridge/bridge_state.h"
#include "bridge/call_reporting.h"
#include "bridge/object_arguments.h"
#include "bridge/result_buffer.h"
#include "platform/errors.h"

namespace bridge {

namespace {

HostCallback* gHostCallbacks = nullptr;
void (*gHostRelease)(char*) = nullptr;

XternalEntry gExternals[] = {
    {"Zorvane", "F", 0, reinterpret_cast<void*>(&Zorvane), reinterpret_cast<void*>(&XCabort)},
    {"", "", 0, nullptr, nullptr},
};

// Slot 15 is the call mode, so a name call carries at most 15 words.
constexpr int kMaxArguments = 15;

bool ArgumentsUsable(char** args, int argCount) {
  if (args == nullptr || argCount < 1 || argCount > kMaxArguments) return false;
  for (int k = 0; k < argCount; ++k) {
    if (args[k] == nullptr) return false;
  }
  return true;
}

char* CallHost(int number, void* name, void* key, void* block, void* flag) {
  if (gHostCallbacks == nullptr || gHostCallbacks[number] == nullptr) return nullptr;
  return gHostCallbacks[number](name, key, block, flag);
}

void ReleaseToHost(char* text) {
  if (text != nullptr && gHostRelease != nullptr) gHostRelease(text);
}

char* GetVariable(void* name, void* key, void* block, void* flag) {
  char* hostText = CallHost(ZORVANE_CALLBACK_GET_VARIABLE, name, key, block, flag);
  if (hostText == nullptr) return nullptr;
  // The length the host reported for this very text is believed only up to
  // the text's own end, its first zero: nothing tells a lying length from
  // bytes that follow a zero, and reading past the host's text must never
  // happen. A shorter length cuts the copy.
  const HostDataBlock* data = static_cast<const HostDataBlock*>(block);
  size_t length;
  if (data != nullptr && data->data == hostText && data->length >= 0) {
    length = strnlen(hostText, size_t(data->length));
  } else {
    length = std::strlen(hostText);
  }
  char* copy = static_cast<char*>(pMalloc(length + 1));
  if (copy != nullptr) {
    std::memcpy(copy, hostText, length);
    copy[length] = '\0';
  }
  ReleaseToHost(hostText);
  return copy;
}

char* SetVariable(void* name, void* key, void* block, void* flag) {
  ReleaseToHost(CallHost(ZORVANE_CALLBACK_SET_VARIABLE, name, key, block, flag));
  return nullptr;
}

void ReleaseResult(void* block) {
  LibraryFree(block);
}

}  // namespace

// The host set data and length for the text it returned: that length is
// trusted, so a value with zero bytes comes through whole.
bool ReadHostVariable(const char* name, std::string& out) {
  char key[1] = {'\0'};
  int32_t flag = 0;
  HostDataBlock data{nullptr, -1};
  char* hostText =
      CallHost(ZORVANE_CALLBACK_GET_VARIABLE, const_cast<char*>(name), key, &data, &flag);
  if (hostText == nullptr) return false;
  if (data.data == hostText && data.length >= 0) {
    out.assign(hostText, size_t(data.length));
  } else {
    out.assign(hostText);
  }
  ReleaseToHost(hostText);
  return true;
}

void WriteHostVariable(const char* name, const uint8_t* bytes, size_t length) {
  if (length > size_t(INT32_MAX)) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  char key[1] = {'\0'};
  int32_t flag = 0;
  HostDataBlock data{reinterpret_cast<char*>(const_cast<uint8_t*>(bytes)), int32_t(length)};
  ReleaseToHost(
      CallHost(ZORVANE_CALLBACK_SET_VARIABLE, const_cast<char*>(name), key, &data, &flag));
}

}  // namespace bridge

using namespace bridge;

extern "C" {

ZORVANE_EXPORT char* (*pGetVariableEx)(void*, void*, void*, void*) = GetVariable;
ZORVANE_EXPORT char* (*pSetVariableEx)(void*, void*, void*, void*) = SetVariable;

ZORVANE_EXPORT void getXtable(HostCallback* callbacks, void (*hostRelease)(char*), char** outName,
                              XternalEntry** outTable, ZorvaneReleaseFn* outRelease) {
  gHostCallbacks = callbacks;
  gHostRelease = hostRelease;
  if (outName != nullptr) *outName = const_cast<char*>("Zorvane XCMD");
  if (outTable != nullptr) *outTable = gExternals;
  if (outRelease != nullptr) *outRelease = ReleaseResult;
}

ZORVANE_EXPORT void Zorvane(char** args, int argCount, char** outResult, int32_t* outFlagA,
                            int32_t* outFlagB) {
  CommandBlock block{};
  if (ArgumentsUsable(args, argCount)) {
    block.ParamCount = static_cast<uint16_t>(argCount);
    for (int k = 0; k < argCount; ++k) block.Params[k] = reinterpret_cast<intptr_t>(&args[k]);
    Dispatch(&block);
  } else {
    // No command word, too many words for the block, or a missing text.
    CurrentBlock = &block;
    ErrorCode = ERR_WRONG_PARAMETER;
    ReportCallResult(&block);
    CurrentBlock = nullptr;
  }
  if (outFlagA != nullptr) *outFlagA = 0;
  if (outFlagB != nullptr) *outFlagB = 0;
  char* result = block.ReturnValue;
  if (result == nullptr) {
    result = static_cast<char*>(pMalloc(1));
    if (result != nullptr) result[0] = '\0';
  }
  if (outResult != nullptr) {
    *outResult = result;
  } else {
    LibraryFree(result);
  }
}

ZORVANE_EXPORT void XCabort(void) {
  std::fputs("external abort", stderr);
}

}  // extern "C"
