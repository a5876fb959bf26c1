// Database, table, field, BLOB, SQL and cursor commands through the
// external function:
// every bad handle and argument answers a code, and random command
// sequences agree with a model of the tables.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "api/api_layer.h"
#include "api/zdk_database.h"
#include "bridge/command_table.h"
#include "bridge_test_support.h"
#include "platform/debug_output.h"
#include "tests/support/test_dir.h"

using bridge_test::Block;
using bridge_test::Cmd;

namespace {

// Starts the layer with a database of one table, a field of each kind the
// commands distinguish and a memory block; ShutDown at the end.
class ObjectCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // The error trace of levels 1 and 2 is not what these tests read.
    platform::SetDebugSink([](std::string_view) {});
    ASSERT_EQ(Cmd({"Init"}), "");
    db = Cmd({"Database_Create", dir.File("objects.vdb")});
    table = Cmd({"Database_MakeNewBaseObject", db, "T"});
    number = Cmd({"BaseObject_MakeNewField", table, "N", "Long"});
    blob = Cmd({"BaseObject_MakeNewField", table, "B", "BLOB"});
    picture = Cmd({"BaseObject_MakeNewField", table, "P", "Picture"});
    block = Cmd({"MemBuffer_Allocate", "16"});
    cursor = Cmd({"DataBase_SQLSelect", db, "SELECT N FROM T", "1", "1", "2"});
    // Handles of objects that are gone.
    const std::string gone = Cmd({"Database_MakeNewBaseObject", db, "Gone"});
    const std::string goneField = Cmd({"BaseObject_MakeNewField", gone, "G", "Long"});
    const std::string closed = Cmd({"Database_New"});
    const std::string freed = Cmd({"MemBuffer_Allocate", "4"});
    const std::string removed = Cmd({"DataBase_SQLSelect", db, "SELECT N FROM T"});
    ASSERT_EQ(Cmd({"Cursor_Remove", removed}), "");
    ASSERT_EQ(Cmd({"DataBase_RemoveBaseObject", db, "Gone"}), "");
    ASSERT_EQ(Cmd({"Database_Close", closed}), "");
    ASSERT_EQ(Cmd({"MemBuffer_Free", freed}), "");
    freedHandles = {gone, goneField, closed, freed, removed};
  }
  void TearDown() override {
    Cmd({"SetDebugLevel", "0"});
    EXPECT_EQ(Cmd({"ShutDown"}), "");
    platform::SetDebugSink(nullptr);
  }

  ztest::TempDir dir;
  std::string db, table, number, blob, picture, block, cursor;
  std::vector<std::string> freedHandles;
};

enum class Slot { Database, Table, Field, BlobField, Block, Cursor };

// Code for a bad value in the slot: a wrong handle, zero, a negative one
// and a missing argument.
struct Codes {
  int wrong, zero, negative, missing;
};

Codes CodesFor(Slot slot) {
  switch (slot) {
    // A leading minus sign makes a database argument a name.
    case Slot::Database:
      return {390, 390, 510, 510};
    case Slot::Table:
      return {391, 391, 391, 391};
    case Slot::Field:
      return {392, 525, 392, 525};
    case Slot::BlobField:
      return {392, 310, 392, 310};
    case Slot::Block:
      return {310, 310, 310, 310};
    case Slot::Cursor:
      return {393, 310, 393, 310};
  }
  return {};
}

struct BadCase {
  std::vector<std::string> words;  // "@" is where the bad value goes
  Slot slot;
  bool optional = false;  // absent is a right value
};

std::string Answer(std::vector<std::string> words, const std::string& bad, bool omit) {
  std::vector<std::string> call;
  for (const std::string& w : words) {
    if (w != "@") {
      call.push_back(w);
    } else if (!omit) {
      call.push_back(bad);
    } else {
      call.push_back("");  // an absent argument: an empty text
    }
  }
  return Cmd(call);
}

}  // namespace

