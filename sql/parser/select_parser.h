// OBL_Parser: turns the text of a SELECT statement into an
// SQL_SelectStatement (select_statement.h). Failures are codes 600 to 632
// recorded in the statement, never thrown; the parser stops at the first.
// An exception of the object layer below (a damaged file, say) is
// recorded by its code the same way.
//
// Order of work: the FROM list first (its entries name the fields), then
// the select list, then WHERE, the completion of the join list, GROUP BY
// and ORDER BY. Nesting (parentheses, NOT, sub-selects) is limited to
// kMaxDepth levels, so hostile text cannot exhaust the stack.
//
// Files: select_parser.cpp (statement, lists, GROUP BY, ORDER BY),
// select_conditions.cpp (the WHERE grammar), select_joins.cpp (join
// conditions and the join list).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sql/parser/select_statement.h"
#include "sql/parser/select_text.h"

class OBL_DataBase;

class OBL_Parser {
 public:
  static constexpr uint32_t kMaxDepth = 200;

  // REQUIRES: db outlives the parser and the statements it hands out.
  // depth: the nesting level of a sub-select's parser.
  explicit OBL_Parser(OBL_DataBase& db, uint32_t depth = 0);
  ~OBL_Parser();
  OBL_Parser(const OBL_Parser&) = delete;
  OBL_Parser& operator=(const OBL_Parser&) = delete;

  // Parses a statement, dropping what an earlier Parse made; answers the
  // error code (0: parsed).
  int32_t Parse(std::string_view text);
  int32_t GetError() const { return mStmt->GetError(); }
  const SQL_SelectStatement& GetStatement() const { return *mStmt; }
  // Hands the statement over; the parser keeps an empty one.
  std::unique_ptr<SQL_SelectStatement> TakeStatement();

 private:
  // ---- statement and lists (select_parser.cpp) ----
  void ParseStatement();
  void ParseFromList();
  void ParseSelectList();
  void ParseSelectItem();
  void ParseAggregate();
  void AddAllFields(uint32_t table, OBL_FieldSelection which);
  void ParseWhere();
  void ParseGroupBy();
  void ParseOrderBy();
  bool ParseOrderItem(OBL_SortItem& item);
  void CheckAggregates();

  // ---- conditions (select_conditions.cpp) ----
  SQL_CondNode* ParseCondition(uint32_t depth);
  SQL_CondNode* ParseTerm(uint32_t depth);
  SQL_CondNode* ParsePrimary(uint32_t depth);
  SQL_CondNode* ParseFieldCondition(uint32_t depth);
  SQL_CondNode* ParseComparison(FBL_BaseField* field, uint32_t table);
  SQL_CondNode* ParseBetween(FBL_BaseField* field, uint32_t table);
  SQL_CondNode* ParseIn(FBL_BaseField* field, uint32_t table, uint32_t depth);
  SQL_CondNode* ParseSubSelect(SQL_CondNode* leaf, uint32_t depth);
  SQL_CondNode* ParseLeftLeaf();
  // The value token standing here, a literal or a :N, into value and
  // parameter; false when none stands here.
  bool TakeValue(std::string& value, uint32_t& parameter) const;
  SQL_CondNode* MakeLeaf(SQL_CondOp op, FBL_BaseField* field, uint32_t table);
  SQL_CondNode* MakeInner(SQL_CondOp op, SQL_CondNode* left, SQL_CondNode* right);

  // ---- joins (select_joins.cpp) ----
  SQL_CondNode* JoinCondition(FBL_BaseField* a, uint32_t tableA, SQL_Token op, FBL_BaseField* b,
                               uint32_t tableB);
  OBL_Link* PointerJoin(FBL_BaseField* a, uint32_t tableA, FBL_BaseField* b, uint32_t tableB) const;
  void CompleteJoinList();
  void MergeRelationalLinks();
  bool AllTablesJoined() const;
  void AddAutomaticLinks();
  bool HasJoin(uint32_t tableA, uint32_t tableB) const;

  // ---- tokens ----
  SQL_Token Next();
  SQL_Token Token() const { return mTok->GetToken(); }
  bool Failed() const { return mStmt->mError != 0; }
  // Keeps the first error.
  void SetError(int32_t code);
  // SetError, answering null for the grammar's convenience.
  SQL_CondNode* Fail(int32_t code);
  OBL_BaseObject& TableAt(uint32_t position) const;

  OBL_DataBase& mDb;
  uint32_t mDepth;
  std::string mText;
  std::unique_ptr<SQL_SelectStatement> mStmt;
  // mStmt is as made, no parse has written to it yet.
  bool mStmtFresh = true;
  std::unique_ptr<SQL_Tokenizer> mTok;
};
