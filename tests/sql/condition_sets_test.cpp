// WHERE conditions into record sets: every leaf operation on indexed and
// scanned columns against a model of the rows, AND, OR and NOT as set
// algebra, two tables with their own sets, and malformed trees.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "sql/conditions/condition_sets.h"
#include "sql/conditions/leaf_search.h"
#include "tests/sql/sql_fixture.h"

namespace {

using ztest::SqlTest;
using Op = SQL_ConditionOp;

struct Row {
  int32_t a;                 // indexed
  int32_t b;                 // not indexed
  std::string s;             // indexed String
  std::string v;             // VarChar, not indexed
  std::string t;             // Text
  std::optional<int32_t> n;  // nullable, indexed
};

using Node = std::unique_ptr<SQL_Condition>;

class ConditionTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    CreateDb();
    MakeNamedTable({{"a", kTypeLong, kFieldIndexed},
                    {"b", kTypeLong},
                    {"s", kTypeString, kFieldIndexed, 12},
                    {"v", kTypeVarChar, 0, 20},
                    {"t", kTypeText},
                    {"n", kTypeLong, kFieldNullable | kFieldIndexed},
                    {"c", kTypeLong, kFieldIndexed, 0, "a + b"},
                    {"id", kTypeRecID}});
    std::mt19937 random(7);
    const char* words[] = {"apple", "Apple", "apricot", "banana", "berry", "cherry", "a", "ab"};
    for (int i = 0; i < 300; ++i) {
      Row row{static_cast<int32_t>(random() % 40) - 10, static_cast<int32_t>(random() % 40),
              words[random() % 8], words[random() % 8], words[random() % 8], std::nullopt};
      if (random() % 3 != 0) row.n = static_cast<int32_t>(random() % 5);
      N("a").SetString(std::to_string(row.a));
      N("b").SetString(std::to_string(row.b));
      N("s").SetString(row.s);
      N("v").SetString(row.v);
      N("t").SetString(row.t);
      if (row.n) {
        N("n").SetString(std::to_string(*row.n));
      } else {
        N("n").SetNull(true);
      }
      mRows.push_back(row);
      mAlive.push_back(true);
      mTable->AddRecord();
    }
    for (REC_ID r = 3; r <= mRows.size(); r += 7) {
      mTable->DeleteRecordByID(r);
      mAlive[r - 1] = false;
    }
  }

  Node Leaf(const char* field, Op op, std::string value = {}) {
    auto node = std::make_unique<SQL_Condition>();
    node->mOp = op;
    node->mField = &N(field);
    node->mTable = mTable.get();
    node->mValue = std::move(value);
    return node;
  }
  static Node Join(Op op, Node left, Node right) {
    auto node = std::make_unique<SQL_Condition>();
    node->mOp = op;
    if (left && right && left->mTable == right->mTable) node->mTable = left->mTable;
    if (left) left->mParent = node.get();
    if (right) right->mParent = node.get();
    node->mLeft = std::move(left);
    node->mRight = std::move(right);
    return node;
  }
  static Node Not(Node node) {
    node->mNegated = !node->mNegated;
    return node;
  }
  std::vector<REC_ID> Expected(const std::function<bool(const Row&)>& keep) const {
    std::vector<REC_ID> out;
    for (size_t i = 0; i < mRows.size(); ++i) {
      if (mAlive[i] && keep(mRows[i])) out.push_back(static_cast<REC_ID>(i + 1));
    }
    return out;
  }
  std::vector<REC_ID> Found(const SQL_Condition& node) {
    return Members(*zsql::EvaluateForTable(node, *mTable));
  }

  std::vector<Row> mRows;
  std::vector<bool> mAlive;
};

