#include "kernel/storage/file_stream.h"

#include "kernel/storage/byte_order.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

void FBL_FileStream::WriteU32(uint32_t value) {
  uint8_t raw[4];
  zorder::StoreU32(raw, value, GetVolume().IsSwapped());
  Write(raw, sizeof raw);
}

uint32_t FBL_FileStream::ReadU32() {
  uint8_t raw[4];
  Read(raw, sizeof raw);
  return zorder::LoadU32(raw, GetVolume().IsSwapped());
}

uint32_t FBL_FileStream::WriteString(const std::string& text) {
  if (text.size() > UINT32_MAX - 4) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  uint32_t length = static_cast<uint32_t>(text.size());
  WriteU32(length);
  Write(text.data(), length);
  return length + 4;
}

uint32_t FBL_FileStream::ReadString(std::string& text) {
  uint32_t length = ReadU32();
  if (length > GetLength() - GetPosition())
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "String runs past the end of the stream");
  text.resize(length);
  if (length > 0) Read(text.data(), length);
  return length + 4;
}
