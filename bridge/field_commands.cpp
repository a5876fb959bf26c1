// The field commands: a field's properties, flags and value, by field
// handle.
#include "api/value_text.h"
#include "api/zdk_database.h"
#include "bridge/arguments.h"
#include "bridge/bridge_state.h"
#include "bridge/command_handlers.h"
#include "bridge/field_type_names.h"
#include "bridge/object_arguments.h"
#include "bridge/result_buffer.h"
#include "bridge/trace.h"
#include "objects/object_table.h"
#include "platform/errors.h"

namespace bridge {

namespace {

api::ZDK_Field& ArgField() {
  return ArgFieldRef(1, ERR_EXPECTED_FIELD_NOT_FOUND);
}

void AppendText(const std::string& text) {
  if (!text.empty()) AppendResult(text.data(), text.size());
}

bool IsBinaryType(uint8_t type) {
  return type == kTypeFixedBinary || type == kTypeVarBinary;
}

// The object-layer table whose own field this is (an inherited field
// belongs to its parent's table).
OBL_BaseObject& OwningTable(api::ZDK_Field& field) {
  auto* store = dynamic_cast<OBL_ObjectTable*>(field.Kernel().GetTable());
  if (store == nullptr) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  return store->GetOwner();
}

}  // namespace

void Cmd_Field_IsNull() {
  TraceCommand("Field_IsNull...");
  ReturnBoolean(ArgField().IsNull());
}

void Cmd_Field_GetName() {
  TraceCommand("Field_GetName...");
  AppendText(ArgField().GetName());
}

void Cmd_Field_GetType() {
  TraceCommand("Field_GetType...");
  AppendResult(NameOfTypeCode(ArgField().GetType()));
}

void Cmd_Field_GetLength() {
  TraceCommand("Field_GetLength...");
  api::ZDK_Field& field = ArgField();
  const uint8_t type = field.GetType();
  if (type == kTypeString || type == kTypeVarChar) {
    ReturnULong(static_cast<api::ZDK_String&>(field).GetLength());
  } else if (IsBinaryType(type)) {
    ReturnULong(static_cast<api::ZDK_FixedBinary&>(field).GetLength());
  } else {
    throw xFBL_Exception(ERR_WRONG_PARAMETER);
  }
}

void Cmd_Field_GetLanguage() {
  TraceCommand("Field_GetLanguage...");
  api::ZDK_Field& field = ArgField();
  const uint8_t type = field.GetType();
  if (type == kTypeString || type == kTypeVarChar) {
    AppendText(static_cast<api::ZDK_String&>(field).GetLanguage());
  } else if (type == kTypeText) {
    AppendText(static_cast<api::ZDK_Text&>(field).GetLanguage());
  } else {
    throw xFBL_Exception(ERR_WRONG_PARAMETER);
  }
}

void Cmd_Field_GetSegmentSize() {
  TraceCommand("Field_GetSegmentSize...");
  api::ZDK_Field& field = ArgField();
  const uint8_t type = field.GetType();
  const bool blob = type == kTypeBLOB || type == kTypeText || type == kTypePicture;
  ReturnULong(blob ? static_cast<api::ZDK_BLOB&>(field).GetSegmentSize() : 0);
}

void Cmd_Field_GetTarget() {
  TraceCommand("Field_GetTarget...");
  api::ZDK_Field& field = ArgField();
  if (field.GetType() != kTypeObjectPtr) throw xFBL_Exception(ERR_EXPECTED_FIELD_NOT_FOUND);
  const OBL_BaseObject* target = static_cast<api::ZDK_ObjectPtr&>(field).GetTarget();
  if (target == nullptr) throw xFBL_Exception(ERR_BASE_OBJECT_NOT_FOUND);
  AppendText(target->GetName());
}

void Cmd_Field_GetDeletionControl() {
  TraceCommand("Field_GetDeletionControl...");
  api::ZDK_Field& field = ArgField();
  if (field.GetType() != kTypeObjectPtr) throw xFBL_Exception(ERR_EXPECTED_FIELD_NOT_FOUND);
  ReturnULong(static_cast<api::ZDK_ObjectPtr&>(field).GetDeletionControl());
}

void Cmd_Field_GetMethod() {
  TraceCommand("Field_GetMethod...");
  AppendText(ArgField().GetMethod());
}

void Cmd_Field_ChangeEncryption() {
  TraceCommand("Field_ChangeEncryption...");
  api::ZDK_Field& field = ArgField();
  OBL_BaseObject& table = OwningTable(field);
  table.GetDataBase().ChangeFieldEncryption(table, field.Kernel(), ArgString(2), ArgString(3));
}

void Cmd_Field_SetEncryption() {
  TraceCommand("Field_SetEncryption...");
  api::ZDK_Field& field = ArgField();
  OBL_BaseObject& table = OwningTable(field);
  table.GetDataBase().SetFieldEncryption(table, field.Kernel(), ArgString(2));
}

void Cmd_Field_GetFlag() {
  TraceCommand("Field_GetFlag...");
  api::ZDK_Field& field = ArgField();
  ReturnBoolean(field.GetFlags(FieldFlagsOfMask(ArgNumber(2))));
}

void Cmd_Field_SetFlag() {
  TraceCommand("Field_SetFlag...");
  api::ZDK_Field& field = ArgField();
  const uint16_t flags = FieldFlagsOfMask(ArgNumber(2));
  if (ArgBoolean(3)) {
    field.SetFlags(flags);
  } else {
    field.ClearFlags(flags);
  }
}

void Cmd_Field_GetValue() {
  TraceCommand("Field_GetValue...");
  api::ZDK_Field& field = ArgField();
  std::span<uint8_t> buffer;
  if (IsBinaryType(field.GetType()) && ArgNumber(2) != 0 && ArgNumber(3) != 0) {
    const uint32_t length = ArgSize(3);
    buffer = ArgBlock(2, length).first(length);
  }
  AppendText(api::ValueToText(field, buffer));
}

void Cmd_Field_SetValue() {
  TraceCommand("Field_SetValue...");
  api::ZDK_Field& field = ArgField();
  const char* text = ArgText(2);
  const size_t length = IsBinaryType(field.GetType()) ? ArgSize(3) : 0;
  api::TextToValue(field, text, length);
}

void Cmd_Field_SetBlank() {
  TraceCommand("Field_SetBlank...");
  ArgField().SetBlank();
}

}  // namespace bridge
