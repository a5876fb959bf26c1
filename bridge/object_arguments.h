// Arguments that name objects: databases, tables, fields and memory
// blocks. Each resolver throws the command's code when the argument names
// nothing usable, at every debug level: a handle is looked up in the
// handle registry with its kind and never used as an address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace api {
class ZDK_BaseObject;
class ZDK_Cursor;
class ZDK_DataBase;
class ZDK_Field;
}  // namespace api

namespace bridge {

// A handle (raw slot, or text beginning with a digit) or a database name
// compared without case: 390 for a handle of no database, 510 for a name
// of none.
api::ZDK_DataBase& ArgDatabase(int k);
// 391 unless the handle names a table.
api::ZDK_BaseObject& ArgTable(int k);
// 310 for an absent or zero handle, 393 unless it names a cursor.
api::ZDK_Cursor& ArgCursor(int k);
// A field of the cursor by 1-based number or by name (always text): 525.
api::ZDK_Field& ArgCursorField(api::ZDK_Cursor& cursor, int k);
// A field handle: `absentCode` for an absent or zero handle, 392 for one
// that names no field.
api::ZDK_Field& ArgFieldRef(int k, int32_t absentCode);
// A field of the table by 1-based number or by name (always text): 525.
api::ZDK_Field& ArgTableField(api::ZDK_BaseObject& table, int k);
// A table of the database by 1-based number or by name; null when none.
api::ZDK_BaseObject* ArgDatabaseTable(api::ZDK_DataBase& db, int k);
// The text, or 310 when the argument is absent.
const char* ArgRequiredText(int k);
// The text, empty when absent (keys, names that may be empty).
std::string ArgString(int k);
// The first character of a given text, else the fallback.
char ArgChar(int k, char fallback);
// A memory block of at least `need` bytes: 310 otherwise.
std::span<uint8_t> ArgBlock(int k, size_t need);
// A count or position that must not be negative: 310 otherwise.
uint32_t ArgSize(int k);

// The host's variables through callbacks 19 and 20. Reading trusts the
// length the host reports for the text it returns, so binary values with
// zero bytes come through; false when the host has no such variable.
bool ReadHostVariable(const char* name, std::string& out);
void WriteHostVariable(const char* name, const uint8_t* bytes, size_t length);

}  // namespace bridge