TEST_F(ObjectCommands, EveryBadHandleAnswersItsCodeAtEveryDebugLevel) {
  const std::string& t = table;
  const std::vector<BadCase> cases = {
      {{"Database_Flush", "@"}, Slot::Database},
      {{"Database_Close", "@"}, Slot::Database},
      {{"Database_GetSchemaVersion", "@"}, Slot::Database},
      {{"Database_SetSchemaVersion", "@", "3"}, Slot::Database},
      {{"Database_SetDateFormat", "@", "1"}, Slot::Database},
      {{"Database_GetDateFormat", "@"}, Slot::Database},
      {{"Database_GetDateSep", "@"}, Slot::Database},
      {{"Database_GetTimeSep", "@"}, Slot::Database},
      {{"Database_SetEncryption", "@", "key"}, Slot::Database},
      {{"Database_ChangeEncryption", "@", "", "key"}, Slot::Database},
      {{"Database_SetStructureEncryption", "@", "key"}, Slot::Database},
      {{"Database_ChangeStructureEncryption", "@", "", "key"}, Slot::Database},
      {{"Database_MakeNewBaseObject", "@", "X"}, Slot::Database},
      {{"DataBase_RemoveBaseObject", "@", "T"}, Slot::Database},
      {{"Database_GetBaseObjectRef", "@", "T"}, Slot::Database},
      {{"Database_GetBaseObjectCount", "@"}, Slot::Database},
      {{"Database_GetBaseObjectName", "@", "1"}, Slot::Database},
      {{"Database_Dump", "@", "/nowhere", "1"}, Slot::Database},
      {{"BaseObject_ChangeName", "@", "Y"}, Slot::Table},
      {{"BaseObject_GetRecordCount", "@"}, Slot::Table},
      {{"BaseObject_MakeNewField", "@", "F", "Long"}, Slot::Table},
      {{"BaseObject_MakeNewField", t, "F", "ObjectPtr", "@"}, Slot::Table, true},
      {{"BaseObject_RemoveField", "@", "N"}, Slot::Table},
      {{"BaseObject_ChangeFieldName", "@", "N", "M"}, Slot::Table},
      {{"BaseObject_ChangeFieldType", "@", "N", "Short"}, Slot::Table},
      {{"BaseObject_ChangeFieldLength", "@", "N", "4"}, Slot::Table},
      {{"BaseObject_ChangeFieldLanguage", "@", "N", "German"}, Slot::Table},
      {{"BaseObject_ChangeFieldTarget", "@", "N", t}, Slot::Table},
      {{"BaseObject_ChangeFieldMethod", "@", "N", "1"}, Slot::Table},
      {{"BaseObject_ChangeEncryption", "@", "", "key"}, Slot::Table},
      {{"BaseObject_SetEncryption", "@", "key"}, Slot::Table},
      {{"BaseObject_GetFieldCount", "@"}, Slot::Table},
      {{"BaseObject_GetFieldName", "@", "1"}, Slot::Table},
      {{"BaseObject_GetFieldRef", "@", "1"}, Slot::Table},
      {{"Field_IsNull", "@"}, Slot::Field},
      {{"Field_GetName", "@"}, Slot::Field},
      {{"Field_GetType", "@"}, Slot::Field},
      {{"Field_GetLength", "@"}, Slot::Field},
      {{"Field_GetLanguage", "@"}, Slot::Field},
      {{"Field_GetSegmentSize", "@"}, Slot::Field},
      {{"Field_GetTarget", "@"}, Slot::Field},
      {{"Field_GetDeletionControl", "@"}, Slot::Field},
      {{"Field_GetMethod", "@"}, Slot::Field},
      {{"Field_ChangeEncryption", "@", "", "key"}, Slot::Field},
      {{"Field_SetEncryption", "@", "key"}, Slot::Field},
      {{"Field_GetFlag", "@", "1"}, Slot::Field},
      {{"Field_SetFlag", "@", "1", "1"}, Slot::Field},
      {{"Field_GetValue", "@"}, Slot::Field},
      {{"Field_SetValue", "@", "5"}, Slot::Field},
      {{"Field_SetBlank", "@"}, Slot::Field},
      {{"BLOB_GetDataSize", "@"}, Slot::BlobField},
      {{"BLOB_DeleteData", "@"}, Slot::BlobField},
      {{"BLOB_ReadData", "@", block, "4"}, Slot::BlobField},
      {{"BLOB_WriteData", "@", block, "4"}, Slot::BlobField},
      {{"Binary_ReadData", "@", "v"}, Slot::BlobField},
      {{"Binary_WriteData", "@", "v"}, Slot::BlobField},
      {{"Picture_Get", "@"}, Slot::BlobField},
      {{"Picture_Set", "@", block}, Slot::BlobField},
      {{"BLOB_ReadData", blob, "@", "4"}, Slot::Block},
      {{"BLOB_WriteData", blob, "@", "4"}, Slot::Block},
      {{"Picture_Set", picture, "@"}, Slot::Block},
      {{"Database_SqlExecute", "@", "DELETE FROM T"}, Slot::Database},
      {{"DataBase_SQLSelect", "@", "SELECT N FROM T"}, Slot::Database},
      {{"Database_SQLSelectRecords", "@", "SELECT N FROM T"}, Slot::Database},
      {{"Cursor_Remove", "@"}, Slot::Cursor},
      {{"Cursor_GetDatabase", "@"}, Slot::Cursor},
      {{"Cursor_GetSQLstring", "@"}, Slot::Cursor},
      {{"Cursor_GetRecordCount", "@"}, Slot::Cursor},
      {{"Cursor_SetBlank", "@"}, Slot::Cursor},
      {{"Cursor_AddRecord", "@", "1"}, Slot::Cursor},
      {{"Cursor_AddRecords", "@", "1"}, Slot::Cursor},
      {{"Cursor_UpdateRecord", "@"}, Slot::Cursor},
      {{"Cursor_UpdateAllRecords", "@"}, Slot::Cursor},
      {{"Cursor_DeleteRecord", "@", "1"}, Slot::Cursor},
      {{"Cursor_DeleteAllRecords", "@"}, Slot::Cursor},
      {{"Cursor_DropRecord", "@", "1"}, Slot::Cursor},
      {{"Cursor_FirstRecord", "@"}, Slot::Cursor},
      {{"Cursor_LastRecord", "@"}, Slot::Cursor},
      {{"Cursor_NextRecord", "@"}, Slot::Cursor},
      {{"Cursor_PrevRecord", "@"}, Slot::Cursor},
      {{"Cursor_GoToRecord", "@", "1"}, Slot::Cursor},
      {{"Cursor_GetPosition", "@"}, Slot::Cursor},
      {{"Cursor_ImportASCII", "@", "/nowhere"}, Slot::Cursor},
      {{"Cursor_ExportASCII", "@", "/nowhere"}, Slot::Cursor},
      {{"Cursor_GetFieldCount", "@"}, Slot::Cursor},
      {{"Cursor_GetFieldName", "@", "1"}, Slot::Cursor},
      {{"Cursor_GetFieldRef", "@", "1"}, Slot::Cursor},
      {{"Cursor_GetField", "@", "1"}, Slot::Cursor},
      {{"Cursor_SetField", "@", "1", "5"}, Slot::Cursor},
      {{"Cursor_GetPicture", "@", "1"}, Slot::Cursor},
      {{"Cursor_SetPicture", "@", "1", "1"}, Slot::Cursor},
      {{"Cursor_GetRecord", "@", "1"}, Slot::Cursor},
      {{"Cursor_GetRecords", "@"}, Slot::Cursor},
  };
  // Handles of another kind for each slot.
  const std::map<Slot, std::vector<std::string>> wrongKind = {
      {Slot::Database, {table, number, block, cursor}},
      {Slot::Table, {db, number, block, cursor}},
      {Slot::Field, {db, table, block, cursor}},
      {Slot::BlobField, {db, table, block, cursor}},
      {Slot::Block, {db, table, number, cursor}},
      {Slot::Cursor, {db, table, number, block}},
  };
  for (const char* level : {"0", "1", "2"}) {
    ASSERT_EQ(Cmd({"SetDebugLevel", level}), "");
    for (const BadCase& c : cases) {
      const Codes codes = CodesFor(c.slot);
      const std::string what = c.words[0] + " at level " + level;
      const auto expect = [&](int code) { return "ERROR " + std::to_string(code); };
      std::vector<std::string> wrong = wrongKind.at(c.slot);
      wrong.insert(wrong.end(), freedHandles.begin(), freedHandles.end());
      wrong.push_back("2147483647");
      wrong.push_back("99999999999");  // wraps modulo 2^32
      for (const std::string& bad : wrong) {
        // A freed handle of the very kind the slot takes may be a right one
        // elsewhere: only the answer's form is checked for those.
        const std::string answer = Answer(c.words, bad, false);
        EXPECT_EQ(answer.rfind("ERROR ", 0), 0u) << what << " with " << bad << ": " << answer;
      }
      EXPECT_EQ(Answer(c.words, "0", false), expect(codes.zero)) << what;
      EXPECT_EQ(Answer(c.words, "-7", false), expect(codes.negative)) << what;
      if (!c.optional) {
        EXPECT_EQ(Answer(c.words, "", true), expect(codes.missing)) << what;
      }
      EXPECT_EQ(Answer(c.words, "2147483647", false), expect(codes.wrong)) << what;
    }
  }
  // Raw calls: the bad value is the slot itself; every optional bit set.
  for (const BadCase& c : cases) {
    const int index = bridge::FindCommand(c.words[0].c_str());
    if (index < 0 || index >= bridge::kNumberedCommandCount) continue;
    for (intptr_t bad : {intptr_t(0), intptr_t(-7), intptr_t(2147483647), intptr_t(1) << 40}) {
      Block raw(index, 2 | 0x7FFE);
      for (size_t k = 1; k < c.words.size(); ++k) {
        // The handle is checked before any other slot is read, so the
        // others may stay text references.
        if (c.words[k] == "@") {
          raw.Raw(int(k), bad);
        } else {
          raw.Text(int(k), c.words[k]);
        }
      }
      raw.Dispatch();
      EXPECT_NE(raw.ErrorOut(), 0) << c.words[0] << " raw " << bad;
    }
  }
  // Cursor_IsValid answers from the registry at every level, never an error.
  for (const char* level : {"0", "1"}) {
    ASSERT_EQ(Cmd({"SetDebugLevel", level}), "");
    for (const std::string& h : {db, table, number, block, freedHandles[4], std::string("0"),
                                 std::string("-7"), std::string("2147483647")}) {
      EXPECT_EQ(Cmd({"Cursor_IsValid", h}), "FALSE") << h;
    }
    EXPECT_EQ(Cmd({"Cursor_IsValid", cursor}), "TRUE");
  }
  // Nothing above changed the table or its field, or removed the cursor.
  EXPECT_EQ(Cmd({"Cursor_GetSQLstring", cursor}), "SELECT N FROM T");
  EXPECT_EQ(Cmd({"BaseObject_GetFieldCount", table}), "3");
  EXPECT_EQ(Cmd({"Field_GetName", number}), "N");
  EXPECT_EQ(Cmd({"Database_GetBaseObjectCount", db}), "1");
}

