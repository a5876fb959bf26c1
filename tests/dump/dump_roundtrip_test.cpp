// Dumps read back: an SQL dump run statement by statement through the
// executor, and (xml_load) an XML dump loaded into a new database, each
// giving the same schema and records.
#include <filesystem>

#include "dump/xml_load.h"
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
  // Byte values go in the multi-line hexadecimal form: one pair, a full
  // line, several lines, empty and null values.
  OBL_BaseObject& bytes = mDb->MakeNewBaseObject("Bytes");
  AddField(bytes, "Fixed", kTypeFixedBinary, 8, kFieldNullable);
  AddField(bytes, "Var", kTypeVarBinary, 40, kFieldNullable);
  AddField(bytes, "Blob", kTypeBLOB, 0, kFieldNullable);
  AddField(bytes, "Photo", kTypePicture, 0, kFieldNullable);
  AddPerson(bytes, {}, {"AB", std::string("\0\x01\xFF\n", 4), std::string(35, 'x'), "\n"});
  AddPerson(bytes, {}, {"NULL", "NULL", "NULL", "NULL"});
  AddPerson(bytes, {}, {"", "\x10", "0123456789ABCDEF", ""});
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
  // Type 29 has a name but no field class, so no dump holds one.
  EXPECT_EQ(ztest::ErrorCode([&] { SQL_Execute(*mDb, "CREATE TABLE L (x LDouble)"); }),
            ERR_CANNOT_CREATE_FIELD);
}

// The schema without the relations, which dumps do not carry.
std::string WithoutRelations(const std::string& schema) {
  std::string out;
  size_t at = 0;
  while (at < schema.size()) {
    const size_t end = schema.find('\n', at) + 1;
    if (schema.compare(at, 9, "relation ") != 0) out += schema.substr(at, end - at);
    at = end;
  }
  return out;
}

TEST_F(DumpRoundTrip, XmlDumpLoadsBackIntoTheSameSchemaAndRecords) {
  MakeEveryType();
  OBL_BaseObject& odd = mDb->MakeNewBaseObject("a \"b\" <c> & 'd'");
  AddField(odd, "tab\there", kTypeString, 30, kFieldNullable);
  AddField(odd, "caf\xE9\nx", kTypeVarChar, 60, kFieldNullable | kFieldUnique);
  AddPointer(odd, "Self", odd, OBL_DeletionControl::kRestrict);
  Add(odd, {"\r\n<&>\"'\\ ]]>", "\x01\x02ctl\x7F\xFF", "0"});
  Add(odd, {"second", "", "1"});
  OBL_BaseObject& people = Table("People");
  mDb->MakeBinRelation("Visits", people, 2, OBL_DeletionControl::kSetNull, Table("Cities"), 2,
                       OBL_DeletionControl::kSetNull);
  const std::string path = mDir.File("dump.xml");
  mDb->Dump(path, 2);
  const std::string lint = ztest::XmlLint(path);
  EXPECT_TRUE(lint.empty() || lint == "skip") << lint;
  const std::string before = WithoutRelations(Describe());
  const ztest::Rows rows = Contents(*mDb);

  mDb.reset();
  mDb = std::make_unique<OBL_DataBase>();
  mDb->LoadDump(path, 2, mDir.File("copy"));
  ASSERT_TRUE(mDb->IsOpen());
  EXPECT_EQ(Describe(), before);
  EXPECT_EQ(Contents(*mDb), rows);
}

// A document loaded into a new database (made: the database is created)
// or into an open one; what the failure must say and leave.
struct BadDocument {
  const char* mWhat;
  std::string mText;
  int32_t mCode;  // 0: any code of expat's
  const char* mSays;
};

