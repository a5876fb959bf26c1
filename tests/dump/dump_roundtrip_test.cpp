// Dumps read back: an SQL dump run statement by statement through the
// executor, and (xml_load) an XML dump loaded into a new database, each
// giving the same schema and records.
#include "sql/statements/statement_executor.h"
#include "tests/dump/dump_fixture.h"

namespace {

// The statements of an SQL dump: comment lines and blank lines between
// statements skipped, a statement ending at a ";" outside quotes.
std::vector<std::string> SplitStatements(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote == 0 && current.empty()) {
      if (c == '#') {
        while (i < text.size() && text[i] != '\n') ++i;
        continue;
      }
      if (c == '\n' || c == ' ') continue;
    }
    current += c;
    if (quote != 0) {
      if (c == '\\' && quote == '\'' && i + 1 < text.size()) {
        current += text[++i];
      } else if (c == (quote == '[' ? ']' : quote)) {
        quote = 0;
      }
    } else if (c == '\'' || c == '"' || c == '[') {
      quote = c;
    } else if (c == ';') {
      out.push_back(current);
      current.clear();
    }
  }
  EXPECT_TRUE(current.empty()) << current;
  return out;
}

class DumpRoundTrip : public ztest::DumpTest {};

TEST_F(DumpRoundTrip, SqlDumpRunsBackIntoTheSameSchemaAndRecords) {
  MakeEveryType(false);
  // A table without fields and names that need quoting come back too.
  mDb->MakeNewBaseObject("Bare");
  OBL_BaseObject& odd = mDb->MakeNewBaseObject("odd name");
  AddField(odd, "it's \"x\"", kTypeVarChar, 30, kFieldNullable);
  Add(odd, {"ends in \\"});
  const std::string path = mDir.File("dump.sql");
  mDb->Dump(path, 1);
  const std::string before = Describe();
  const ztest::Rows rows = Contents(*mDb);

  mDb.reset();
  mDb = std::make_unique<OBL_DataBase>();
  mDb->Create(mDir.File("copy"), 8192, 4, FBL_ByteOrder::kDefault);
  for (const std::string& statement : SplitStatements(ztest::ReadFileText(path))) {
    const int code = ztest::ErrorCode([&] { SQL_Execute(*mDb, statement); });
    EXPECT_EQ(code, 0) << statement;
  }
  EXPECT_EQ(Describe(), before);
  EXPECT_EQ(Contents(*mDb), rows);
}

}  // namespace
