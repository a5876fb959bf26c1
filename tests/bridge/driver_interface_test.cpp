// The database-driver interface as a host's database layer sees it: the
// library reached only through dlopen and the public header.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_dir.h"
#include "zorvane/dbdriver.h"

namespace {

// The library's entry points, looked up by name.
struct Library {
  void* handle = nullptr;
  template <typename F>
  F* Get(const char* name) {
    return reinterpret_cast<F*>(dlsym(handle, name));
  }
#define ZV_ENTRY(name) decltype(&::name) name = nullptr
  ZV_ENTRY(newdbconnectionref);
  ZV_ENTRY(releasedbconnectionref);
  ZV_ENTRY(setidcounterref);
  ZV_ENTRY(ZREVDB_Init);
  ZV_ENTRY(ZREVDB_Connect);
  ZV_ENTRY(ZREVDB_DBClose);
  ZV_ENTRY(ZREVDB_SQLSelect);
  ZV_ENTRY(ZREVDB_SQLExecute);
  ZV_ENTRY(ZREVDB_RemoveCursor);
  ZV_ENTRY(ZREVDB_GetRecordCount);
  ZV_ENTRY(ZREVDB_GoToRecord);
  ZV_ENTRY(ZREVDB_GetPosition);
  ZV_ENTRY(ZREVDB_NextRecord);
  ZV_ENTRY(ZREVDB_GetFieldType);
  ZV_ENTRY(ZREVDB_GetFieldName);
  ZV_ENTRY(ZREVDB_GetData);
  ZV_ENTRY(ZREVDB_GetTableRef);
  ZV_ENTRY(ZREVDB_GetError);
  ZV_ENTRY(Zorvane);
  ZV_ENTRY(getXtable);
#undef ZV_ENTRY

  Library() {
    handle = dlopen(ZORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
#define ZV_LOOKUP(name) name = Get<std::remove_pointer_t<decltype(name)>>(#name)
    ZV_LOOKUP(newdbconnectionref);
    ZV_LOOKUP(releasedbconnectionref);
    ZV_LOOKUP(setidcounterref);
    ZV_LOOKUP(ZREVDB_Init);
    ZV_LOOKUP(ZREVDB_Connect);
    ZV_LOOKUP(ZREVDB_DBClose);
    ZV_LOOKUP(ZREVDB_SQLSelect);
    ZV_LOOKUP(ZREVDB_SQLExecute);
    ZV_LOOKUP(ZREVDB_RemoveCursor);
    ZV_LOOKUP(ZREVDB_GetRecordCount);
    ZV_LOOKUP(ZREVDB_GoToRecord);
    ZV_LOOKUP(ZREVDB_GetPosition);
    ZV_LOOKUP(ZREVDB_NextRecord);
    ZV_LOOKUP(ZREVDB_GetFieldType);
    ZV_LOOKUP(ZREVDB_GetFieldName);
    ZV_LOOKUP(ZREVDB_GetData);
    ZV_LOOKUP(ZREVDB_GetTableRef);
    ZV_LOOKUP(ZREVDB_GetError);
    ZV_LOOKUP(Zorvane);
    ZV_LOOKUP(getXtable);
#undef ZV_LOOKUP
  }

  // A command of the external interface; its result text.
  std::string Command(std::vector<std::string> words) {
    ZorvaneReleaseFn release = nullptr;
    getXtable(nullptr, nullptr, nullptr, nullptr, &release);
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    char* result = nullptr;
    Zorvane(args.data(), static_cast<int>(args.size()), &result, nullptr, nullptr);
    std::string text = result != nullptr ? result : "";
    release(result);
    return text;
  }

  std::string Error() {
    char text[ZREVDB_ERROR_BUFFER];
    std::memset(text, 'x', sizeof text);
    ZREVDB_GetError(text);
    return text;
  }
};

Library& Lib() {
  static Library library;
  return library;
}

BindValue Bind(const std::string& bytes) {
  return BindValue{bytes.data(), static_cast<uint32_t>(bytes.size()), 0};
}

std::string Data(DBCursor& cursor, uint16_t field) {
  uint32_t length = 0;
  const char* data = cursor.GetFieldData(field, &length);
  return std::string(data, length);
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Lib().handle, nullptr) << dlerror();
    Lib().setidcounterref(&mIdCounter);
    mPath = mDir.File("driver.vdb");
    ASSERT_EQ(Lib().Command({"Init"}), "");
    const std::string db = Lib().Command({"Database_Create", mPath});
    ASSERT_EQ(Lib().Command({"Database_Close", db}), "");
    mConnection = Lib().newdbconnectionref();
    ASSERT_NE(mConnection, nullptr);
    EXPECT_EQ(mConnection->GetId(), mIdCounter);
    std::vector<std::string> words = {"", mPath, "", "", "1000000"};
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    ASSERT_TRUE(mConnection->Connect(args.data(), static_cast<int32_t>(args.size())))
        << mConnection->GetErrorMessage();
    EXPECT_TRUE(mConnection->IsConnected());
    EXPECT_EQ(mConnection->GetConnectionType(), ZREVDB_CONNECTION_TYPE);
    EXPECT_STREQ(mConnection->GetDriverName(), "zorvane");
  }
  void TearDown() override {
    if (mConnection != nullptr) {
      EXPECT_TRUE(Lib().releasedbconnectionref(mConnection));
    }
  }

