// Inheritance chains: a child table's record is one object with its
// parent records, read, written and deleted as one.
#include <gtest/gtest.h>

#include "kernel/tables/field_types.h"
#include "kernel/tables/numeric_fields.h"
#include "tests/objects/object_fixture.h"

namespace {

class InheritanceTest : public ztest::ObjectTest {
 protected:
  // Animal(name) <- Dog(breed) <- Puppy(age); Animal is abstract when asked.
  void MakeChain(bool abstract) {
    Create();
    OBL_BaseObject& animal = mDb->MakeNewBaseObject("Animal", nullptr, 0, abstract);
    AddField(animal, "name", kTypeVarChar, 40, kFieldIndexed);
    OBL_BaseObject& dog = mDb->MakeNewBaseObject("Dog", &animal);
    AddField(dog, "breed", kTypeString, 20);
    OBL_BaseObject& puppy = mDb->MakeNewBaseObject("Puppy", &dog);
    AddField(puppy, "age", kTypeLong);
  }
  std::string Names(const std::string& table) {
    std::string all;
    OBL_BaseObject& t = Table(table);
    for (REC_ID r : Alive(t)) all += Value(t, r, "name") + ";";
    return all;
  }
};

TEST_F(InheritanceTest, ChildRecordsReadAndWriteTheirParentParts) {
  MakeChain(false);
  OBL_BaseObject& puppy = Table("Puppy");
  ASSERT_EQ(puppy.GetFieldCount(), 3u);
  EXPECT_EQ(puppy.GetField(1)->GetName(), "name");
  EXPECT_NE(puppy.GetField("TablePtr"), nullptr);
  Add(puppy, {"rex", "collie", "1"});
  Add(puppy, {"fido", "pug", "2"});
  Add(Table("Dog"), {"max", "boxer"});
  Add(Table("Animal"), {"tom"});
  EXPECT_EQ(Names("Puppy"), "rex;fido;");
  EXPECT_EQ(Names("Dog"), "rex;fido;max;");
  EXPECT_EQ(Names("Animal"), "rex;fido;max;tom;");
  // An update through the child reaches the parent's record.
  ASSERT_TRUE(puppy.GetStore().GoToRecord(2));
  puppy.GetField("name")->SetString("odie");
  puppy.GetField("age")->SetString("3");
  puppy.GetStore().UpdateRecord();
  Reopen();
  EXPECT_EQ(Names("Animal"), "rex;odie;max;tom;");
  EXPECT_EQ(Value(Table("Puppy"), 2, "breed"), "pug");
  EXPECT_EQ(Value(Table("Puppy"), 2, "age"), "3");
  EXPECT_EQ(Table("Puppy").GetParent(), &Table("Dog"));
}

TEST_F(InheritanceTest, DeletionsRemoveWholeObjects) {
  MakeChain(false);
  Add(Table("Puppy"), {"rex", "collie", "1"});
  Add(Table("Puppy"), {"fido", "pug", "2"});
  Add(Table("Dog"), {"max", "boxer"});
  Add(Table("Animal"), {"tom"});
  // Through the child: its parent parts go with it.
  ASSERT_TRUE(Table("Puppy").GetStore().DeleteRecordByID(1));
  EXPECT_EQ(Names("Animal"), "fido;max;tom;");
  EXPECT_EQ(Names("Dog"), "fido;max;");
  // Through the root: the child parts go first.
  const REC_ID fido = 2;
  ASSERT_TRUE(Table("Animal").GetStore().DeleteRecordByID(fido));
  EXPECT_EQ(Names("Puppy"), "");
  EXPECT_EQ(Names("Dog"), "max;");
  Table("Dog").GetStore().DeleteAllRecords();
  EXPECT_EQ(Names("Animal"), "tom;");
}

TEST_F(InheritanceTest, AbstractTableRecordWithoutChildPartIsACorruptedChain) {
  MakeChain(true);
  Add(Table("Dog"), {"max", "boxer"});
  Add(Table("Animal"), {"orphan"});
  EXPECT_EQ(ztest::ErrorCode([&] { Table("Animal").GetStore().DeleteRecordByID(2); }), 523);
  EXPECT_EQ(Names("Animal"), "max;orphan;");
  ASSERT_TRUE(Table("Animal").GetStore().DeleteRecordByID(1));
  EXPECT_EQ(Names("Dog"), "");
  Reopen();
  EXPECT_TRUE(Table("Animal").IsAbstract());
}

TEST_F(InheritanceTest, AFailedChildAddTakesTheParentPartsBack) {
  MakeChain(false);
  OBL_BaseObject& dog = Table("Dog");
  dog.GetField("breed")->AddFlags(kFieldUnique, true);
  Add(dog, {"max", "boxer"});
  EXPECT_EQ(ztest::ErrorCode([&] { Add(dog, {"other", "boxer"}); }), 344);
  EXPECT_EQ(Names("Animal"), "max;");
}

}  // namespace