TEST_F(DumpRoundTrip, BadDocumentsFailWithLineAndPositionAndLeaveNoTemporaryFields) {
  MakeEveryType();
  const std::string path = mDir.File("dump.xml");
  mDb->Dump(path, 2);
  const std::string good = ztest::ReadFileText(path);
  const size_t data = good.find("<DatabaseData>");
  const size_t record = good.find("<Record>", good.find("BaseObjectData Name=\"People\""));
  ASSERT_NE(record, std::string::npos);
  const std::string head = good.substr(0, good.find("<Database "));
  std::string deep = "<Database>";
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  const std::vector<BadDocument> cases = {
      {"truncated in the records", good.substr(0, record + 20), 0, ", line: "},
      {"truncated after the schema", good.substr(0, data + 5), 0, ", line: "},
      {"empty", "", 0, "no element found, line: 1, position 0"},
      {"not XML", "hello", 0, "syntax error, line: 1, position 0"},
      {"mismatched tag", head + "<Database Name=\"x\"><DatabaseDesc></Database>", 0,
       "mismatched tag"},
      {"data for a table not described",
       head + "<Database><DatabaseDesc><DatabaseMode>4</DatabaseMode><DatabaseSegment>8192"
              "</DatabaseSegment></DatabaseDesc>\n<DatabaseData>\n<BaseObjectData Name=\"Nope\">",
       ERR_PARSER, "not described: Nope, line: "},
      {"field description without a name",
       "<Database><DatabaseDesc><DatabaseSegment>8192</DatabaseSegment>"
       "<BaseObjectDesc Name=\"T\"><FieldDesc>",
       ERR_PARSER, "FieldDesc without a Name"},
      {"entity expansion",
       "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
       "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><d>&b;</d>",
       ERR_PARSER, "entity declarations are not accepted"},
      {"deep nesting", deep, ERR_PARSER, "nest too deep"},
  };
  const std::string bad = mDir.File("bad.xml");
  for (const BadDocument& c : cases) {
    for (bool intoNew : {true, false}) {
      SCOPED_TRACE(std::string(c.mWhat) + (intoNew ? " (new database)" : " (open database)"));
      ztest::WriteFileText(bad, c.mText);
      OBL_DataBase target;
      const std::string made = mDir.File(intoNew ? "made" : "open");
      if (!intoNew) target.Create(made, 8192, 4, FBL_ByteOrder::kDefault);
      std::string message;
      int32_t code = 0;
      try {
        target.LoadDump(bad, 2, made);
      } catch (const xFBL_Exception& e) {
        code = e.Code;
        message = e.what();
      }
      EXPECT_NE(code, 0);
      if (c.mCode != 0) {
        EXPECT_EQ(code, c.mCode);
      }
      EXPECT_NE(message.find(c.mSays), std::string::npos) << message;
      EXPECT_NE(message.find(", position "), std::string::npos) << message;
      if (intoNew) {
        EXPECT_FALSE(target.IsOpen());
        for (const char* ext : {"", ".vdb", ".dat", ".ind", ".blb", ".jnl"}) {
          EXPECT_FALSE(std::filesystem::exists(made + ext)) << ext;
        }
      } else {
        ASSERT_TRUE(target.IsOpen());
        const std::string schema = ztest::DescribeSchema(target);
        EXPECT_EQ(schema.find("_RDB_"), std::string::npos) << schema;
        target.Close();
        for (const char* ext : {".vdb", ".dat", ".ind", ".blb", ".jnl"})
          std::filesystem::remove(made + ext);
      }
    }
  }
}

TEST_F(DumpRoundTrip, AHugeAttributeIsRefusedWithinTheParsersMemory) {
  Create();
  const std::string path = mDir.File("huge.xml");
  ztest::WriteFileText(path, "<Database Name=\"" + std::string(8u << 20, 'n') + "\"></Database>");
  OBL_DumpXMLParser::Limits limits;
  limits.mParserMemory = 1u << 20;
  OBL_DumpXMLParser reader(path, "", limits);
  std::string message;
  try {
    reader.Load(*mDb);
  } catch (const xFBL_Exception& e) {
    message = e.what();
  }
  EXPECT_NE(message.find("out of memory, line: 1"), std::string::npos) << message;
}

}  // namespace
