// The SELECT parser: statement texts against a summary of what they parse
// to, one table of error codes, and hostile texts that must end in a code.
#include <gtest/gtest.h>

#include <string>

#include "kernel/tables/field_types.h"
#include "objects/links.h"
#include "objects/rdb_relation.h"
#include "platform/errors.h"
#include "sql/parser/select_parser.h"
#include "tests/objects/object_fixture.h"

namespace {

// person(id, age, score, name, city, home -> town, label = method)
// town(name, zip); trip(from_town -> town, to_town -> town);
// note(text); [Order Lines](from, [select me]).
class SelectParserTest : public ztest::ObjectTest {
 protected:
  void SetUp() override {
    ObjectTest::SetUp();
    Create();
    OBL_BaseObject& town = mDb->MakeNewBaseObject("town");
    AddField(town, "name", kTypeVarChar, 40);
    AddField(town, "zip", kTypeLong);
    OBL_BaseObject& person = mDb->MakeNewBaseObject("person");
    AddField(person, "id", kTypeLong);
    AddField(person, "age", kTypeShort);
    AddField(person, "score", kTypeDouble);
    AddField(person, "name", kTypeString, 20);
    AddField(person, "city", kTypeVarChar, 40);
    AddPointer(person, "home", town, OBL_DeletionControl::kSetNull);
    OBL_FieldSpec label;
    label.mName = "label";
    label.mType = kTypeLong;
    label.mMethodText = "age";
    person.MakeNewField(label);
    OBL_BaseObject& trip = mDb->MakeNewBaseObject("trip");
    AddPointer(trip, "from_town", town, OBL_DeletionControl::kSetNull);
    AddPointer(trip, "to_town", town, OBL_DeletionControl::kSetNull);
    AddField(mDb->MakeNewBaseObject("note"), "text", kTypeVarChar, 40);
    OBL_BaseObject& lines = mDb->MakeNewBaseObject("Order Lines");
    AddField(lines, "from", kTypeLong);
    AddField(lines, "select me", kTypeVarChar, 40);
  }

  // What a statement parses to, or "error N".
  std::string Parse(const std::string& text) {
    OBL_Parser parser(*mDb);
    if (int32_t error = parser.Parse(text)) return "error " + std::to_string(error);
    return Summary(parser.GetStatement());
  }

  static std::string Column(const SQL_SelectStatement& s, uint32_t table, FBL_BaseField* field) {
    if (field == nullptr) return "*";
    return s.GetFromEntry(table)->GetName() + "." + field->GetName();
  }

  static std::string Summary(const SQL_SelectStatement& s) {
    std::string out = "from";
    if (s.IsFromDistinct()) out += " distinct";
    for (uint32_t t = 1; t <= s.GetFromCount(); ++t) {
      const SQL_FromEntry& e = *s.GetFromEntry(t);
      out += (t == 1 ? " " : ",") + e.GetTable().GetName();
      if (e.IsAlias()) out += " as " + e.GetName();
    }
    out += s.IsDistinct() ? "; select distinct" : "; select";
    const char* names[] = {"count", "sum", "avg", "min", "max"};
    for (const SQL_SelectExpr& x : s.GetSelectList()) {
      std::string column = Column(s, x.mTable, x.mField);
      if (x.mDistinct) column = "distinct " + column;
      if (x.mKind != SQL_Token::kField)
        column = std::string(names[static_cast<int>(x.mKind) - 59]) + "(" + column + ")";
      out += " " + column;
    }
    for (const SQL_LInfo& j : s.GetJoinList()) {
      out += "; join " + s.GetFromEntry(j.mTableA)->GetName() + "-" +
             s.GetFromEntry(j.mTableB)->GetName() + " kind " +
             std::to_string(static_cast<int>(j.mKind));
      if (j.mValueJoin) {
        out +=
            " keys " + std::to_string(static_cast<OBL_RdbRelation*>(j.mLink)->GetKeyPairs().size());
      } else {
        out += " link " + j.mLink->GetName();
      }
    }
    if (s.GetCondition() != nullptr) out += "; where " + Describe(s, *s.GetCondition());
    for (const SQL_GroupItem& g : s.GetGroupBy()) out += "; group " + Column(s, g.mTable, g.mField);
    for (const OBL_SortItem& o : s.GetOrderBy()) {
      out += "; order " + std::to_string(o.mColumn) + " " + Column(s, o.mTable, o.mField);
      if (!o.mAscending) out += " desc";
    }
    return out;
  }

