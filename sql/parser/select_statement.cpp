#include "sql/parser/select_statement.h"

#include "kernel/sets/bit_set.h"
#include "objects/links.h"

SQL_CondNode::SQL_CondNode() = default;
SQL_CondNode::~SQL_CondNode() = default;

SQL_SelectStatement::SQL_SelectStatement() = default;
SQL_SelectStatement::~SQL_SelectStatement() = default;

SQL_FromEntry* SQL_SelectStatement::GetFromEntry(uint32_t position) const {
  if (position == 0 || position > mFrom.size()) return nullptr;
  return mFrom[position - 1].get();
}

SQL_CondNode* SQL_SelectStatement::NewNode() {
  mNodes.push_back(std::make_unique<SQL_CondNode>());
  return mNodes.back().get();
}