TEST_F(ObjectCommands, WrongKindsAndFreedHandlesGiveTheSlotsCode) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"Database_GetBaseObjectCount", table}, "ERROR 390"},
      {{"Database_GetBaseObjectCount", freedHandles[2]}, "ERROR 390"},
      {{"BaseObject_GetFieldCount", db}, "ERROR 391"},
      {{"BaseObject_GetFieldCount", number}, "ERROR 391"},
      {{"BaseObject_GetFieldCount", freedHandles[0]}, "ERROR 391"},
      {{"Field_GetName", table}, "ERROR 392"},
      {{"Field_GetName", block}, "ERROR 392"},
      {{"Field_GetName", freedHandles[1]}, "ERROR 392"},
      {{"BLOB_GetDataSize", number}, "ERROR 310"},
      {{"Picture_Get", blob}, "ERROR 310"},
      {{"BLOB_ReadData", blob, number, "1"}, "ERROR 310"},
      {{"BLOB_ReadData", blob, freedHandles[3], "1"}, "ERROR 310"},
      {{"BLOB_ReadData", blob, block, "17"}, "ERROR 310"},
      {{"BLOB_WriteData", blob, block, "16", "4294967295"}, "ERROR 310"},
  };
  for (const char* level : {"0", "1"}) {
    ASSERT_EQ(Cmd({"SetDebugLevel", level}), "");
    for (const auto& [words, answer] : cases) {
      EXPECT_EQ(Cmd(words), answer) << words[0] << " " << words[1] << " at level " << level;
    }
  }
}

