/* The database-driver interface of libzorvane.so.
 *
 * A host's database layer drives the library through objects: it sets its
 * id counter (setidcounterref), asks for a connection (newdbconnectionref),
 * calls the connection's virtual operations and walks the cursors that a
 * query returns; releasedbconnectionref deletes the connection. The base
 * classes below are the host's; their virtual operations are declared in
 * the order the host calls them, so the vtable slots are fixed. The flat
 * ZREVDB_* functions the classes are built on may also be called directly.
 *
 * Databases and cursors of the flat functions are opaque references, never
 * addresses: a released one answers an error (390, 393) and no reference is
 * reused while the process lives. Field numbers count from 1. */
#ifndef ZORVANE_DBDRIVER_H
#define ZORVANE_DBDRIVER_H

#include <stdbool.h>
#include <stdint.h>

#include "zorvane/xcmd.h"

#ifdef __cplusplus
#include <vector>

class DBCursor;

class DBObject {
 public:
  virtual ~DBObject() {}
  int32_t GetId() const { return mId; }

 protected:
  int32_t mId = 0;
};

class DBConnection : public DBObject {
 public:
  virtual bool IsConnected() = 0;
  /* 6 for this library; a cursor is only built for such a connection. */
  virtual int32_t GetConnectionType() = 0;
  virtual bool IsError() = 0;
  /* args: a[1] the database path; a[4] the cache size in bytes; the rest
   * is the host's and passed on unused. */
  virtual bool Connect(char** args, int32_t count) = 0;
  virtual void Disconnect() = 0;
  virtual const char* GetDriverName() = 0;
  /* :1, :2, ... in the statement are the binds' values. */
  virtual bool SqlExecute(const char* text, const BindValue* binds, int32_t count,
                          uint32_t* outAffected) = 0;
  /* A new cursor owned by the connection, or null (see GetErrorMessage).
   * noDataLimit false: field data is cut at 64001 bytes. */
  virtual DBCursor* SqlQuery(const char* text, const BindValue* binds, int32_t count,
                             bool noDataLimit) = 0;
  virtual void Reserved9() = 0;
  virtual void Reserved10() = 0;
  virtual void Reserved11() = 0;
  /* Empty unless the error flag is set. Valid until the next operation. */
  virtual const char* GetErrorMessage() = 0;
  virtual std::vector<DBCursor*>* GetCursors() = 0;
  virtual bool DeleteCursor(int32_t id) = 0;
  virtual DBCursor* FindCursor(int32_t id) = 0;
  /* 0-based; null out of range. */
  virtual DBCursor* GetCursorAt(int32_t index) = 0;
  virtual int32_t CountCursors() = 0;
  /* Without a buffer: *size = bytes needed. With one of *size bytes: the
   * table names separated by LF and ended by a zero; false (and *size the
   * bytes needed) when it is too small. */
  virtual bool GetTableNames(char* buffer, uint32_t* size) = 0;
  virtual void AddCursor(DBCursor* cursor) = 0;
  virtual void DeleteCursors() = 0;
};

class DBCursor : public DBObject {
 public:
  /* The cursor object stays (its connection deletes it); every later
   * operation answers the error of a released cursor. */
  virtual void Close() = 0;
  virtual bool IsAttached() = 0;
  virtual DBConnection* GetConnection() = 0;
  virtual int32_t GetCursorType() = 0;
  virtual const char* GetErrorMessage() = 0;
  virtual bool IsEOF() = 0;
  virtual bool IsBOF() = 0;
  virtual bool First() = 0;
  virtual bool Last() = 0;
  virtual bool Next() = 0;
  virtual bool Prev() = 0;
  virtual uint16_t GetFieldCount() = 0;
  virtual uint32_t GetRecordCount() = 0;
  virtual uint32_t GetRecordNumber() = 0;
  virtual int32_t GetFieldType(uint16_t field) = 0;
  virtual uint32_t GetFieldLength(uint16_t field) = 0;
  virtual const char* GetFieldName(uint16_t field) = 0;
  /* Valid until the next field read of any cursor; "" for null. */
  virtual const char* GetFieldData(uint16_t field, uint32_t* outLength) = 0;
  virtual const char* GetFieldData(uint16_t field) = 0;
  virtual bool GetFieldIsNull(uint16_t field) = 0;
};

