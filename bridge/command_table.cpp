#include "bridge/command_table.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "bridge/command_handlers.h"
#include "platform/ascii_text.h"

namespace bridge {

namespace {

struct CommandEntry {
  std::string_view word;
  CommandHandler handler;
};

// Position = command number; the numbers are part of the indexed-call interface.
constexpr CommandEntry kCommands[kCommandCount] = {
    {"SetDebugLevel", Cmd_SetDebugLevel},
    {"Init", Cmd_Init},
    {"ShutDown", Cmd_ShutDown},
    {"Version", Cmd_Version},
    {"SetCreator", Cmd_SetCreator},
    {"EscapeString", Cmd_EscapeString},
    {"Database_New", Cmd_Database_New},
    {"Database_Create", Cmd_Database_Create},
    {"Database_Open", Cmd_Database_Open},
    {"Database_Close", Cmd_Database_Close},
    {"Database_Flush", Cmd_Database_Flush},
    {"Database_SetSchemaVersion", Cmd_Database_SetSchemaVersion},
    {"Database_GetSchemaVersion", Cmd_Database_GetSchemaVersion},
    {"Database_ChangeStructureEncryption", Cmd_Database_ChangeStructureEncryption},
    {"Database_SetStructureEncryption", Cmd_Database_SetStructureEncryption},
    {"Database_ChangeEncryption", Cmd_Database_ChangeEncryption},
    {"Database_SetEncryption", Cmd_Database_SetEncryption},
    {"Database_SetDateFormat", Cmd_Database_SetDateFormat},
    {"Database_GetDateFormat", Cmd_Database_GetDateFormat},
    {"Database_GetDateSep", Cmd_Database_GetDateSep},
    {"Database_GetTimeSep", Cmd_Database_GetTimeSep},
    {"Database_MakeNewBaseObject", Cmd_Database_MakeNewBaseObject},
    {"DataBase_RemoveBaseObject", Cmd_DataBase_RemoveBaseObject},
    {"Database_GetBaseObjectRef", Cmd_Database_GetBaseObjectRef},
    {"Database_GetBaseObjectCount", Cmd_Database_GetBaseObjectCount},
    {"Database_GetBaseObjectName", Cmd_Database_GetBaseObjectName},
    {"Database_SqlExecute", Cmd_Database_SqlExecute},
    {"BaseObject_ChangeName", Cmd_BaseObject_ChangeName},
    {"BaseObject_GetRecordCount", Cmd_BaseObject_GetRecordCount},
    {"BaseObject_MakeNewField", Cmd_BaseObject_MakeNewField},
    {"BaseObject_RemoveField", Cmd_BaseObject_RemoveField},
    {"BaseObject_ChangeFieldName", Cmd_BaseObject_ChangeFieldName},
    {"BaseObject_ChangeFieldType", Cmd_BaseObject_ChangeFieldType},
    {"BaseObject_ChangeFieldLength", Cmd_BaseObject_ChangeFieldLength},
    {"BaseObject_ChangeFieldLanguage", Cmd_BaseObject_ChangeFieldLanguage},
    {"BaseObject_ChangeFieldTarget", Cmd_BaseObject_ChangeFieldTarget},
    {"BaseObject_ChangeFieldMethod", Cmd_BaseObject_ChangeFieldMethod},
    {"BaseObject_ChangeEncryption", Cmd_BaseObject_ChangeEncryption},
    {"BaseObject_SetEncryption", Cmd_BaseObject_SetEncryption},
    {"BaseObject_GetFieldCount", Cmd_BaseObject_GetFieldCount},
    {"BaseObject_GetFieldName", Cmd_BaseObject_GetFieldName},
    {"BaseObject_GetFieldRef", Cmd_BaseObject_GetFieldRef},
    {"Field_IsNull", Cmd_Field_IsNull},
    {"Field_GetName", Cmd_Field_GetName},
    {"Field_GetType", Cmd_Field_GetType},
    {"Field_GetLength", Cmd_Field_GetLength},
    {"Field_GetLanguage", Cmd_Field_GetLanguage},
    {"Field_GetSegmentSize", Cmd_Field_GetSegmentSize},
    {"Field_GetTarget", Cmd_Field_GetTarget},
    {"Field_GetDeletionControl", Cmd_Field_GetDeletionControl},
    {"Field_GetMethod", Cmd_Field_GetMethod},
    {"Field_ChangeEncryption", Cmd_Field_ChangeEncryption},
    {"Field_SetEncryption", Cmd_Field_SetEncryption},
    {"Field_GetFlag", Cmd_Field_GetFlag},
    {"Field_SetFlag", Cmd_Field_SetFlag},
    {"Field_GetValue", Cmd_Field_GetValue},
    {"Field_SetValue", Cmd_Field_SetValue},
    {"Field_SetBlank", Cmd_Field_SetBlank},
    {"BLOB_GetDataSize", Cmd_BLOB_GetDataSize},
    {"BLOB_DeleteData", Cmd_BLOB_DeleteData},
    {"BLOB_ReadData", Cmd_BLOB_ReadData},
    {"BLOB_WriteData", Cmd_BLOB_WriteData},
    {"Picture_Get", Cmd_Picture_Get},
    {"Picture_Set", Cmd_Picture_Set},
    {"Database_SQLSelectRecords", Cmd_Database_SQLSelectRecords},
    {"DataBase_SQLSelect", Cmd_DataBase_SQLSelect},
    {"Cursor_Remove", Cmd_Cursor_Remove},
    {"Cursor_IsValid", Cmd_Cursor_IsValid},
    {"Cursor_GetDatabase", Cmd_Cursor_GetDatabase},
    {"Cursor_GetSQLstring", Cmd_Cursor_GetSQLstring},
    {"Cursor_GetRecordCount", Cmd_Cursor_GetRecordCount},
    {"Cursor_SetBlank", Cmd_Cursor_SetBlank},
    {"Cursor_AddRecord", Cmd_Cursor_AddRecord},
    {"Cursor_AddRecords", Cmd_Cursor_AddRecords},
    {"Cursor_UpdateRecord", Cmd_Cursor_UpdateRecord},
    {"Cursor_DeleteRecord", Cmd_Cursor_DeleteRecord},
    {"Cursor_DeleteAllRecords", Cmd_Cursor_DeleteAllRecords},
    {"Cursor_DropRecord", Cmd_Cursor_DropRecord},
    {"Cursor_FirstRecord", Cmd_Cursor_FirstRecord},
    {"Cursor_LastRecord", Cmd_Cursor_LastRecord},
    {"Cursor_NextRecord", Cmd_Cursor_NextRecord},
    {"Cursor_PrevRecord", Cmd_Cursor_PrevRecord},
    {"Cursor_GoToRecord", Cmd_Cursor_GoToRecord},
    {"Cursor_GetPosition", Cmd_Cursor_GetPosition},
    {"Cursor_ImportASCII", Cmd_Cursor_ImportASCII},
    {"Cursor_ExportASCII", Cmd_Cursor_ExportASCII},
    {"Cursor_GetFieldCount", Cmd_Cursor_GetFieldCount},
    {"Cursor_GetFieldName", Cmd_Cursor_GetFieldName},
    {"Cursor_GetFieldRef", Cmd_Cursor_GetFieldRef},
    {"Cursor_GetField", Cmd_Cursor_GetField},
    {"Cursor_SetField", Cmd_Cursor_SetField},
    {"Cursor_GetPicture", Cmd_Cursor_GetPicture},
    {"Cursor_SetPicture", Cmd_Cursor_SetPicture},
    {"Cursor_GetRecord", Cmd_Cursor_GetRecord},
    {"Cursor_GetRecords", Cmd_Cursor_GetRecords},
    {"Cursor_UpdateAllRecords", Cmd_Cursor_UpdateAllRecords},
    {"MemBuffer_Allocate", Cmd_MemBuffer_Allocate},
    {"MemBuffer_Free", Cmd_MemBuffer_Free},
    {"Database_Dump", Cmd_Database_Dump},
    {"Database_LoadDump", Cmd_Database_LoadDump},
    {"Binary_ReadData", Cmd_Binary_ReadData},
    {"Binary_WriteData", Cmd_Binary_WriteData},
};

constexpr uint32_t HashWord(std::string_view word, bool upperCase) {
  uint32_t h = 0;
  for (char c : word) {
    if (upperCase) c = zv::UpperAscii(c);
    h = (h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)))) * 2u;
  }
  return h;
}

