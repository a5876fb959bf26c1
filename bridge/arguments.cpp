#include "bridge/arguments.h"

#include <cstdio>
#include <cstring>

#include "bridge/bridge_state.h"
#include "bridge/result_buffer.h"
#include "kernel/tables/number_text.h"

namespace bridge {

namespace {

constexpr int kSlotCount = 16;

intptr_t Slot(int k) {
  if (CurrentBlock == nullptr || k < 0 || k >= kSlotCount) return 0;
  return CurrentBlock->Params[k];
}

bool IndexedCall() {
  return CallMode() != 0;
}
bool RawCall() {
  return CallMode() >= 2;
}

}  // namespace

intptr_t CallMode() {
  return Slot(ZORVANE_SLOT_CALL_MODE);
}

int32_t ParseNumber(const char* text) {
  return zv::ParseInt32(text);
}

void UpperCaseInPlace(char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = char(*text - 'a' + 'A');
  }
}

char* ArgText(int k) {
  const intptr_t slot = Slot(k);
  if (slot == 0) return nullptr;
  return *reinterpret_cast<char**>(slot);
}

int32_t ArgNumber(int k) {
  if (RawCall()) return static_cast<int32_t>(static_cast<uint32_t>(Slot(k)));
  return ParseNumber(ArgText(k));
}

bool ArgPresent(int k) {
  if (RawCall()) return k >= 0 && k < 32 && (CallMode() & (intptr_t(1) << k)) != 0;
  const char* text = ArgText(k);
  return text != nullptr && *text != '\0';
}

bool ArgBoolean(int k) {
  char* text = ArgText(k);
  if (text == nullptr) return false;
  UpperCaseInPlace(text);
  return std::strcmp(text, "TRUE") == 0 || text[0] == '1';
}

void ReturnBoolean(bool value) {
  if (IndexedCall()) {
    CurrentBlock->Params[ZORVANE_SLOT_RESULT_VALUE] = value ? 1 : 0;
  } else {
    AppendResult(value ? "TRUE" : "FALSE");
  }
}

void ReturnLong(int32_t value) {
  if (IndexedCall()) {
    CurrentBlock->Params[ZORVANE_SLOT_RESULT_VALUE] = value;
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%li", static_cast<long>(value));
  AppendResult(text);
}

void ReturnULong(uint32_t value) {
  if (IndexedCall()) {
    CurrentBlock->Params[ZORVANE_SLOT_RESULT_VALUE] = static_cast<intptr_t>(value);
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value));
  AppendResult(text);
}

}  // namespace bridge