TEST_F(ObjectCommands, MissingExtraAndRawArguments) {
  // Missing texts that a command needs; words beyond the block's slots.
  EXPECT_EQ(Cmd({"BaseObject_ChangeName", table}), "ERROR 310");
  EXPECT_EQ(Cmd({"Database_MakeNewBaseObject", db}), "ERROR 310");
  EXPECT_EQ(Cmd({"BaseObject_ChangeFieldName", table, "N"}), "ERROR 310");
  EXPECT_EQ(Cmd({"Database_Create"}), "ERROR 310");
  EXPECT_EQ(Cmd({"Binary_ReadData", blob}), "ERROR 310");
  std::vector<std::string> many(16, "1");
  many[0] = "Field_GetName";
  EXPECT_EQ(Cmd(many), "ERROR 310");
  // Arguments past what a command reads are ignored.
  EXPECT_EQ(Cmd({"Field_GetName", number, "x", "y", "z"}), "N");

  // Raw calls carry handles in the slots; fields are still named by text.
  Block count(39, 2);  // BaseObject_GetFieldCount
  count.Raw(1, std::stoi(table));
  count.Dispatch();
  EXPECT_EQ(count.ErrorOut(), 0);
  EXPECT_EQ(count.ResultValue(), 3);
  Block wrong(39, 2);
  wrong.Raw(1, std::stoi(db));
  wrong.Dispatch();
  EXPECT_EQ(wrong.ErrorOut(), 391);
  Block byName(41, 2);  // BaseObject_GetFieldRef
  byName.Raw(1, std::stoi(table));
  byName.Text(2, "n");
  byName.Dispatch();
  EXPECT_EQ(byName.ResultValue(), std::stoi(number));
  Block dbRaw(24, 2);  // Database_GetBaseObjectCount
  dbRaw.Raw(1, std::stoi(db));
  dbRaw.Dispatch();
  EXPECT_EQ(dbRaw.ResultValue(), 1);
  Block nullText(43, 1);  // Field_GetName, its text slot left null
  nullText.Dispatch();
  EXPECT_EQ(nullText.ErrorOut(), 525);
  // Indexed calls of Boolean commands answer in the value slot.
  Block isNull(42, 1);
  isNull.Text(1, number);
  isNull.Dispatch();
  EXPECT_EQ(isNull.ErrorOut(), 0);
  EXPECT_EQ(isNull.ResultValue(), 0);
  EXPECT_EQ(isNull.Result(), "");
}

