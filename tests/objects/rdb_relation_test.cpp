// Relational links: records joined by equal key values, one key pair or
// several, from either side, a null key linking nothing.
#include <gtest/gtest.h>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/field_types.h"
#include "objects/rdb_relation.h"
#include "tests/objects/object_fixture.h"

namespace {

class RdbRelationTest : public ztest::ObjectTest {};

std::string Members(const FBL_BitSet& set) {
  std::string all;
  for (REC_ID r = set.NextMember(0); r != 0; r = set.NextMember(r)) all += std::to_string(r) + ";";
  return all;
}

TEST_F(RdbRelationTest, LinksRecordsWithEqualKeysFromEitherSide) {
  Create();
  OBL_BaseObject& a = mDb->MakeNewBaseObject("A");
  AddField(a, "name", kTypeString, 20);
  AddField(a, "n", kTypeLong);
  OBL_BaseObject& b = mDb->MakeNewBaseObject("B");
  AddField(b, "name", kTypeVarChar, 40, kFieldNullable);
  AddField(b, "n", kTypeLong);
  Add(a, {"x", "1"});  // 1
  Add(a, {"y", "2"});  // 2
  Add(b, {"x", "1"});  // 1
  Add(b, {"x", "2"});  // 2
  Add(b, {"y", "2"});  // 3
  b.GetField("name")->SetNull(true);
  b.GetField("n")->SetString("2");
  b.GetStore().AddRecord();  // 4: null name

  OBL_RdbRelation one(*mDb, a, *a.GetField("name"), b, *b.GetField("name"));
  EXPECT_EQ(Members(*one.LinkedRecords(a, 1, b)), "1;2;");
  EXPECT_EQ(Members(*one.LinkedRecords(b, 3, a)), "2;");
  EXPECT_EQ(Members(*one.LinkedRecords(b, 4, a)), "");
  FBL_BitSet both(2);
  both.Include(1);
  both.Include(2);
  EXPECT_EQ(Members(*one.LinkedRecords(a, both, b)), "1;2;3;");

  OBL_RdbRelationMult two(*mDb, a, b);
  two.AddKeyPair(*a.GetField("name"), *b.GetField("name"));
  two.AddKeyPair(*a.GetField("n"), *b.GetField("n"));
  EXPECT_EQ(two.GetLinkType(), OBL_LinkType::kRdbRelationMult);
  EXPECT_EQ(Members(*two.LinkedRecords(a, 1, b)), "1;");
  EXPECT_EQ(Members(*two.LinkedRecords(b, 3, a)), "2;");
  EXPECT_TRUE(two.IsInternal());
  EXPECT_EQ(two.LinkedRecords(a, 1, a), nullptr);
}

}  // namespace
