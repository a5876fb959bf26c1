// What the fuzz targets share: a scratch folder for the files made from
// the fuzzer's bytes, and the rule that only the engine's own exceptions
// count as answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/errors.h"

namespace zfuzz {

// A folder of this process for the files of one input at a time, on a
// memory file system when the machine has one. Removed at exit.
const std::string& ScratchFolder();

// Writes the bytes to path, replacing the file.
void WriteFileBytes(const std::string& path, const uint8_t* data, size_t size);

// Runs work. An xFBL_Exception is the engine's answer and ends it quietly;
// any other exception is a finding and aborts, so the fuzzer keeps the
// input. Returns whether work ran to its end.
template <typename Work>
bool Answered(Work&& work) {
  try {
    work();
    return true;
  } catch (const xFBL_Exception&) {
    return false;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "not an engine error: %s\n", e.what());
    std::abort();
  } catch (...) {
    std::fprintf(stderr, "not an engine error\n");
    std::abort();
  }
}

}  // namespace zfuzz