  void Exec(const std::string& text, std::vector<BindValue> binds = {}) {
    uint32_t affected = 99;
    ASSERT_TRUE(mConnection->SqlExecute(text.c_str(), binds.data(),
                                        static_cast<int32_t>(binds.size()), &affected))
        << text << ": " << mConnection->GetErrorMessage();
  }
  DBCursor* Query(const std::string& text, std::vector<BindValue> binds = {}, bool noLimit = true) {
    return mConnection->SqlQuery(text.c_str(), binds.data(), static_cast<int32_t>(binds.size()),
                                 noLimit);
  }

  int32_t mIdCounter = 100;
  ztest::TempDir mDir;
  std::string mPath;
  DBConnection* mConnection = nullptr;
};

// Every value goes in as a bind and is found again by a bound query: the
// bytes are the value, never text of the statement.
TEST_F(DriverTest, BindsAreValuesInStatementsAndQueries) {
  Exec("CREATE TABLE t (k Long, s VarChar(100), b BLOB, x Text)");
  const std::string megabyte = [] {
    std::string text(1 << 20, 'm');
    for (size_t i = 0; i < text.size(); i += 997) text[i] = static_cast<char>('a' + i % 26);
    return text;
  }();
  struct Case {
    std::string s;
    std::string blob;
  };
  const std::vector<Case> cases = {
      {"O'Hara", std::string("\0\1\2'\0", 5)},
      {"back\\slash\\'", "\\"},
      {":1 and :2 and :", ":1"},
      {"plain", megabyte},
      {"", std::string(3, '\0')},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string k = std::to_string(i + 1);
    Exec("INSERT INTO t VALUES (:1, :2, :3, :4)",
         {Bind(k), Bind(cases[i].s), Bind(cases[i].blob), Bind(cases[i].blob)});
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].s);
    DBCursor* cursor = Query("SELECT k, s, b, x FROM t WHERE s = :1 AND k = :2",
                             {Bind(cases[i].s), Bind(std::to_string(i + 1))});
    ASSERT_NE(cursor, nullptr) << mConnection->GetErrorMessage();
    ASSERT_EQ(cursor->GetRecordCount(), 1u);
    EXPECT_EQ(Data(*cursor, 1), std::to_string(i + 1));
    EXPECT_EQ(Data(*cursor, 2), cases[i].s);
    EXPECT_EQ(Data(*cursor, 3), cases[i].blob);
    EXPECT_EQ(Data(*cursor, 4), cases[i].blob);
    EXPECT_TRUE(mConnection->DeleteCursor(cursor->GetId()));
  }
  // A long value comes back whole, or cut at the data limit when asked.
  DBCursor* limited = Query("SELECT x FROM t WHERE k = 4", {}, false);
  ASSERT_NE(limited, nullptr);
  EXPECT_EQ(Data(*limited, 1), megabyte.substr(0, 64001));

  // The injection finds nothing; a :N beyond the binds stays as written.
  DBCursor* injected = Query("SELECT k FROM t WHERE s = :1", {Bind("x' OR '1'='1")});
  ASSERT_NE(injected, nullptr) << mConnection->GetErrorMessage();
  EXPECT_EQ(injected->GetRecordCount(), 0u);
  EXPECT_EQ(Query("SELECT k FROM t WHERE s = :2", {Bind("plain")}), nullptr);
  EXPECT_TRUE(mConnection->IsError());

  // A zero byte in a text value is refused, never cut.
  uint32_t affected = 0;
  const std::string zero("a\0b", 3);
  const std::string nine = "9";
  std::vector<BindValue> binds = {Bind(nine), Bind(zero)};
  EXPECT_FALSE(mConnection->SqlExecute("INSERT INTO t (k, s) VALUES (:1, :2)", binds.data(), 2,
                                       &affected));
  EXPECT_STREQ(mConnection->GetErrorMessage(), "A zero byte cannot be stored in this field");
  EXPECT_EQ(Query("SELECT k FROM t WHERE s = :1", {Bind(zero)}), nullptr);
  EXPECT_STREQ(mConnection->GetErrorMessage(), "A query bind value holds a zero byte");
  EXPECT_EQ(mConnection->CountCursors(), 2);
  DBCursor* all = Query("SELECT k FROM t");
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->GetRecordCount(), cases.size());
}

