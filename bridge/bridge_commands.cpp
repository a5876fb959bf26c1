// The commands that belong to the bridge itself.
#include "bridge/bridge_commands.h"

#include <algorithm>
#include <cstring>

#include "api/api_layer.h"
#include "api/handle_registry.h"
#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/command_handlers.h"
#include "bridge/result_buffer.h"
#include "bridge/trace.h"
#include "platform/errors.h"
#include "platform/memory.h"

namespace bridge {

uint32_t InitCacheSize(bool requested, uint32_t requestedBytes, uint64_t physicalBytes) {
  uint64_t size = requested ? requestedBytes : kDefaultCacheBytes;
  size = std::max<uint64_t>(size, kMinimumCacheBytes);
  size = std::min<uint64_t>(size, physicalBytes / 8);
  return static_cast<uint32_t>(size);
}

std::string EscapeText(const char* text, bool forPattern) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != '\0'; ++text) {
    const char c = *text;
    if (c == '\'' || (forPattern && std::strchr("().?[]", c) != nullptr)) out += '\\';
    out += c;
  }
  return out;
}

void Cmd_Init() {
  TraceCommand("Zorvane_Init...");
  // The size is unsigned: a negative text asks for "as much as allowed".
  const uint32_t size = InitCacheSize(ArgPresent(1), static_cast<uint32_t>(ArgNumber(1)),
                                      platform::PhysicalMemorySize());
  api::ZDK_Start(size);
}

void Cmd_ShutDown() {
  TraceCommand("Zorvane_ShutDown...");
  api::ZDK_Stop();
}

void Cmd_SetDebugLevel() {
  DebugLevel = static_cast<uint16_t>(ArgNumber(1));
  TraceCommand("Zorvane_SetDebugLevel...");
}

void Cmd_Version() {
  TraceCommand("Zorvane_Version...");
  AppendResult("1.11");
}

void Cmd_SetCreator() {
  TraceCommand("Zorvane_SetCreator...");
}

void Cmd_EscapeString() {
  TraceCommand("Zorvane_EscapeString...");
  const std::string escaped = EscapeText(ArgText(1), ArgNumber(2) != 0);
  if (!escaped.empty()) AppendResult(escaped.data(), escaped.size());
}

void Cmd_MemBuffer_Allocate() {
  TraceCommand("MemBuffer_Allocate...");
  const int32_t size = ArgNumber(1);
  if (size < 0) {
    ErrorCode = ERR_WRONG_PARAMETER;
    return;
  }
  ReturnLong(api::HandleRegistry::Instance().AllocateBlock(static_cast<size_t>(size)));
}

void Cmd_MemBuffer_Free() {
  TraceCommand("MemBuffer_Free...");
  if (!api::HandleRegistry::Instance().FreeBlock(ArgNumber(1))) ErrorCode = ERR_WRONG_PARAMETER;
}

}  // namespace bridge