TEST_F(ConditionTest, LeavesMatchTheModel) {
  struct LeafCase {
    const char* field;
    Op op;
    const char* value;
    std::function<bool(const Row&)> keep;
  };
  const std::vector<LeafCase> cases = {
      {"a", Op::kEqual, "5", [](const Row& r) { return r.a == 5; }},
      {"a", Op::kLess, "0", [](const Row& r) { return r.a < 0; }},
      {"a", Op::kLessEqual, "0", [](const Row& r) { return r.a <= 0; }},
      {"a", Op::kGreater, "20", [](const Row& r) { return r.a > 20; }},
      {"a", Op::kGreaterEqual, "20", [](const Row& r) { return r.a >= 20; }},
      {"a", Op::kNotEqual, "3", [](const Row& r) { return r.a != 3; }},
      {"b", Op::kEqual, "5", [](const Row& r) { return r.b == 5; }},
      {"b", Op::kLess, "10", [](const Row& r) { return r.b < 10; }},
      {"b", Op::kGreaterEqual, "30", [](const Row& r) { return r.b >= 30; }},
      {"b", Op::kNotEqual, "3", [](const Row& r) { return r.b != 3; }},
      {"c", Op::kLess, "10", [](const Row& r) { return r.a + r.b < 10; }},
      {"c", Op::kEqual, "20", [](const Row& r) { return r.a + r.b == 20; }},
      {"s", Op::kEqual, "apple", [](const Row& r) { return r.s == "apple"; }},
      {"s", Op::kLess, "b", [](const Row& r) { return r.s < "b"; }},
      {"v", Op::kEqual, "ab", [](const Row& r) { return r.v == "ab"; }},
      {"v", Op::kGreater, "banana", [](const Row& r) { return r.v > "banana"; }},
      {"t", Op::kEqual, "cherry", [](const Row& r) { return r.t == "cherry"; }},
      {"t", Op::kLessEqual, "apple", [](const Row& r) { return r.t <= "apple"; }},
      {"n", Op::kEqual, "2", [](const Row& r) { return r.n == 2; }},
      {"n", Op::kNotEqual, "2", [](const Row& r) { return r.n && *r.n != 2; }},
      {"n", Op::kIsNull, "", [](const Row& r) { return !r.n; }},
      {"n", Op::kIsNotNull, "", [](const Row& r) { return r.n.has_value(); }},
      {"b", Op::kIsNull, "", [](const Row&) { return false; }},
      {"s", Op::kLike, "ap%", [](const Row& r) { return r.s.rfind("ap", 0) == 0; }},
      {"v", Op::kLike, "_pple", [](const Row& r) { return r.v == "apple" || r.v == "Apple"; }},
      {"t", Op::kLike, "%rr%", [](const Row& r) { return r.t.find("rr") != std::string::npos; }},
      {"s", Op::kRegex, "^a(p|b)", [](const Row& r) {
         return r.s.rfind("ap", 0) == 0 || r.s.rfind("ab", 0) == 0;
       }},
      {"v", Op::kRegex, "[[:upper:]]", [](const Row& r) { return r.v == "Apple"; }},
  };
  for (const LeafCase& c : cases) {
    const Node node = Leaf(c.field, c.op, c.value);
    EXPECT_EQ(Found(*node), Expected(c.keep)) << c.field << " op " << int(c.op) << " " << c.value;
    const Node negated = Not(Leaf(c.field, c.op, c.value));
    EXPECT_EQ(Found(*negated), Expected([&](const Row& r) { return !c.keep(r); }))
        << "NOT " << c.field << " op " << int(c.op);
  }
  // LIKE without case, LEFT(v, 2) = 'ap', IN lists.
  Node like = Leaf("s", Op::kLike, "APPLE");
  like->mCaseSensitive = false;
  EXPECT_EQ(Found(*like), Expected([](const Row& r) { return r.s == "apple" || r.s == "Apple"; }));
  Node left = Leaf("v", Op::kLeftEqual, "apXX");
  left->mLeftCount = 2;
  EXPECT_EQ(Found(*left), Expected([](const Row& r) { return r.v.rfind("ap", 0) == 0; }));
  Node in = Leaf("a", Op::kOrIn);
  in->mValues = {"1", "2", "29"};
  EXPECT_EQ(Found(*in), Expected([](const Row& r) { return r.a == 1 || r.a == 2 || r.a == 29; }));
  struct Values : SQL_ValueSource {
    std::vector<std::string> ReadValues() override { return {"banana", "a"}; }
  } values;
  Node sub = Not(Leaf("v", Op::kInSelect));
  sub->mSubSelect = &values;
  EXPECT_EQ(Found(*sub), Expected([](const Row& r) { return r.v != "banana" && r.v != "a"; }));
}

TEST_F(ConditionTest, AndOrNotAreSetAlgebra) {
  // (a > 5 AND NOT b < 20) OR n IS NULL
  Node tree = Join(Op::kOrIn,
                   Join(Op::kAnd, Leaf("a", Op::kGreater, "5"), Not(Leaf("b", Op::kLess, "20"))),
                   Leaf("n", Op::kIsNull));
  EXPECT_EQ(Found(*tree),
            Expected([](const Row& r) { return (r.a > 5 && !(r.b < 20)) || !r.n; }));
  // NOT over an inner node.
  Node negated = Not(Join(Op::kAnd, Leaf("s", Op::kEqual, "apple"), Leaf("v", Op::kLike, "a%")));
  EXPECT_EQ(Found(*negated), Expected([](const Row& r) {
              return !(r.s == "apple" && r.v.rfind("a", 0) == 0);
            }));
  FBL_Table* tables[] = {mTable.get()};
  EXPECT_EQ(Members(*zsql::SelectByCondition(tree.get(), tables)[0]), Found(*tree));
  EXPECT_EQ(Members(*zsql::SelectByCondition(nullptr, tables)[0]),
            Expected([](const Row&) { return true; }));
  // An AND without its right child.
  Node broken = Join(Op::kAnd, Leaf("a", Op::kEqual, "1"), nullptr);
  EXPECT_EQ(ztest::ErrorCode([&] { Found(*broken); }), 308);
}

