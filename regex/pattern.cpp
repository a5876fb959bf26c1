#include "regex/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <string>

#include "platform/errors.h"

namespace zregex {

namespace {

std::string ErrorMessage(int code) {
  PCRE2_UCHAR buffer[256];
  const int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  return n < 0 ? "error " + std::to_string(code) : std::string(reinterpret_cast<char*>(buffer));
}

[[noreturn]] void ThrowSearchError(int code) {
  switch (code) {
    case PCRE2_ERROR_MATCHLIMIT:
      throw xFBL_ParserError("Regular expression search stopped: too many backtracking steps");
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
      throw xFBL_ParserError("Regular expression search stopped: backtracking nested too deeply");
    case PCRE2_ERROR_NOMEMORY:
      throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
    default:
      throw xFBL_ParserError(("Regular expression search failed: " + ErrorMessage(code)).c_str());
  }
}

// Whether a search would look for the byte 0xFF as the first or last byte
// of a match without its other case: the matcher treats only bytes below
// 255 of a caseless pattern as having one there.
bool LooksForByte255(const pcre2_code* code) {
  uint32_t type = 0, unit = 0;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &type);
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &unit);
  if (type == 1 && unit == 0xFF) return true;
  pcre2_pattern_info(code, PCRE2_INFO_LASTCODETYPE, &type);
  pcre2_pattern_info(code, PCRE2_INFO_LASTCODEUNIT, &unit);
  return type == 1 && unit == 0xFF;
}

}  // namespace

Pattern::Pattern(std::string_view pattern, bool caseless, const CharacterTables* tables,
                 const SearchSettings& settings) {
  std::unique_ptr<pcre2_compile_context, void (*)(pcre2_compile_context*)> context(
      pcre2_compile_context_create(nullptr), pcre2_compile_context_free);
  if (!context) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  if (tables != nullptr) pcre2_set_character_tables(context.get(), tables->Data());
  // Texts are 8-bit in their language's code page; a pattern may not switch
  // to UTF (which would also require valid UTF-8 texts).
  uint32_t options = PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | (caseless ? PCRE2_CASELESS : 0);
  int error = 0;
  PCRE2_SIZE offset = 0;
  const auto* text = reinterpret_cast<PCRE2_SPTR>(pattern.empty() ? "" : pattern.data());
  mCode.reset(pcre2_compile(text, pattern.size(), options, &error, &offset, context.get()));
  if (mCode == nullptr) {
    const std::string message =
        "Regular expression error at offset " + std::to_string(offset) + ": " + ErrorMessage(error);
    throw xFBL_ParserError(message.c_str());
  }
  if (tables != nullptr && tables->OtherCase(0xFF) != 0xFF && LooksForByte255(mCode.get())) {
    options |= PCRE2_NO_START_OPTIMIZE;
    mCode.reset(pcre2_compile(text, pattern.size(), options, &error, &offset, context.get()));
    if (mCode == nullptr) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  }
  // Without machine code (a library built without it, or memory that may
  // not be made executable) searches run in the interpreter.
  mJit = settings.machineCode && pcre2_jit_compile(mCode.get(), PCRE2_JIT_COMPLETE) == 0;
  mMatch.reset(pcre2_match_data_create(1, nullptr));
  mContext.reset(pcre2_match_context_create(nullptr));
  if (!mMatch || !mContext) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  pcre2_set_match_limit(mContext.get(), settings.steps);
  pcre2_set_depth_limit(mContext.get(), settings.depth);
  pcre2_set_heap_limit(mContext.get(), settings.heapKb);
}

Pattern::~Pattern() = default;

void Pattern::Free::operator()(pcre2_code* code) const {
  pcre2_code_free(code);
}
void Pattern::Free::operator()(pcre2_match_data* data) const {
  pcre2_match_data_free(data);
}
void Pattern::Free::operator()(pcre2_match_context* context) const {
  pcre2_match_context_free(context);
}

bool Pattern::Search(const char* text, size_t length) {
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text == nullptr ? "" : text);
  if (text == nullptr) length = 0;
  int rc = mJit ? pcre2_jit_match(mCode.get(), subject, length, 0, 0, mMatch.get(), mContext.get())
                : pcre2_match(mCode.get(), subject, length, 0, 0, mMatch.get(), mContext.get());
  // Machine code runs on a small stack of its own; the interpreter keeps
  // its backtracking on the heap, bounded by the depth and heap limits.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
    rc = pcre2_match(mCode.get(), subject, length, 0, PCRE2_NO_JIT, mMatch.get(), mContext.get());
  if (rc >= 0) return true;  // 0: matched, the offsets did not all fit
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  ThrowSearchError(rc);
}

}  // namespace zregex
