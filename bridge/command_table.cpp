#include "bridge/command_table.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "bridge/command_handlers.h"

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
    {"Database_New", nullptr},
    {"Database_Create", nullptr},
    {"Database_Open", nullptr},
    {"Database_Close", nullptr},
    {"Database_Flush", nullptr},
    {"Database_SetSchemaVersion", nullptr},
    {"Database_GetSchemaVersion", nullptr},
    {"Database_ChangeStructureEncryption", nullptr},
    {"Database_SetStructureEncryption", nullptr},
    {"Database_ChangeEncryption", nullptr},
    {"Database_SetEncryption", nullptr},
    {"Database_SetDateFormat", nullptr},
    {"Database_GetDateFormat", nullptr},
    {"Database_GetDateSep", nullptr},
    {"Database_GetTimeSep", nullptr},
    {"Database_MakeNewBaseObject", nullptr},
    {"DataBase_RemoveBaseObject", nullptr},
    {"Database_GetBaseObjectRef", nullptr},
    {"Database_GetBaseObjectCount", nullptr},
    {"Database_GetBaseObjectName", nullptr},
    {"Database_SqlExecute", nullptr},
    {"BaseObject_ChangeName", nullptr},
    {"BaseObject_GetRecordCount", nullptr},
    {"BaseObject_MakeNewField", nullptr},
    {"BaseObject_RemoveField", nullptr},
    {"BaseObject_ChangeFieldName", nullptr},
    {"BaseObject_ChangeFieldType", nullptr},
    {"BaseObject_ChangeFieldLength", nullptr},
    {"BaseObject_ChangeFieldLanguage", nullptr},
    {"BaseObject_ChangeFieldTarget", nullptr},
    {"BaseObject_ChangeFieldMethod", nullptr},
    {"BaseObject_ChangeEncryption", nullptr},
    {"BaseObject_SetEncryption", nullptr},
    {"BaseObject_GetFieldCount", nullptr},
    {"BaseObject_GetFieldName", nullptr},
    {"BaseObject_GetFieldRef", nullptr},
    {"Field_IsNull", nullptr},
    {"Field_GetName", nullptr},
    {"Field_GetType", nullptr},
    {"Field_GetLength", nullptr},
    {"Field_GetLanguage", nullptr},
    {"Field_GetSegmentSize", nullptr},
    {"Field_GetTarget", nullptr},
    {"Field_GetDeletionControl", nullptr},
    {"Field_GetMethod", nullptr},
    {"Field_ChangeEncryption", nullptr},
    {"Field_SetEncryption", nullptr},
    {"Field_GetFlag", nullptr},
    {"Field_SetFlag", nullptr},
    {"Field_GetValue", nullptr},
    {"Field_SetValue", nullptr},
    {"Field_SetBlank", nullptr},
    {"BLOB_GetDataSize", nullptr},
    {"BLOB_DeleteData", nullptr},
    {"BLOB_ReadData", nullptr},
    {"BLOB_WriteData", nullptr},
    {"Picture_Get", nullptr},
    {"Picture_Set", nullptr},
    {"Database_SQLSelectRecords", nullptr},
    {"DataBase_SQLSelect", nullptr},
    {"Cursor_Remove", nullptr},
    {"Cursor_IsValid", nullptr},
    {"Cursor_GetDatabase", nullptr},
    {"Cursor_GetSQLstring", nullptr},
    {"Cursor_GetRecordCount", nullptr},
    {"Cursor_SetBlank", nullptr},
    {"Cursor_AddRecord", nullptr},
    {"Cursor_AddRecords", nullptr},
    {"Cursor_UpdateRecord", nullptr},
    {"Cursor_DeleteRecord", nullptr},
    {"Cursor_DeleteAllRecords", nullptr},
    {"Cursor_DropRecord", nullptr},
    {"Cursor_FirstRecord", nullptr},
    {"Cursor_LastRecord", nullptr},
    {"Cursor_NextRecord", nullptr},
    {"Cursor_PrevRecord", nullptr},
    {"Cursor_GoToRecord", nullptr},
    {"Cursor_GetPosition", nullptr},
    {"Cursor_ImportASCII", nullptr},
    {"Cursor_ExportASCII", nullptr},
    {"Cursor_GetFieldCount", nullptr},
    {"Cursor_GetFieldName", nullptr},
    {"Cursor_GetFieldRef", nullptr},
    {"Cursor_GetField", nullptr},
    {"Cursor_SetField", nullptr},
    {"Cursor_GetPicture", nullptr},
    {"Cursor_SetPicture", nullptr},
    {"Cursor_GetRecord", nullptr},
    {"Cursor_GetRecords", nullptr},
    {"Cursor_UpdateAllRecords", nullptr},
    {"MemBuffer_Allocate", Cmd_MemBuffer_Allocate},
    {"MemBuffer_Free", Cmd_MemBuffer_Free},
};

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool SameWordIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

constexpr uint32_t HashWord(std::string_view word, bool upperCase) {
  uint32_t h = 0;
  for (char c : word) {
    if (upperCase) c = UpperAscii(c);
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
  if (index < 0 || !SameWordIgnoringCase(word, kCommands[index].word)) return -1;
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
