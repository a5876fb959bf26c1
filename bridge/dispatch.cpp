// Dispatch: runs one command block. Every failure below becomes a code here;
// nothing escapes to the host.
#include <cerrno>
#include <cstdio>
#include <new>

#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/call_reporting.h"
#include "bridge/command_table.h"
#include "bridge/result_buffer.h"
#include "bridge/trace.h"
#include "platform/errors.h"

namespace bridge {

CommandBlock* CurrentBlock = nullptr;
uint16_t DebugLevel = 0;
int32_t ErrorCode = 0;

namespace {

// Commands whose layer is not built yet answer as an unknown word does.
void RunCommand(int index) {
  CommandHandler handler = CommandHandlerAt(index);
  if (handler == nullptr) {
    ErrorCode = ERR_WRONG_PARAMETER;
    return;
  }
  handler();
}

void RunByName() {
  char* word = ArgText(0);
  if (word == nullptr) {
    ErrorCode = ERR_WRONG_PARAMETER;
    return;
  }
  UpperCaseInPlace(word);  // the caller sees its own text upper-cased
  const int index = FindCommand(word);
  if (index < 0) {
    ErrorCode = ERR_WRONG_PARAMETER;
    return;
  }
  RunCommand(index);
}

// Indexed calls reach only the numbered commands.
void RunByNumber(int32_t number) {
  if (number < 0 || number >= kNumberedCommandCount) {
    ErrorCode = ERR_WRONG_PARAMETER;
    return;
  }
  RunCommand(number);
}

}  // namespace

void ReportCallResult(CommandBlock* block) {
  if (ErrorCode != 0) {
    if (block->Params[ZORVANE_SLOT_CALL_MODE] != 0) {
      block->Params[ZORVANE_SLOT_ERROR_OUT] = ErrorCode;
    } else {
      char text[24];
      std::snprintf(text, sizeof text, "ERROR %d", ErrorCode);
      try {
        AppendResult(text);
      } catch (...) {
        // Out of memory for the error text itself: the host sees what was
        // written before, or an empty text.
      }
    }
  }
  if (DebugLevel >= 1) {
    if (ErrorCode != 0) {
      Trace("error  %d\n", ErrorCode);
    } else if (DebugLevel >= 2) {
      Trace("done\n");
    }
  }
}

}  // namespace bridge

using namespace bridge;

extern "C" ZORVANE_EXPORT void Dispatch(CommandBlock* block) {
  if (block == nullptr) return;
  ErrorCode = 0;
  CurrentBlock = block;
  errno = 0;
  try {
    if (block->Params[ZORVANE_SLOT_CALL_MODE] == 0) {
      RunByName();
    } else {
      RunByNumber(block->CommandNumber);
    }
  } catch (const xFBL_Exception& e) {
    const xFBL_Exception copy(e);
    ErrorCode = copy.Code;
  } catch (const std::bad_alloc&) {
    ErrorCode = ERR_NOT_ENOUGH_RAM;
  } catch (...) {
    // A failure must never read as success, so no error code becomes 300.
    ErrorCode = errno != 0 ? errno : ERR_INTERNAL;
  }
  ReportCallResult(block);
  CurrentBlock = nullptr;
}