  static std::string Describe(const SQL_SelectStatement& s, const SQL_CondNode& c) {
    std::string out = c.mNegated ? "not " : "";
    if (!c.IsLeaf()) {
      return out + "(" + Describe(s, *c.mLeft) + (c.mOp == SQL_CondOp::kAnd ? " and " : " or ") +
             Describe(s, *c.mRight) + ")@" + std::to_string(c.mTable);
    }
    const char* ops[] = {
        "",     "true",  "",        "in",          "",      "=", "<", ">", "<=",       ">=", "<>",
        "like", "regex", "is null", "is not null", "left=", "",  "",  "",  "in select"};
    out += Column(s, c.mTable, c.mField) + " " + ops[static_cast<int>(c.mOp)];
    if (!c.mValue.empty()) out += " '" + c.mValue + "'";
    if (c.mParameter != 0) out += " :" + std::to_string(c.mParameter);
    for (size_t i = 0; i < c.mValues.size(); ++i) {
      const uint32_t n = c.mValueParameters.at(i);
      out += n != 0 ? " :" + std::to_string(n) : " " + c.mValues[i];
    }
    if (c.mOp == SQL_CondOp::kLeftEqual) out += " n" + std::to_string(c.mLength);
    if (c.mOp == SQL_CondOp::kLike || c.mOp == SQL_CondOp::kRegex)
      out += c.mCaseSensitive ? " case" : " no_case";
    if (c.mSubSelect) out += " [" + Summary(*c.mSubSelect) + "]";
    return out;
  }
};

struct Case {
  const char* text;
  const char* summary;
};

TEST_F(SelectParserTest, GrammarFormsParseToTheirStatements) {
  const Case cases[] = {
      // The workload's statements.
      {"SELECT id, age, score, name, city FROM person WHERE id = 42",
       "from person; select person.id person.age person.score person.name person.city; "
       "where person.id = '42'"},
      {"SELECT count(*) FROM person WHERE age BETWEEN 10 AND 14",
       "from person; select count(*); where (person.age >= '10' and person.age <= '14')@1"},
      {"SELECT count(*) FROM person WHERE name >= 'abc' AND name < 'abd'",
       "from person; select count(*); where (person.name >= 'abc' and person.name < 'abd')@1"},
      {"SELECT id FROM person ORDER BY score",
       "from person; select person.id; order 0 person.score"},
      {"SELECT age, count(*), avg(score) FROM person GROUP BY age",
       "from person; select person.age count(*) avg(person.score); group person.age"},
      // Select lists: stars, table stars, DISTINCT and ALL, aggregates.
      {"SELECT * FROM town", "from town; select town.name town.zip"},
      {"SELECT ** FROM note", "from note; select note.text"},
      {"SELECT person.* FROM person WHERE id = 1",
       "from person; select person.id person.age person.score person.name person.city "
       "person.home; where person.id = '1'"},
      {"SELECT person.** FROM person WHERE id = 1",
       "from person; select person.id person.age person.score person.name person.city "
       "person.home person.label; where person.id = '1'"},
      {"SELECT DISTINCT city FROM person", "from person; select distinct person.city"},
      {"SELECT ALL city FROM person", "from person; select person.city"},
      {"SELECT count(DISTINCT city), sum(age), min(DISTINCT score), max(id) FROM person",
       "from person; select count(distinct person.city) sum(person.age) "
       "min(distinct person.score) max(person.id)"},
      {"SELECT DISTINCT person.name FROM DISTINCT person",
       "from distinct person; select distinct person.name"},
      // Conditions.
      {"SELECT id FROM person WHERE NOT age < 3 OR age <> 5 AND city != 'x'",
       "from person; select person.id; "
       "where (not person.age < '3' or (person.age <> '5' and person.city <> 'x')@1)@1"},
      {"SELECT id FROM person WHERE (age > 1 OR age <= 2) AND NOT (score >= 0.5)",
       "from person; select person.id; "
       "where ((person.age > '1' or person.age <= '2')@1 and not person.score >= '0.5')@1"},
      {"SELECT id FROM person WHERE name LIKE 'a%' AND city REGEX '^c' NO_CASE",
       "from person; select person.id; "
       "where (person.name like 'a%' case and person.city regex '^c' no_case)@1"},
      {"SELECT id FROM person WHERE name NOT LIKE 'a%' NO_CASE",
       "from person; select person.id; where not person.name like 'a%' no_case"},
      {"SELECT id FROM person WHERE city IS NULL OR city IS NOT NULL",
       "from person; select person.id; where (person.city is null or person.city is not null)@1"},
      {"SELECT id FROM person WHERE age NOT BETWEEN -1 AND +2.5",
       "from person; select person.id; "
       "where not (person.age >= '-1' and person.age <= '+2.5')@1"},
      {"SELECT id FROM person WHERE age IN (1, 2,3) AND NOT city IN ('a')",
       "from person; select person.id; where (person.age in 1 2 3 and not person.city in a)@1"},
      {"SELECT id FROM person WHERE age NOT IN (1)",
       "from person; select person.id; where not person.age in 1"},
      {"SELECT id FROM person WHERE city IN (SELECT name FROM town WHERE zip > 7)",
       "from person; select person.id; where person.city in select "
       "[from town; select town.name; where town.zip > '7']"},
      {"SELECT id FROM person WHERE LEFT(name, 3) = 'abc'",
       "from person; select person.id; where person.name left= 'abc' n3"},
      // Parameters: a leaf keeps the number; quoted, ":1" is text.
      {"SELECT id FROM person WHERE age = :1 AND name NOT LIKE :2 NO_CASE OR city = ':1'",
       "from person; select person.id; where ((person.age = :1 and not person.name like :2 "
       "no_case)@1 or person.city = ':1')@1"},
      {"SELECT id FROM person WHERE age BETWEEN :1 AND 9 OR id IN (:3, 4,:12, ':5')",
       "from person; select person.id; "
       "where ((person.age >= :1 and person.age <= '9')@1 or person.id in :3 4 :12 :5)@1"},
      {"SELECT id FROM person WHERE LEFT(name, 2) = :7 AND city REGEX :99999999999",
       "from person; select person.id; "
       "where (person.name left= :7 n2 and person.city regex :4294967295 case)@1"},
      {"SELECT id FROM person WHERE city IN (SELECT name FROM town WHERE zip>:2)",
       "from person; select person.id; where person.city in select "
       "[from town; select town.name; where town.zip > :2]"},
      // Joins: a pointer to the target's RecID, relational links merged,
      // outer joins, links added when the WHERE names none.
      {"SELECT person.id, town.name FROM person, town WHERE person.home = town.RecID",
       "from person,town; select person.id town.name; join person-town kind 5 link home"},
      {"SELECT person.id FROM town, person WHERE town.RecID =* person.home AND age > 2",
       "from town,person; select person.id; join town-person kind 17 link home; "
       "where person.age > '2'"},
      {"SELECT note.text FROM note, town WHERE note.text *= town.name",
       "from note,town; select note.text; join note-town kind 16 keys 1"},
      {"SELECT note.text FROM note, town WHERE note.text *=* town.name",
       "from note,town; select note.text; join note-town kind 18 keys 1"},
      {"SELECT person.id FROM person, town WHERE person.city = town.name AND town.zip = "
       "person.id AND age = 1",
       "from person,town; select person.id; join person-town kind 5 keys 2; "
       "where person.age = '1'"},
      {"SELECT person.id FROM person, town",
       "from person,town; select person.id; "
       "join person-town kind 5 link home"},
      {"SELECT person.id FROM person, town ORDER BY 1 DESC, town.name ASC, age",
       "from person,town; select person.id; join person-town kind 5 link home; "
       "order 1 person.id desc; order 0 town.name; order 0 person.age"},
      {"SELECT id, name FROM person ORDER BY name DESC, 1",
       "from person; select person.id person.name; order 2 person.name desc; order 1 person.id"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.text), c.summary) << c.text;
}

TEST_F(SelectParserTest, AliasesQuotesLineBreaksCaseAndBrackets) {
  const Case cases[] = {
      // An alias hides the table's own name.
      {"SELECT p.id FROM person p WHERE p.age = 1",
       "from person as p; select p.id; where p.age = '1'"},
      {"SELECT p.id FROM person AS p, person q WHERE p.id = q.id",
       "from person as p,person as q; select p.id; join p-q kind 5 keys 1"},
      {"SELECT person.id FROM person p", "error 602"},
      // Quotes: doubled quotes and line breaks inside are kept, outside a
      // line break is a blank.
      {"SELECT id\r\nFROM\nperson WHERE city = 'it''s\r\nhere'",
       "from person; select person.id; where person.city = 'it's\r\nhere'"},
      {"SELECT id FROM person WHERE city = \"say \"\"hi\"\"\"",
       "from person; select person.id; where person.city = 'say \"hi\"'"},
      // Keywords and names in any letter case.
      {"select ID from PERSON where CITY like 'x' no_case order by Name desc",
       "from person; select person.id; where person.city like 'x' no_case; "
       "order 0 person.name desc"},
      {"SeLeCt CoUnT(*), AVG(score), Min(age), MAX(age), sum(age) FrOm person",
       "from person; select count(*) avg(person.score) min(person.age) max(person.age) "
       "sum(person.age)"},
      // Names in brackets may hold blanks and keywords.
      {"SELECT [select me], [Order Lines].[from] FROM [Order Lines] WHERE [from] = 2 "
       "ORDER BY [select me]",
       "from Order Lines; select Order Lines.select me Order Lines.from; "
       "where Order Lines.from = '2'; order 1 Order Lines.select me"},
      {"SELECT x.[select me] FROM [Order Lines] x;", "from Order Lines as x; select x.select me"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.text), c.summary) << c.text;
}

TEST_F(SelectParserTest, EveryErrorIsRecordedWithItsCode) {
  struct ErrorCase {
    const char* text;
    int32_t code;
  };
  const ErrorCase cases[] = {
      {"", 600},
      {"UPDATE person SET age = 1", 600},
      {"SELECT id person", 601},
      {"SELECT id FROM", 601},
      {"SELECT id FROM WHERE age = 1", 602},
      {"SELECT id FROM nobody", 602},
      {"SELECT id FROM person, ", 602},
      {"SELECT id FROM person p q", 602},
      {"SELECT nobody.id FROM person", 602},
      {"SELECT nothing FROM person", 603},
      {"SELECT person.nothing FROM person", 603},
      {"SELECT id name FROM person", 603},
      {"SELECT count(age, FROM person", 608},
      {"SELECT sum(*) FROM person", 603},
      {"SELECT id FROM person ORDER BY nothing", 604},
      {"SELECT id FROM person ORDER BY 2", 604},
      {"SELECT id FROM person ORDER BY '1'", 604},
      {"SELECT id FROM person WHERE age = 1 extra", 616},
      {"SELECT id FROM person ORDER BY id id", 604},
      {"SELECT id FROM person WHERE city = 'open", 604},
      {"SELECT id FROM person WHERE [city = 1", 604},
      {"SELECT id FROM person WHERE city IS 1", 606},
      {"SELECT count FROM person", 607},
      {"SELECT id FROM person WHERE age IN 1", 607},
      {"SELECT id FROM person WHERE LEFT name", 607},
      {"SELECT count(* FROM person", 608},
      {"SELECT id FROM person WHERE (age = 1", 608},
      {"SELECT id FROM person WHERE age IN (1", 608},
      {"SELECT id FROM person WHERE age IN (SELECT id FROM person", 608},
      {"SELECT id FROM person WHERE LEFT(name, 2 = 'x'", 608},
      {"SELECT id FROM person WHERE NOT", 609},
      {"SELECT id FROM person WHERE age = 1 AND NOT )", 609},
      {"SELECT id FROM person WHERE age BETWEEN AND 2", 612},
      {"SELECT id FROM person WHERE age BETWEEN 1 AND name", 612},
      {"SELECT id FROM person WHERE age IN (1, id)", 612},
      {"SELECT id FROM person WHERE LEFT(name, x) = 'a'", 612},
      {"SELECT id FROM person WHERE LEFT(name, 2) = id", 612},
      {"SELECT id FROM person WHERE age < id", 613},
      {"SELECT id FROM person WHERE age = id", 613},
      {"SELECT person.id FROM person, town WHERE person.age = town.name", 613},
      {"SELECT person.id FROM person, town WHERE person.age *= 3", 613},
      {"SELECT trip.RecID FROM trip, town", 614},
      {"SELECT person.id FROM person, note", 615},
      {"SELECT person.id FROM person, town, note WHERE person.home = town.RecID", 615},
      {"SELECT id FROM person WHERE", 616},
      {"SELECT id FROM person WHERE age = 1 AND", 616},
      {"SELECT id FROM person WHERE age = 1 OR", 616},
      {"SELECT id FROM person WHERE age", 616},
      {"SELECT id FROM person WHERE age = ", 616},
      {"SELECT id FROM person WHERE 3 = age", 616},
      {"SELECT id FROM person WHERE name LIKE id", 616},
      {"SELECT id FROM person WHERE name NOT = 'a'", 616},
      {"SELECT id FROM person WHERE LEFT(name, 2) < 'a'", 616},
      {"SELECT id, count(*) FROM person", 617},
      {"SELECT id FROM person WHERE age IN (1 2)", 618},
      {"SELECT id FROM person WHERE LEFT(name 2) = 'a'", 618},
      {"SELECT id FROM person WHERE age BETWEEN 1 OR 2", 631},
      {"SELECT id FROM person WHERE age IN (SELECT id, age FROM person)", 632},
      {"SELECT id FROM person WHERE age IN (SELECT * FROM town)", 632},
      {"SELECT id FROM person WHERE age IN (SELECT id FROM nobody)", 602},
      {"SELECT id FROM person WHERE age = :0", 619},
      {"SELECT id FROM person WHERE age IN (1, :00)", 619},
      {"SELECT id FROM person WHERE age = :", 616},
      {"SELECT id FROM person WHERE :1 = age", 616},
      {"SELECT id FROM person WHERE age = :1 :2", 616},
      {"SELECT id FROM person WHERE LEFT(name, :1) = 'a'", 612},
      {"SELECT :1 FROM person", 603},
  };
  for (const ErrorCase& c : cases)
    EXPECT_EQ(Parse(c.text), "error " + std::to_string(c.code)) << c.text;
  EXPECT_STREQ(ErrorText(631), "Expected key word AND");
  EXPECT_STREQ(ErrorText(632), "Sub-select must return one column");
}

TEST_F(SelectParserTest, HostileTextsEndInACodeNotACrash) {
  // A 1 MB statement: a long chain of ORs parses, a long name is no table.
  std::string ors = "SELECT id FROM person WHERE age = 1";
  while (ors.size() < (1u << 20)) ors += " OR age = 1";
  OBL_Parser parser(*mDb);
  EXPECT_EQ(parser.Parse(ors), 0);
  EXPECT_FALSE(parser.GetStatement().GetCondition()->IsLeaf());
  EXPECT_EQ(Parse("SELECT id FROM " + std::string(1u << 20, 'x')), "error 602");
  // Deep nesting stops at the depth limit.
  const std::string deep = std::string(10000, '(') + "age = 1" + std::string(10000, ')');
  EXPECT_EQ(Parse("SELECT id FROM person WHERE " + deep), "error 604");
  std::string nots;
  for (int i = 0; i < 10000; ++i) nots += "NOT ";
  EXPECT_EQ(Parse("SELECT id FROM person WHERE " + nots + "age = 1"), "error 604");
  std::string subs = "SELECT id FROM person WHERE id IN (";
  for (int i = 0; i < 1000; ++i) subs += "SELECT id FROM person WHERE id IN (";
  EXPECT_EQ(Parse(subs), "error 608");
  std::string closed = "SELECT id FROM person WHERE id IN (SELECT id FROM person)";
  for (int i = 0; i < 300; ++i) closed = "SELECT id FROM person WHERE id IN (" + closed + ")";
  EXPECT_EQ(Parse(closed), "error 604");
  // Unterminated quotes and brackets anywhere.
  for (const char* text : {"SELECT 'id FROM person", "SELECT id FROM person WHERE city = \"x",
                           "SELECT [id FROM person", "SELECT id FROM [person"})
    EXPECT_NE(Parse(text).rfind("error 6", 0), std::string::npos) << text;
}

}  // namespace
