// FBL_FileStream: an embedded file read and written as a serialization
// stream. A string is a u32 length in the volume's byte order followed by
// its bytes, without a terminator.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/storage/embedded_file.h"

class FBL_FileStream : public FBL_EmbededFile {
 public:
  using FBL_EmbededFile::FBL_EmbededFile;

  // Writes text at the position; returns its length + 4.
  uint32_t WriteString(const std::string& text);
  // Reads a string at the position; a length running past the end of the
  // file raises 307. Returns its length + 4.
  uint32_t ReadString(std::string& text);
  void WriteU32(uint32_t value);
  uint32_t ReadU32();
};
