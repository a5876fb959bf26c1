// Every syntax error of every statement, and the rules of the first word.
// A refused statement changes nothing.
#include <string>
#include <vector>

#include "tests/sql/statements/statement_fixture.h"

namespace {

class StatementErrors : public ztest::StatementTest {
 protected:
  void SetUp() override {
    StatementTest::SetUp();
    Create();
    Exec("CREATE TABLE person (id Long UNIQUE, name String(20), city VarChar(100), photo BLOB)");
    Exec("CREATE TABLE town (name String(30), mayor ObjectPtr REFERENCES person)");
    Exec("INSERT INTO person VALUES (1, 'Ann', 'Oslo', NULL)");
  }
};

struct Case {
  const char* text;
  int code;
};

const Case kCases[] = {
    // INSERT
    {"INSERT person VALUES (2)", 607},
    {"INSERT INTO nosuch VALUES (2)", 602},
    {"INSERT INTO VALUES (2)", 602},
    {"INSERT INTO sysItem VALUES (2)", 602},
    {"INSERT INTO person (id, ) VALUES (2)", 603},
    {"INSERT INTO person (zz) VALUES (2)", 603},
    {"INSERT INTO person (id name) VALUES (2)", 618},
    {"INSERT INTO person (id", 608},
    {"INSERT INTO person (id) VALUS (2)", 623},
    {"INSERT INTO person VALUES 2", 607},
    {"INSERT INTO person VALUES (2 3)", 618},
    {"INSERT INTO person VALUES (2,)", 628},
    {"INSERT INTO person VALUES ()", 628},
    {"INSERT INTO person VALUES (:)", 628},
    {"INSERT INTO person VALUES (2", 608},
    {"INSERT INTO person VALUES (:2)", 619},
    {"INSERT INTO person VALUES (:0)", 619},
    {"INSERT INTO person VALUES ('abc)", 604},
    {"INSERT INTO person VALUES (2) x", 604},
    {"INSERT INTO person VALUES (2);;", 604},
    // UPDATE
    {"UPDATE", 607},
    {"UPDATE nosuch SET id = 2", 602},
    {"UPDATE person id = 2", 607},
    {"UPDATE person SET zz = 2", 603},
    {"UPDATE person SET id = 2,", 603},
    {"UPDATE person SET id 2", 625},
    {"UPDATE person SET id =", 628},
    {"UPDATE person SET id = 2 WHERE", 609},
    {"UPDATE person SET id = 2 WHERE ;", 609},
    {"UPDATE person SET id = 2 junk", 604},
    {"UPDATE person SET id = 2 WHERE id = :2", 619},
    {"UPDATE person SET id = 2 WHERE id = :0", 619},
    {"UPDATE person SET name = :1 WHERE name LIKE :2", 619},
    // DELETE
    {"DELETE person", 601},
    {"DELETE FROM", 602},
    {"DELETE FROM nosuch", 602},
    {"DELETE FROM person x", 604},
    {"DELETE FROM person WHERE", 609},
    {"DELETE FROM person WHERE id IN (1, :2)", 619},
    {"DELETE FROM person WHERE id BETWEEN :0 AND :1", 619},
    {"DELETE FROM person WHERE id = :1 OR id IN (SELECT id FROM person WHERE name = :2)", 619},
    {"INSERT INTO person SELECT id FROM person WHERE id = :2", 619},
    // CREATE
    {"CREATE t (a Long)", 620},
    {"CREATE TABLE", 602},
    {"CREATE TABLE (a Long)", 602},
    {"CREATE TABLE t x", 607},
    {"CREATE TABLE t (a Long b Long)", 618},
    {"CREATE TABLE t (a Long", 608},
    {"CREATE TABLE t (a Long) x", 604},
    {"CREATE TABLE t (, a Long)", 603},
    {"CREATE TABLE t (a Nosuch)", 610},
    {"CREATE TABLE t (a)", 610},
    {"CREATE TABLE t (a String())", 627},
    {"CREATE TABLE t (a String(x))", 627},
    {"CREATE TABLE t (a String(-1))", 627},
    {"CREATE TABLE t (a Long(4, English))", 604},
    {"CREATE TABLE t (a String(4,))", 604},
    {"CREATE TABLE t (a String(4 x))", 608},
    {"CREATE TABLE t (a Long METHOD id)", 607},
    {"CREATE TABLE t (a Long METHOD (id + (1))", 608},
    {"CREATE TABLE t (a Long METHOD (id + ')'", 608},
    {"CREATE TABLE t (a Long NOT)", 606},
    {"CREATE TABLE t (a Long NOT NUL)", 606},
    {"CREATE TABLE t (a Long REFERENCES person)", 610},
    {"CREATE TABLE t (a ObjectPtr REFERENCES nosuch)", 602},
    {"CREATE TABLE t (a ObjectPtr(nosuch))", 602},
    {"CREATE TABLE t (a ObjectPtr REFERENCES person ON DELETE SET)", 606},
    {"CREATE TABLE t (a ObjectPtr REFERENCES person ON DELETE nothing)", 604},
    {"CREATE TABLE t (a ObjectPtr REFERENCES person ON x)", 604},
    {"CREATE TABLE t (a Long, b String(5) words, c Nosuch)", 610},
    // ALTER
    {"ALTER person ADD a Long", 620},
    {"ALTER TABLE nosuch DROP id", 602},
    {"ALTER TABLE person DROP zz", 603},
    {"ALTER TABLE person DROP id x", 604},
    {"ALTER TABLE person ADD a Nosuch", 610},
    {"ALTER TABLE person RENAME x", 604},
    // DROP
    {"DROP person", 620},
    {"DROP TABLE nosuch", 602},
    {"DROP TABLE sysItem", 602},
    {"DROP TABLE person x", 604},
    // CONVERT
    {"CONVERT town.name = person.name INTO mayor", 604},
    {"CONVERT RDBLINK nosuch.name = person.name INTO mayor", 602},
    {"CONVERT RDBLINK town name = person.name INTO mayor", 626},
    {"CONVERT RDBLINK town.zz = person.name INTO mayor", 603},
    {"CONVERT RDBLINK town.name person.name INTO mayor", 625},
    {"CONVERT RDBLINK town.name = nosuch.name INTO mayor", 602},
    {"CONVERT RDBLINK town.name = person name INTO mayor", 626},
    {"CONVERT RDBLINK town.name = person.zz INTO mayor", 603},
    {"CONVERT RDBLINK town.name = person.name mayor", 607},
    {"CONVERT RDBLINK town.name = person.name INTO person.mayor", 602},
    {"CONVERT RDBLINK town.name = person.name INTO zz", 603},
    {"CONVERT RDBLINK town.name = person.name INTO name", 610},
    {"CONVERT RDBLINK town.name = town.name INTO mayor", 610},
    {"CONVERT RDBLINK town.name = person.name INTO mayor x", 604},
    // REINDEX, DIAGNOSE, COMPACT, DEFRAGMENT
    {"REINDEX", 604},
    {"REINDEX INDEX", 604},
    {"REINDEX DATABASE x", 604},
    {"REINDEX TABLE nosuch", 602},
    {"REINDEX FIELD nosuch.id", 602},
    {"REINDEX FIELD person id", 626},
    {"REINDEX FIELD person.zz", 603},
    {"DIAGNOSE", 604},
    {"DIAGNOSE TABLE nosuch", 602},
    {"DIAGNOSE FIELD person", 626},
    {"DIAGNOSE FIELD person.zz", 603},
    {"COMPACT x", 604},
    {"DEFRAGMENT now", 604},
};

TEST_F(StatementErrors, EachSyntaxErrorRaisesItsCodeAndChangesNothing) {
  const std::string schema = Describe();
  const ztest::Rows people = Contents("person");
  const std::vector<SQL_Param> one = {{"7"}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Code(c.text, one), c.code) << c.text;
    ASSERT_EQ(Describe(), schema) << c.text;
    ASSERT_EQ(Contents("person"), people) << c.text;
  }
  EXPECT_EQ(Contents("town").size(), 0u);
}