using HashIndex = std::array<std::pair<uint32_t, int>, kCommandCount>;

// Sorted by hash at compile time; lookups are a binary search over numbers.
constexpr HashIndex MakeHashIndex() {
  HashIndex index{};
  for (int i = 0; i < kCommandCount; ++i) index[i] = {HashWord(kCommands[i].word, true), i};
  std::sort(index.begin(), index.end());
  return index;
}

constexpr HashIndex kHashIndex = MakeHashIndex();

constexpr bool HashesAreDistinct() {
  for (size_t i = 1; i < kHashIndex.size(); ++i) {
    if (kHashIndex[i].first == kHashIndex[i - 1].first) return false;
  }
  return kHashIndex[0].first != 0;  // the empty word must stay unknown
}
static_assert(HashesAreDistinct(), "two command words share a hash");

}  // namespace

uint32_t CommandHash(const char* word) {
  return word == nullptr ? 0 : HashWord(word, false);
}

int FindCommandByHash(uint32_t hash) {
  auto it =
      std::lower_bound(kHashIndex.begin(), kHashIndex.end(), std::pair<uint32_t, int>{hash, -1});
  if (it == kHashIndex.end() || it->first != hash) return -1;
  return it->second;
}

int FindCommand(const char* word) {
  if (word == nullptr) return -1;
  const int index = FindCommandByHash(HashWord(word, true));
  if (index < 0 || !zv::EqualNoCaseAscii(word, kCommands[index].word)) return -1;
  return index;
}

const char* CommandWord(int index) {
  if (index < 0 || index >= kCommandCount) return "";
  return kCommands[index].word.data();
}

CommandHandler CommandHandlerAt(int index) {
  if (index < 0 || index >= kCommandCount) return nullptr;
  return kCommands[index].handler;
}

}  // namespace bridge