// Each field type through the cursor: the host's type number, the field
// length, the text of a value and of a null.
TEST_F(DriverTest, EveryFieldTypeReadsThroughGetData) {
  struct Case {
    const char* declaration;
    const char* literal;
    int32_t hostType;
    uint32_t length;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"Boolean", "1", 3, 32, "1"},
      {"Byte", "200", 13, 32, "200"},
      {"Short", "-300", 13, 32, "-300"},
      {"UShort", "60000", 13, 32, "60000"},
      {"Medium", "-70000", 12, 32, "-70000"},
      {"UMedium", "70000", 12, 32, "70000"},
      {"Long", "-2000000000", 16, 32, "-2000000000"},
      {"ULong", "4000000000", 16, 32, "4000000000"},
      {"LLong", "-9000000000", 16, 32, "-9000000000"},
      {"ULLong", "18000000000", 16, 32, "18000000000"},
      {"Float", "1.5", 10, 32, "1.5"},
      {"Double", "-2.25", 11, 32, "-2.25"},
      {"Date", "'12/31/2020'", 7, 8, "12/31/2020"},
      {"Time", "'10:20:30'", 8, 8, "10:20:30"},
      {"DateTime", "'12/31/2020 10:20:30'", 6, 8, "12/31/2020 10:20:30"},
      {"String(20)", "'short'", 3, 20, "short"},
      {"VarChar(1000)", "'longer than the static buffer'", 3, 1000, "longer than the static buffer"},
      {"Text", "'a text'", 5, 0, "a text"},
      {"BLOB", "'a blob'", 5, 0, "a blob"},
  };
  std::string create = "CREATE TABLE all_types (";
  std::string insert = "INSERT INTO all_types VALUES (";
  for (size_t i = 0; i < cases.size(); ++i) {
    create += (i > 0 ? ", f" : "f") + std::to_string(i) + " " + cases[i].declaration;
    insert += (i > 0 ? ", " : "") + std::string(cases[i].literal);
  }
  Exec(create + ")");
  Exec(insert + ")");
  Exec("INSERT INTO all_types (f0) VALUES (NULL)");
  DBCursor* cursor = Query("SELECT * FROM all_types");
  ASSERT_NE(cursor, nullptr) << mConnection->GetErrorMessage();
  ASSERT_EQ(cursor->GetFieldCount(), cases.size());
  ASSERT_EQ(cursor->GetRecordCount(), 2u);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].declaration);
    const auto field = static_cast<uint16_t>(i + 1);
    EXPECT_EQ(cursor->GetFieldName(field), "f" + std::to_string(i));
    EXPECT_EQ(cursor->GetFieldType(field), cases[i].hostType);
    EXPECT_EQ(cursor->GetFieldLength(field), cases[i].length);
    EXPECT_FALSE(cursor->GetFieldIsNull(field));
    EXPECT_EQ(Data(*cursor, field), cases[i].text);
  }
  ASSERT_TRUE(cursor->Next());
  for (size_t i = 1; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].declaration);
    const auto field = static_cast<uint16_t>(i + 1);
    EXPECT_TRUE(cursor->GetFieldIsNull(field));
    EXPECT_EQ(Data(*cursor, field), "");
  }
  // No such field: 525 and its text.
  EXPECT_STREQ(cursor->GetFieldName(0), "");
  EXPECT_EQ(Lib().Error(), "Expected field not found");
  EXPECT_EQ(Data(*cursor, static_cast<uint16_t>(cases.size() + 1)), "");
}