// Random trees of comparisons on an indexed field, a scanned one and the
// RecID column: AND chains that bound one field several times make one
// range search, small results are array sets, NOT and OR mix both kinds.
TEST_F(ConditionTest, RandomTreesMatchTheModel) {
  struct Comparison {
    const char* field;
    std::function<int64_t(const Row&, REC_ID)> value;
    int64_t low, high;
  };
  const Comparison fields[] = {
      {"a", [](const Row& r, REC_ID) { return r.a; }, -12, 32},
      {"b", [](const Row& r, REC_ID) { return r.b; }, -2, 42},
      {"id", [](const Row&, REC_ID id) { return id; }, 0, 305},
  };
  const Op ops[] = {Op::kEqual, Op::kLess, Op::kLessEqual, Op::kGreater, Op::kGreaterEqual,
                    Op::kNotEqual};
  using Keep = std::function<bool(const Row&, REC_ID)>;
  std::mt19937 random(11);
  std::function<Node(int, Keep&)> make = [&](int depth, Keep& keep) -> Node {
    const uint32_t pick = random() % 8;
    if (depth == 0 || pick < 3) {
      const Comparison& c = fields[random() % 3];
      const Op op = ops[random() % 6];
      const int64_t v = c.low + static_cast<int64_t>(random() % (c.high - c.low + 1));
      auto value = c.value;
      keep = [=](const Row& r, REC_ID id) {
        const int64_t x = value(r, id);
        switch (op) {
          case Op::kEqual: return x == v;
          case Op::kLess: return x < v;
          case Op::kLessEqual: return x <= v;
          case Op::kGreater: return x > v;
          case Op::kGreaterEqual: return x >= v;
          default: return x != v;
        }
      };
      return Leaf(c.field, op, std::to_string(v));
    }
    Keep left, right;
    Node l = make(depth - 1, left), r = make(depth - 1, right);
    const bool both = pick < 6;
    Node node = Join(both ? Op::kAnd : Op::kOrIn, std::move(l), std::move(r));
    keep = both ? Keep([=](const Row& x, REC_ID id) { return left(x, id) && right(x, id); })
                : Keep([=](const Row& x, REC_ID id) { return left(x, id) || right(x, id); });
    if (random() % 5 == 0) {
      node = Not(std::move(node));
      Keep inner = keep;
      keep = [=](const Row& x, REC_ID id) { return !inner(x, id); };
    }
    return node;
  };
  for (int i = 0; i < 400; ++i) {
    Keep keep;
    const Node tree = make(3, keep);
    std::vector<REC_ID> expected;
    for (size_t k = 0; k < mRows.size(); ++k) {
      const REC_ID id = static_cast<REC_ID>(k + 1);
      if (mAlive[k] && keep(mRows[k], id)) expected.push_back(id);
    }
    ASSERT_EQ(Found(*tree), expected) << "tree " << i;
  }
}

TEST_F(ConditionTest, EachTableGetsItsOwnSet) {
  FBL_IndexedTable other(*mDb, 2);
  other.SetIndexFactory(&mFactory);
  FBL_BaseField& x = other.AddField(zv::MakeField(kTypeLong, "x", kFieldIndexed));
  other.Open();
  for (int i = 1; i <= 10; ++i) {
    x.SetString(std::to_string(i));
    other.AddRecord();
  }
  auto otherLeaf = std::make_unique<SQL_Condition>();
  otherLeaf->mOp = Op::kGreater;
  otherLeaf->mField = &x;
  otherLeaf->mTable = &other;
  otherLeaf->mValue = "7";
  // a = 5 AND x > 7 AND <a join>: the AND concerns two tables and splits.
  auto join = std::make_unique<SQL_Condition>();
  join->mOp = Op::kTrue;
  Node tree = Join(Op::kAnd, Join(Op::kAnd, Leaf("a", Op::kEqual, "5"), std::move(otherLeaf)),
                   std::move(join));
  FBL_Table* third = nullptr;
  FBL_IndexedTable empty(*mDb, 3);
  empty.Open();
  third = &empty;
  FBL_Table* tables[] = {mTable.get(), &other, third};
  auto sets = zsql::SelectByCondition(tree.get(), tables);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(Members(*sets[0]), Expected([](const Row& r) { return r.a == 5; }));
  EXPECT_EQ(Members(*sets[1]), (std::vector<REC_ID>{8, 9, 10}));
  EXPECT_TRUE(sets[2]->IsEmpty());
}

TEST(LikePattern, BecomesAnAnchoredExpression) {
  EXPECT_EQ(zsql::LikeToRegex("a%b_c"), "^(?s:a.*b.c)$");
  EXPECT_EQ(zsql::LikeToRegex("1.5\\%(x)"), "^(?s:1\\.5\\%\\(x\\))$");
}

}  // namespace