TEST_F(ObjectCommands, TypedWrappersPackDatesAndTimesAsTheirWordsSay) {
  EXPECT_EQ(api::MakeDateWord(2004, 2, 29), 1026141u);
  EXPECT_EQ(api::MakeTimeWord(13, 45, 10), (13u << 12) | (45u << 6) | 10u);
  const std::string date = Cmd({"BaseObject_MakeNewField", table, "D", "Date"});
  const std::string stamp = Cmd({"BaseObject_MakeNewField", table, "S", "DateTime"});
  auto* d = dynamic_cast<api::ZDK_Date*>(api::FindField(std::stoi(date)));
  auto* s = dynamic_cast<api::ZDK_DateTime*>(api::FindField(std::stoi(stamp)));
  ASSERT_NE(d, nullptr);
  ASSERT_NE(s, nullptr);
  d->SetDate(2004, 2, 29);
  EXPECT_EQ(Cmd({"Field_GetValue", date}), "02/29/2004");
  int32_t year = 0;
  uint32_t month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
  d->GetDate(year, month, day);
  EXPECT_EQ(year * 10000 + int32_t(month * 100 + day), 20040229);
  s->SetDate(1999, 12, 31);
  s->SetTime(23, 59, 58);
  EXPECT_EQ(Cmd({"Field_GetValue", stamp}), "12/31/1999 23:59:58");
  s->GetTime(hours, minutes, seconds);
  s->GetDate(year, month, day);
  EXPECT_EQ(hours * 10000 + minutes * 100 + seconds, 235958u);
  EXPECT_EQ(year * 10000 + int32_t(month * 100 + day), 19991231);
  // The wrapper of a retyped field is one of the new type, under the same handle.
  ASSERT_EQ(Cmd({"BaseObject_ChangeFieldType", table, "D", "String", "20"}), "");
  EXPECT_NE(dynamic_cast<api::ZDK_String*>(api::FindField(std::stoi(date))), nullptr);
  EXPECT_EQ(Cmd({"Field_GetType", date}), "String");
}