// Moves of a query's cursor, the positions the host sees, and the flat
// cursor calls.
TEST_F(DriverTest, CursorsWalkAndReportTheirPosition) {
  Exec("CREATE TABLE n (v Long)");
  for (int v = 1; v <= 5; ++v) Exec("INSERT INTO n VALUES (" + std::to_string(v) + ")");
  DBCursor* cursor = Query("SELECT v FROM n");
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->GetConnection(), mConnection);
  EXPECT_EQ(mConnection->FindCursor(cursor->GetId()), cursor);
  EXPECT_EQ(mConnection->GetCursorAt(0), cursor);
  EXPECT_EQ(mConnection->GetCursorAt(1), nullptr);
  EXPECT_TRUE(cursor->IsAttached());
  std::string seen;
  for (cursor->First(); !cursor->IsEOF(); cursor->Next()) {
    seen += Data(*cursor, 1);
    EXPECT_EQ(cursor->GetRecordNumber(), static_cast<uint32_t>(seen.size()));
  }
  EXPECT_EQ(seen, "12345");
  EXPECT_FALSE(cursor->IsBOF());
  cursor->Last();
  EXPECT_EQ(Data(*cursor, 1), "5");
  EXPECT_FALSE(cursor->IsEOF());
  cursor->First();
  cursor->Prev();
  EXPECT_TRUE(cursor->IsBOF());
  cursor->Close();
  EXPECT_FALSE(cursor->IsAttached());
  cursor->Close();
  EXPECT_EQ(cursor->GetRecordCount(), 0u);
  EXPECT_FALSE(cursor->Next());
  EXPECT_EQ(Lib().Error(), "Wrong CursorRef");

}