TEST_F(StatementErrors, TheFirstWordMustStandAloneAndOthersRunNothing) {
  const std::vector<std::string> nothing = {"INSERTX INTO person VALUES (2)",
                                            "insert_ INTO person VALUES (2)",
                                            "insert2 INTO person VALUES (2)",
                                            "SELECT * FROM person",
                                            "",
                                            "   ",
                                            "hello world",
                                            "DROPTABLE person"};
  for (const std::string& text : nothing) {
    EXPECT_EQ(Exec(text), 0u) << text;
    EXPECT_EQ(Contents("person").size(), 1u) << text;
    EXPECT_NE(mDb->FindBaseObject("person"), nullptr) << text;
  }
  // A NUL byte does not end the text.
  using namespace std::string_literals;
  EXPECT_EQ(Code("INSERT INTO person VALUES (2)\0; DROP TABLE person"s), 604);
  EXPECT_EQ(Code("CREATE TABLE t\0(a Long)"s), 607);
  EXPECT_EQ(Contents("person").size(), 1u);
  // Letter case, leading blanks and line breaks, one ";" and blanks after it.
  Exec(" \r\n\tiNsErT into PERSON values (2) ;  \n");
  Exec("insert into [person] (id)values(3);");
  EXPECT_EQ(Contents("person").size(), 3u);
}

}  // namespace
