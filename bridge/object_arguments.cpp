#include "bridge/object_arguments.h"

#include <cctype>

#include "api/handle_registry.h"
#include "api/zdk_cursor.h"
#include "api/zdk_database.h"
#include "bridge/arguments.h"
#include "platform/errors.h"

namespace bridge {

namespace {

[[noreturn]] void Fail(int32_t code) {
  throw xFBL_Exception(code);
}

bool StartsWithDigit(const char* text) {
  return text != nullptr && std::isdigit(static_cast<unsigned char>(text[0]));
}

}  // namespace

api::ZDK_DataBase& ArgDatabase(int k) {
  // A raw slot holds the handle itself, never a text reference.
  const char* text = CallMode() >= 2 ? nullptr : ArgText(k);
  if (CallMode() >= 2 || StartsWithDigit(text)) {
    api::ZDK_DataBase* db = api::FindDataBase(ArgNumber(k));
    if (db == nullptr) Fail(ERR_WRONG_DB_REF);
    return *db;
  }
  api::ZDK_DataBase* db = api::FindDataBaseByName(text != nullptr ? text : "");
  if (db == nullptr) Fail(ERR_WRONG_DATABASE_NAME);
  return *db;
}

api::ZDK_BaseObject& ArgTable(int k) {
  api::ZDK_BaseObject* table = api::FindBaseObject(ArgNumber(k));
  if (table == nullptr) Fail(ERR_WRONG_BO_REF);
  return *table;
}

api::ZDK_Field& ArgFieldRef(int k, int32_t absentCode) {
  const int32_t handle = ArgNumber(k);
  if (handle == 0) Fail(absentCode);
  api::ZDK_Field* field = api::FindField(handle);
  if (field == nullptr) Fail(ERR_WRONG_FLD_REF);
  return *field;
}

api::ZDK_Cursor& ArgCursor(int k) {
  const int32_t handle = ArgNumber(k);
  if (handle == 0) Fail(ERR_WRONG_PARAMETER);
  api::ZDK_Cursor* cursor = api::FindCursor(handle);
  if (cursor == nullptr) Fail(ERR_WRONG_CURSOR_REF);
  return *cursor;
}

namespace {

// Tables and cursors number their fields from 1; a number whose low 16
// bits are 0 is a name.
template <typename Owner>
api::ZDK_Field& FieldOf(const Owner& owner, int k) {
  const char* text = ArgText(k);
  if (text == nullptr) Fail(ERR_EXPECTED_FIELD_NOT_FOUND);
  const int32_t number = ParseNumber(text);
  api::ZDK_Field* field = (number & 0xFFFF) != 0
                              ? owner.GetField(static_cast<uint32_t>(number & 0xFFFF))
                              : owner.GetField(std::string(text));
  if (field == nullptr) Fail(ERR_EXPECTED_FIELD_NOT_FOUND);
  return *field;
}

}  // namespace

api::ZDK_Field& ArgTableField(api::ZDK_BaseObject& table, int k) {
  return FieldOf(table, k);
}

api::ZDK_Field& ArgCursorField(api::ZDK_Cursor& cursor, int k) {
  return FieldOf(cursor, k);
}

api::ZDK_BaseObject* ArgDatabaseTable(api::ZDK_DataBase& db, int k) {
  const char* text = ArgText(k);
  if (text == nullptr) return nullptr;
  const int32_t number = ParseNumber(text);
  if (number != 0) return number < 0 ? nullptr : db.GetBaseObject(static_cast<uint32_t>(number));
  return db.FindBaseObject(text);
}

const char* ArgRequiredText(int k) {
  const char* text = ArgText(k);
  if (text == nullptr) Fail(ERR_WRONG_PARAMETER);
  return text;
}

std::string ArgString(int k) {
  const char* text = ArgText(k);
  return text == nullptr ? std::string() : std::string(text);
}

char ArgChar(int k, char fallback) {
  if (!ArgPresent(k)) return fallback;
  const char* text = ArgText(k);
  return text != nullptr && text[0] != '\0' ? text[0] : fallback;
}

std::span<uint8_t> ArgBlock(int k, size_t need) {
  const std::span<uint8_t> block = api::HandleRegistry::Instance().Block(ArgNumber(k));
  if (block.data() == nullptr || block.size() < need) Fail(ERR_WRONG_PARAMETER);
  return block;
}

uint32_t ArgSize(int k) {
  const int32_t n = ArgNumber(k);
  if (n < 0) Fail(ERR_WRONG_PARAMETER);
  return static_cast<uint32_t>(n);
}

}  // namespace bridge
