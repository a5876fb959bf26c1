// Handlers of the commands. Each reads its arguments through the current
// block and writes its result or sets ErrorCode; lower layers throw.
#pragma once

namespace bridge {

void Cmd_SetDebugLevel();
void Cmd_Init();
void Cmd_ShutDown();
void Cmd_Version();
void Cmd_SetCreator();
void Cmd_EscapeString();
void Cmd_MemBuffer_Allocate();
void Cmd_MemBuffer_Free();

// databases, tables, fields, BLOBs and pictures (one file per family)
void Cmd_Database_New();
void Cmd_Database_Create();
void Cmd_Database_Open();
void Cmd_Database_Close();
void Cmd_Database_Flush();
void Cmd_Database_SetSchemaVersion();
void Cmd_Database_GetSchemaVersion();
void Cmd_Database_ChangeStructureEncryption();
void Cmd_Database_SetStructureEncryption();
void Cmd_Database_ChangeEncryption();
void Cmd_Database_SetEncryption();
void Cmd_Database_SetDateFormat();
void Cmd_Database_GetDateFormat();
void Cmd_Database_GetDateSep();
void Cmd_Database_GetTimeSep();
void Cmd_Database_MakeNewBaseObject();
void Cmd_DataBase_RemoveBaseObject();
void Cmd_Database_GetBaseObjectRef();
void Cmd_Database_GetBaseObjectCount();
void Cmd_Database_GetBaseObjectName();
void Cmd_BaseObject_ChangeName();
void Cmd_BaseObject_GetRecordCount();
void Cmd_BaseObject_MakeNewField();
void Cmd_BaseObject_RemoveField();
void Cmd_BaseObject_ChangeFieldName();
void Cmd_BaseObject_ChangeFieldType();
void Cmd_BaseObject_ChangeFieldLength();
void Cmd_BaseObject_ChangeFieldLanguage();
void Cmd_BaseObject_ChangeFieldTarget();
void Cmd_BaseObject_ChangeFieldMethod();
void Cmd_BaseObject_ChangeEncryption();
void Cmd_BaseObject_SetEncryption();
void Cmd_BaseObject_GetFieldCount();
void Cmd_BaseObject_GetFieldName();
void Cmd_BaseObject_GetFieldRef();
void Cmd_Field_IsNull();
void Cmd_Field_GetName();
void Cmd_Field_GetType();
void Cmd_Field_GetLength();
void Cmd_Field_GetLanguage();
void Cmd_Field_GetSegmentSize();
void Cmd_Field_GetTarget();
void Cmd_Field_GetDeletionControl();
void Cmd_Field_GetMethod();
void Cmd_Field_ChangeEncryption();
void Cmd_Field_SetEncryption();
void Cmd_Field_GetFlag();
void Cmd_Field_SetFlag();
void Cmd_Field_GetValue();
void Cmd_Field_SetValue();
void Cmd_Field_SetBlank();
void Cmd_BLOB_GetDataSize();
void Cmd_BLOB_DeleteData();
void Cmd_BLOB_ReadData();
void Cmd_BLOB_WriteData();
void Cmd_Picture_Get();
void Cmd_Picture_Set();
void Cmd_Database_Dump();
void Cmd_Database_LoadDump();
void Cmd_Binary_ReadData();
void Cmd_Binary_WriteData();

}  // namespace bridge