extern "C" {
#endif

typedef struct ZREVDB_DataBase ZREVDB_DataBase;
typedef struct ZREVDB_Cursor ZREVDB_Cursor;
typedef struct ZREVDB_Table ZREVDB_Table;

/* Failures set the code ZREVDB_GetError reports and return 0, null or false. */
ZORVANE_EXPORT void ZREVDB_Init(uint32_t cacheBytes);
ZORVANE_EXPORT void ZREVDB_Shutdown(void);
ZORVANE_EXPORT ZREVDB_DataBase* ZREVDB_Connect(const char* host, const char* user,
                                               const char* password, const char* path,
                                               int32_t unused);
ZORVANE_EXPORT void ZREVDB_DBClose(ZREVDB_DataBase* db);
ZORVANE_EXPORT ZREVDB_Cursor* ZREVDB_SQLSelect(ZREVDB_DataBase* db, const char* text);
ZORVANE_EXPORT bool ZREVDB_SQLExecute(ZREVDB_DataBase* db, const char* text, uint32_t* outAffected,
                                      const BindValue* binds, int32_t count);
ZORVANE_EXPORT void ZREVDB_RemoveCursor(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT uint32_t ZREVDB_GetRecordCount(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT uint32_t ZREVDB_GetPosition(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT bool ZREVDB_GoToRecord(ZREVDB_Cursor* cursor, uint32_t record);
ZORVANE_EXPORT bool ZREVDB_FirstRecord(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT bool ZREVDB_LastRecord(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT bool ZREVDB_NextRecord(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT bool ZREVDB_PrevRecord(ZREVDB_Cursor* cursor);
ZORVANE_EXPORT uint16_t ZREVDB_GetFieldCount(ZREVDB_Cursor* cursor);
/* Valid while the cursor lives. */
ZORVANE_EXPORT const char* ZREVDB_GetFieldName(ZREVDB_Cursor* cursor, uint16_t field);
ZORVANE_EXPORT uint16_t ZREVDB_GetFieldType(ZREVDB_Cursor* cursor, uint16_t field);
ZORVANE_EXPORT uint32_t ZREVDB_GetFieldLength(ZREVDB_Cursor* cursor, uint16_t field);
ZORVANE_EXPORT bool ZREVDB_GetFieldFlag(ZREVDB_Cursor* cursor, uint16_t field, uint16_t mask);
ZORVANE_EXPORT bool ZREVDB_FieldIsNull(ZREVDB_Cursor* cursor, uint16_t field);
/* *inOutLength: 0 or the most bytes wanted; set to the bytes returned. The
 * data ends with a zero and stays valid until the next ZREVDB_GetData. */
ZORVANE_EXPORT const char* ZREVDB_GetData(ZREVDB_Cursor* cursor, uint16_t field,
                                          uint32_t* inOutLength, bool* outIsNull);
ZORVANE_EXPORT ZREVDB_Table* ZREVDB_GetTableRef(ZREVDB_DataBase* db, const char* name);
/* buffer: at least ZREVDB_ERROR_BUFFER bytes; "" when the last call succeeded. */
ZORVANE_EXPORT void ZREVDB_GetError(char* buffer);

#ifdef __cplusplus
ZORVANE_EXPORT DBConnection* newdbconnectionref(void);
/* False for null or a connection already released. */
ZORVANE_EXPORT bool releasedbconnectionref(DBConnection* connection);
ZORVANE_EXPORT void setidcounterref(int32_t* counter);
}
#endif

enum { ZREVDB_ERROR_BUFFER = 72, ZREVDB_CONNECTION_TYPE = 6 };

#endif
