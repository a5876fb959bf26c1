// Deletion control through object pointers and binary relations: cascade,
// set null and restrict, one record, a set or all records at once.
#include <gtest/gtest.h>

#include "kernel/sets/array_set.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/bin_relation.h"
#include "objects/delete_records.h"
#include "tests/objects/object_fixture.h"

namespace {

class LinksTest : public ztest::ObjectTest {
 protected:
  // Country <- City.country (cc) <- Street.city (sc); Person.city (pc).
  void MakeTables(OBL_DeletionControl cc, OBL_DeletionControl sc, OBL_DeletionControl pc) {
    Create();
    OBL_BaseObject& country = mDb->MakeNewBaseObject("Country");
    AddField(country, "name", kTypeVarChar, 40);
    OBL_BaseObject& city = mDb->MakeNewBaseObject("City");
    AddField(city, "name", kTypeVarChar, 40);
    AddPointer(city, "country", country, cc);
    OBL_BaseObject& street = mDb->MakeNewBaseObject("Street");
    AddField(street, "name", kTypeVarChar, 40);
    AddPointer(street, "city", city, sc);
    OBL_BaseObject& person = mDb->MakeNewBaseObject("Person");
    AddField(person, "name", kTypeVarChar, 40);
    AddPointer(person, "city", city, pc);
    for (const char* c : {"France", "Spain"}) Add(country, {c});
    Add(city, {"Paris", "1"});
    Add(city, {"Lyon", "1"});
    Add(city, {"Madrid", "2"});
    Add(street, {"Rivoli", "1"});
    Add(street, {"Bellecour", "2"});
    Add(street, {"Gran Via", "3"});
    Add(person, {"Ann", "1"});
    Add(person, {"Bob", "3"});
  }
  std::string Names(const std::string& table, const std::string& field = "name") {
    std::string all;
    OBL_BaseObject& t = Table(table);
    for (REC_ID r : Alive(t)) all += Value(t, r, field) + ";";
    return all;
  }
};

TEST_F(LinksTest, CascadeRunsDownAChainOfThreeTablesAndSurvivesReopen) {
  MakeTables(OBL_DeletionControl::kCascade, OBL_DeletionControl::kCascade,
             OBL_DeletionControl::kSetNull);
  Reopen();
  ASSERT_TRUE(Table("Country").GetStore().DeleteRecordByID(1));
  EXPECT_EQ(Names("City"), "Madrid;");
  EXPECT_EQ(Names("Street"), "Gran Via;");
  EXPECT_EQ(Names("Person", "city"), "0;3;");  // Ann's city went: set null
  // A new country reuses RecID 1: nothing points to it again.
  EXPECT_EQ(Add(Table("Country"), {"Italy"}), 1u);
  uint32_t one = 1;
  EXPECT_TRUE(Table("City").GetField("country")->FindValue(&one)->IsEmpty());
  EXPECT_EQ(Names("Person", "city"), "0;3;");
}

TEST_F(LinksTest, RestrictRefusesTheWholeDeletionWithNothingChanged) {
  MakeTables(OBL_DeletionControl::kCascade, OBL_DeletionControl::kRestrict,
             OBL_DeletionControl::kSetNull);
  // Deleting France cascades to Paris and Lyon, which streets restrict.
  EXPECT_EQ(ztest::ErrorCode([&] { Table("Country").GetStore().DeleteRecordByID(1); }), 502);
  EXPECT_EQ(ztest::ErrorCode([&] { Table("Country").GetStore().DeleteAllRecords(); }), 502);
  EXPECT_EQ(ztest::ErrorCode([&] { Table("City").GetStore().DeleteAllRecords(); }), 502);
  EXPECT_EQ(Names("Country"), "France;Spain;");
  EXPECT_EQ(Names("City"), "Paris;Lyon;Madrid;");
  EXPECT_EQ(Names("Person", "city"), "1;3;");
  // Once the streets go, the cities may go, all at once.
  Table("Street").GetStore().DeleteAllRecords();
  Table("Country").GetStore().DeleteAllRecords();
  EXPECT_EQ(Names("City"), "");
  EXPECT_EQ(Names("Person", "city"), "0;0;");
}

TEST_F(LinksTest, DeletingAllTargetsAtOnceCascadesOrClearsThePointers) {
  MakeTables(OBL_DeletionControl::kCascade, OBL_DeletionControl::kSetNull,
             OBL_DeletionControl::kCascade);
  Add(Table("Person"), {"Cy", "0"});  // points nowhere: stays
  Table("City").GetStore().DeleteAllRecords();
  EXPECT_EQ(Names("Person"), "Cy;");
  EXPECT_EQ(Names("Street", "city"), "0;0;0;");
  EXPECT_EQ(Names("Country"), "France;Spain;");
}

TEST_F(LinksTest, DeleteRecordsReportsItsProgressAndDeletesTheSet) {
  Create();
  OBL_BaseObject& t = mDb->MakeNewBaseObject("T");
  AddField(t, "n", kTypeLong);
  for (int i = 0; i < 250; ++i) Add(t, {std::to_string(i)});
  FBL_ArraySet set;
  for (REC_ID r = 1; r <= 200; ++r) set.Append(r);
  std::vector<uint32_t> steps;
  OBL_DeleteRecords task(t, set, [&](uint32_t step) { steps.push_back(step); }, true);
  ASSERT_TRUE(zv::RunTask(task));
  EXPECT_EQ(task.GetDeleted(), 200u);
  EXPECT_EQ(t.GetStore().GetRecordCount(), 50u);
  ASSERT_EQ(steps.size(), 102u);
  EXPECT_EQ(steps[0], 1u);
  EXPECT_EQ(steps[99], 100u);
  EXPECT_EQ(steps[100], 100u);
  EXPECT_EQ(steps[101], 200u);
}

class RelationTest : public ztest::ObjectTest {
 protected:
  void SetUp() override {
    ObjectTest::SetUp();
    Create();
    for (const char* name : {"Author", "Book"}) {
      OBL_BaseObject& t = mDb->MakeNewBaseObject(name);
      AddField(t, "name", kTypeVarChar, 40);
      for (int i = 1; i <= 4; ++i) Add(t, {std::string(name) + std::to_string(i)});
    }
  }
  OBL_BinRelation& Relation() { return static_cast<OBL_BinRelation&>(*mDb->FindLink("wrote")); }
  std::vector<REC_ID> Linked(const char* from, REC_ID rec, const char* to) {
    std::vector<REC_ID> all;
    auto set = Relation().LinkedRecords(Table(from), rec, Table(to));
    for (REC_ID r = set->NextMember(0); r != 0; r = set->NextMember(r)) all.push_back(r);
    return all;
  }
};

TEST_F(RelationTest, PairsAreFoundFromBothSidesAfterReopen) {
  mDb->MakeBinRelation("wrote", Table("Author"), 2, OBL_DeletionControl::kSetNull, Table("Book"),
                       2, OBL_DeletionControl::kCascade);
  EXPECT_TRUE(Relation().Link(1, 1));
  EXPECT_TRUE(Relation().Link(1, 2));
  EXPECT_TRUE(Relation().Link(2, 2));
  EXPECT_FALSE(Relation().Link(2, 2));
  Reopen();
  EXPECT_EQ(Linked("Author", 1, "Book"), (std::vector<REC_ID>{1, 2}));
  EXPECT_EQ(Linked("Book", 2, "Author"), (std::vector<REC_ID>{1, 2}));
  EXPECT_EQ(Relation().GetPairCount(), 3u);
  EXPECT_EQ(ztest::ErrorCode([&] { mDb->DropLink(Relation()); }), 551);
  // Deleting author 1 cascades to its books; book 2's other pair goes too.
  ASSERT_TRUE(Table("Author").GetStore().DeleteRecordByID(1));
  EXPECT_EQ(Alive(Table("Book")), (std::vector<REC_ID>{3, 4}));
  EXPECT_TRUE(Linked("Author", 2, "Book").empty());
  EXPECT_TRUE(Relation().IsEmpty());
  // A reused RecID starts without pairs.
  EXPECT_EQ(Add(Table("Author"), {"new"}), 1u);
  EXPECT_TRUE(Linked("Author", 1, "Book").empty());
  mDb->DropLink(Relation());
  Reopen();
  EXPECT_EQ(mDb->FindLink("wrote"), nullptr);
}

TEST_F(RelationTest, SetNullTakesOnlyThePairsAndRestrictRefuses) {
  mDb->MakeBinRelation("wrote", Table("Author"), 2, OBL_DeletionControl::kRestrict,
                       Table("Book"), 2, OBL_DeletionControl::kSetNull);
  Relation().Link(1, 1);
  Relation().Link(2, 1);
  ASSERT_TRUE(Table("Author").GetStore().DeleteRecordByID(1));
  EXPECT_EQ(Alive(Table("Book")).size(), 4u);
  EXPECT_EQ(Linked("Book", 1, "Author"), (std::vector<REC_ID>{2}));
  EXPECT_EQ(ztest::ErrorCode([&] { Table("Book").GetStore().DeleteRecordByID(1); }), 502);
  EXPECT_EQ(Relation().GetPairCount(), 1u);
}

TEST_F(RelationTest, ToOneSidesTakeOnePartnerAndARelationHasTwoBranches) {
  mDb->MakeBinRelation("wrote", Table("Author"), kRelToOne, OBL_DeletionControl::kSetNull,
                       Table("Book"), 2, OBL_DeletionControl::kSetNull);
  // Each book has one author; an author many books.
  EXPECT_TRUE(Relation().Link(1, 1));
  EXPECT_TRUE(Relation().Link(1, 2));
  EXPECT_EQ(ztest::ErrorCode([&] { Relation().Link(2, 1); }), 550);
  EXPECT_EQ(Linked("Book", 1, "Author"), (std::vector<REC_ID>{1}));
  EXPECT_EQ(ztest::ErrorCode([&] {
              Relation().AddBranch(Table("Book"), 2, OBL_DeletionControl::kSetNull);
            }),
            307);
}

}  // namespace
