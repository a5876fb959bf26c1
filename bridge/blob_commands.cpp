// The BLOB, binary-value and picture commands. Script memory is reached
// only through registry blocks, each access checked against the block's
// size (310 otherwise); host variables through callbacks 19 and 20.
#include <cstring>

#include "api/handle_registry.h"
#include "api/zdk_field.h"
#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/command_handlers.h"
#include "bridge/object_arguments.h"
#include "bridge/trace.h"
#include "platform/errors.h"

namespace bridge {

namespace {

api::ZDK_Field& ArgField() {
  return ArgFieldRef(1, ERR_WRONG_PARAMETER);
}

bool IsBlobType(uint8_t type) {
  return type == kTypeBLOB || type == kTypeText || type == kTypePicture;
}

bool IsBinaryType(uint8_t type) {
  return type == kTypeFixedBinary || type == kTypeVarBinary;
}

api::ZDK_BLOB& ArgBlob() {
  api::ZDK_Field& field = ArgField();
  if (!IsBlobType(field.GetType())) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  return static_cast<api::ZDK_BLOB&>(field);
}

api::ZDK_Picture& ArgPicture() {
  api::ZDK_Field& field = ArgField();
  if (field.GetType() != kTypePicture) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  return static_cast<api::ZDK_Picture&>(field);
}

uint32_t OptionalPosition(int k) {
  return ArgPresent(k) ? ArgSize(k) : 0;
}

}  // namespace

void Cmd_BLOB_GetDataSize() {
  TraceCommand("BLOB_GetDataSize...");
  ReturnULong(ArgBlob().GetDataSize());
}

void Cmd_BLOB_DeleteData() {
  TraceCommand("BLOB_DeleteData...");
  ArgBlob().DeleteData();
}

void Cmd_BLOB_ReadData() {
  TraceCommand("BLOB_ReadData...");
  api::ZDK_BLOB& blob = ArgBlob();
  const uint32_t length = ArgSize(3);
  const std::span<uint8_t> block = ArgBlock(2, length);
  const std::vector<uint8_t> data = blob.ReadData(length, OptionalPosition(4));
  if (!data.empty()) std::memcpy(block.data(), data.data(), data.size());
}

void Cmd_BLOB_WriteData() {
  TraceCommand("BLOB_WriteData...");
  api::ZDK_BLOB& blob = ArgBlob();
  const uint32_t length = ArgSize(3);
  const std::span<uint8_t> block = ArgBlock(2, length);
  blob.WriteData(block.data(), length, OptionalPosition(4));
}

void Cmd_Binary_ReadData() {
  TraceCommand("Binary_ReadData...");
  api::ZDK_Field& field = ArgField();
  const char* name = ArgRequiredText(2);
  std::vector<uint8_t> bytes;
  if (IsBlobType(field.GetType())) {
    auto& blob = static_cast<api::ZDK_BLOB&>(field);
    const uint32_t length = ArgPresent(3) ? ArgSize(3) : blob.GetDataSize();
    bytes = blob.ReadData(length, OptionalPosition(4));
  } else if (IsBinaryType(field.GetType())) {
    auto& binary = static_cast<api::ZDK_FixedBinary&>(field);
    bytes.resize(binary.GetDataLength());
    binary.CopyTo(bytes);
  } else {
    throw xFBL_Exception(ERR_WRONG_PARAMETER);
  }
  WriteHostVariable(name, bytes.data(), bytes.size());
}

void Cmd_Binary_WriteData() {
  TraceCommand("Binary_WriteData...");
  api::ZDK_Field& field = ArgField();
  const char* name = ArgRequiredText(2);
  const uint8_t type = field.GetType();
  if (!IsBlobType(type) && !IsBinaryType(type)) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  const uint32_t position = OptionalPosition(3);
  std::string bytes;
  if (!ReadHostVariable(name, bytes)) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  if (IsBlobType(type)) {
    if (bytes.size() > UINT32_MAX) throw xFBL_Exception(ERR_WRONG_PARAMETER);
    static_cast<api::ZDK_BLOB&>(field).WriteData(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                 static_cast<uint32_t>(bytes.size()), position);
  } else {
    static_cast<api::ZDK_FixedBinary&>(field).SetData(bytes.data(),
                                                      static_cast<uint16_t>(bytes.size()));
  }
}

void Cmd_Picture_Get() {
  TraceCommand("Picture_Get...");
  ReturnULong(static_cast<uint32_t>(ArgPicture().GetPicture()));
}

void Cmd_Picture_Set() {
  TraceCommand("Picture_Set...");
  api::ZDK_Picture& picture = ArgPicture();
  const std::span<uint8_t> bitmap = ArgBlock(2, 1);
  const uint16_t quality = ArgPresent(3) ? static_cast<uint16_t>(ArgNumber(3)) : 50;
  picture.SetPicture(bitmap, quality);
}

}  // namespace bridge