// Table names by the two calls of the buffer protocol, error texts, and
// objects used after their release.
TEST_F(DriverTest, TableNamesErrorsAndReleases) {
  uint32_t size = 0;
  ASSERT_TRUE(mConnection->GetTableNames(nullptr, &size));
  EXPECT_EQ(size, 1u);
  Exec("CREATE TABLE alpha (a Long)");
  Exec("CREATE TABLE beta_table (b Long)");
  ASSERT_TRUE(mConnection->GetTableNames(nullptr, &size));
  ASSERT_EQ(size, 17u);
  std::vector<char> names(size, 'x');
  uint32_t small = size - 1;
  EXPECT_FALSE(mConnection->GetTableNames(names.data(), &small));
  EXPECT_EQ(small, size);
  ASSERT_TRUE(mConnection->GetTableNames(names.data(), &size));
  EXPECT_STREQ(names.data(), "alpha\nbeta_table");

  // Errors keep the standard text of their code.
  EXPECT_EQ(Query("SELECT a FROM nowhere"), nullptr);
  EXPECT_TRUE(mConnection->IsError());
  EXPECT_STREQ(mConnection->GetErrorMessage(), "Table Not Found");
  Exec("INSERT INTO alpha VALUES (1)");
  EXPECT_FALSE(mConnection->IsError());
  EXPECT_STREQ(mConnection->GetErrorMessage(), "");

  // A connect that fails outside the engine's codes names its reason.
  DBConnection* other = Lib().newdbconnectionref();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->GetId(), mIdCounter);
  std::string missing = mDir.File("missing/none.vdb");
  std::vector<char*> args = {nullptr, missing.data()};
  std::string empty;
  args[0] = empty.data();
  EXPECT_FALSE(other->Connect(args.data(), 2));
  EXPECT_TRUE(other->IsError());
  EXPECT_NE(std::string(other->GetErrorMessage()), "");
  EXPECT_EQ(other->SqlQuery("SELECT a FROM alpha", nullptr, 0, true), nullptr);
  EXPECT_TRUE(Lib().releasedbconnectionref(other));
  EXPECT_FALSE(Lib().releasedbconnectionref(other));
  EXPECT_NE(Lib().Error(), "");
  EXPECT_FALSE(Lib().releasedbconnectionref(nullptr));

  // Disconnect with open cursors: they go with it; the database closes.
  ASSERT_NE(Query("SELECT a FROM alpha"), nullptr);
  ASSERT_NE(Query("SELECT b FROM beta_table"), nullptr);
  EXPECT_EQ(mConnection->CountCursors(), 2);
  mConnection->Disconnect();
  EXPECT_EQ(mConnection->CountCursors(), 0);
  EXPECT_FALSE(mConnection->IsConnected());
  mConnection->Disconnect();
  EXPECT_EQ(Query("SELECT a FROM alpha"), nullptr);

  // Flat references of a closed database or a removed cursor are refused.
  ZREVDB_DataBase* db = Lib().ZREVDB_Connect("", "", "", mPath.c_str(), 0);
  ASSERT_NE(db, nullptr) << Lib().Error();
  EXPECT_NE(Lib().ZREVDB_GetTableRef(db, "ALPHA"), nullptr);
  ZREVDB_Cursor* cursor = Lib().ZREVDB_SQLSelect(db, "SELECT a FROM alpha");
  ASSERT_NE(cursor, nullptr) << Lib().Error();
  EXPECT_EQ(Lib().ZREVDB_GetRecordCount(cursor), 1u);
  uint32_t length = 0;
  bool null = true;
  EXPECT_STREQ(Lib().ZREVDB_GetData(cursor, 1, &length, &null), "1");
  EXPECT_FALSE(null);
  Lib().ZREVDB_RemoveCursor(cursor);
  EXPECT_EQ(Lib().Error(), "");
  Lib().ZREVDB_RemoveCursor(cursor);
  EXPECT_EQ(Lib().Error(), "Wrong CursorRef");
  EXPECT_EQ(Lib().ZREVDB_GetData(cursor, 1, &length, &null), nullptr);
  cursor = Lib().ZREVDB_SQLSelect(db, "SELECT a FROM alpha");
  Lib().ZREVDB_DBClose(db);
  EXPECT_EQ(Lib().Error(), "");
  EXPECT_EQ(Lib().ZREVDB_GetRecordCount(cursor), 0u);
  EXPECT_EQ(Lib().Error(), "Wrong CursorRef");
  Lib().ZREVDB_DBClose(db);
  EXPECT_EQ(Lib().Error(), "Wrong dbRef");
}

}  // namespace
