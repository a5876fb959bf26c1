// The table commands: a table's name, records and fields.
#include <cctype>
#include <cstring>

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

bool IsStringType(uint8_t type) {
  return type == kTypeString || type == kTypeVarChar;
}

// A language argument: a name of the list, or a number or nothing for the
// first language of the list. A raw slot holds a number.
std::string ArgLanguage(int k) {
  if (CallMode() >= 2) return {};
  const char* text = ArgText(k);
  if (text == nullptr || text[0] == '\0' || std::isdigit(static_cast<unsigned char>(text[0])) ||
      text[0] == '-')
    return {};
  if (zv::FindLanguage(text) == nullptr) throw xFBL_Exception(350);
  return text;
}

}  // namespace

void Cmd_BaseObject_ChangeName() {
  TraceCommand("BaseObject_ChangeName...");
  api::ZDK_BaseObject& table = ArgTable(1);
  table.SetName(ArgRequiredText(2));
}

void Cmd_BaseObject_GetRecordCount() {
  TraceCommand("BaseObject_GetRecordCount...");
  ReturnULong(ArgTable(1).GetRecordCount());
}

void Cmd_BaseObject_MakeNewField() {
  TraceCommand("BaseObject_MakeNewField...");
  api::ZDK_BaseObject& table = ArgTable(1);
  OBL_FieldSpec fieldSpec;
  fieldSpec.mName = ArgRequiredText(2);
  fieldSpec.mType = TypeCodeOfName(ArgText(3));
  if (fieldSpec.mType == 0) throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
  if (fieldSpec.mType == kTypeObjectPtr) {
    fieldSpec.mTarget = ArgPresent(4) ? &ArgTable(4).Table() : nullptr;
  } else {
    const int32_t parameter = ArgNumber(4);
    if (parameter < 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
    fieldSpec.mSize = static_cast<uint32_t>(parameter);
  }
  fieldSpec.mLanguage = ArgLanguage(5);
  fieldSpec.mMethodText = ArgString(6);
  ReturnLong(table.MakeNewField(fieldSpec).GetHandle());
}

void Cmd_BaseObject_RemoveField() {
  TraceCommand("BaseObject_RemoveField...");
  api::ZDK_BaseObject& table = ArgTable(1);
  table.RemoveField(ArgTableField(table, 2));
}

void Cmd_BaseObject_ChangeFieldName() {
  TraceCommand("BaseObject_ChangeFieldName...");
  api::ZDK_BaseObject& table = ArgTable(1);
  api::ZDK_Field& field = ArgTableField(table, 2);
  table.RenameField(field, ArgRequiredText(3));
}

void Cmd_BaseObject_ChangeFieldType() {
  TraceCommand("BaseObject_ChangeFieldType...");
  api::ZDK_BaseObject& table = ArgTable(1);
  api::ZDK_Field& field = ArgTableField(table, 2);
  const uint8_t type = TypeCodeOfName(ArgText(3));
  if (type == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  const int32_t parameter = ArgNumber(4);
  if (parameter < 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  table.ChangeFieldType(field, type, static_cast<uint32_t>(parameter));
}

void Cmd_BaseObject_ChangeFieldLength() {
  TraceCommand("BaseObject_ChangeFieldLength...");
  api::ZDK_BaseObject& table = ArgTable(1);
  api::ZDK_Field& field = ArgTableField(table, 2);
  if (!IsStringType(field.GetType())) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  table.ChangeFieldLength(field, static_cast<uint16_t>(ArgNumber(3)));
}

void Cmd_BaseObject_ChangeFieldLanguage() {
  TraceCommand("BaseObject_ChangeFieldLanguage...");
  api::ZDK_BaseObject& table = ArgTable(1);
  api::ZDK_Field& field = ArgTableField(table, 2);
  const std::string name = ArgString(3);
  bool known = false;
  if (IsStringType(field.GetType())) {
    known = static_cast<BF_STRING&>(field.Kernel()).SetLanguage(name, true);
  } else if (field.GetType() == kTypeText) {
    known = static_cast<BF_TEXT&>(field.Kernel()).SetLanguage(name, true);
  } else {
    throw xFBL_Exception(ERR_WRONG_PARAMETER);
  }
  if (!known) throw xFBL_Exception(350);
}

void Cmd_BaseObject_ChangeFieldTarget() {
  TraceCommand("BaseObject_ChangeFieldTarget...");
  api::ZDK_BaseObject& table = ArgTable(1);
  api::ZDK_Field& field = ArgTableField(table, 2);
  if (field.GetType() != kTypeObjectPtr) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  api::ZDK_BaseObject& target = ArgTable(3);
  const int32_t control = ArgNumber(4);
  if (control < 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  table.ChangeFieldTarget(field, target, static_cast<uint8_t>(control > 255 ? 255 : control));
}

void Cmd_BaseObject_ChangeFieldMethod() {
  TraceCommand("BaseObject_ChangeFieldMethod...");
  api::ZDK_BaseObject& table = ArgTable(1);
  ArgTableField(table, 2).SetMethod(ArgString(3));
}

void Cmd_BaseObject_ChangeEncryption() {
  TraceCommand("BaseObject_ChangeEncryption...");
  api::ZDK_BaseObject& table = ArgTable(1);
  table.GetDataBase().Db().ChangeTableEncryption(table.Table(), ArgString(2), ArgString(3));
  table.GetDataBase().SyncTables();
}

void Cmd_BaseObject_SetEncryption() {
  TraceCommand("BaseObject_SetEncryption...");
  api::ZDK_BaseObject& table = ArgTable(1);
  table.GetDataBase().Db().SetTableEncryption(table.Table(), ArgString(2));
  table.GetDataBase().SyncTables();
}

void Cmd_BaseObject_GetFieldCount() {
  TraceCommand("BaseObject_GetFieldCount...");
  ReturnULong(ArgTable(1).GetFieldCount());
}

void Cmd_BaseObject_GetFieldName() {
  TraceCommand("BaseObject_GetFieldName...");
  api::ZDK_BaseObject& table = ArgTable(1);
  const int32_t number = ArgNumber(2);
  api::ZDK_Field* field = number > 0 ? table.GetField(static_cast<uint32_t>(number)) : nullptr;
  if (field == nullptr) throw xFBL_Exception(ERR_EXPECTED_FIELD_NOT_FOUND);
  AppendResult(field->GetName().data(), field->GetName().size());
}

void Cmd_BaseObject_GetFieldRef() {
  TraceCommand("BaseObject_GetFieldRef...");
  api::ZDK_BaseObject& table = ArgTable(1);
  ReturnLong(ArgTableField(table, 2).GetHandle());
}

}  // namespace bridge
