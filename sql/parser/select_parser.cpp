#include "sql/parser/select_parser.h"

#include <cctype>

#include "objects/object_database.h"
#include "platform/errors.h"
#include "sql/parser/select_errors.h"

using namespace zv::sql;

OBL_Parser::OBL_Parser(OBL_DataBase& db, uint32_t depth)
    : mDb(db), mDepth(depth), mStmt(std::make_unique<SQL_SelectStatement>()) {}

OBL_Parser::~OBL_Parser() = default;

std::unique_ptr<SQL_SelectStatement> OBL_Parser::TakeStatement() {
  std::unique_ptr<SQL_SelectStatement> taken = std::move(mStmt);
  mStmt = std::make_unique<SQL_SelectStatement>();
  mStmtFresh = true;
  mTok.reset();
  return taken;
}

void OBL_Parser::SetError(int32_t code) {
  if (mStmt->mError == 0) mStmt->mError = code;
}

SQL_CondNode* OBL_Parser::Fail(int32_t code) {
  SetError(code);
  return nullptr;
}

SQL_Token OBL_Parser::Next() {
  const SQL_Token token = mTok->Next();
  if (mTok->GetError() != 0) SetError(mTok->GetError());
  return token;
}

OBL_BaseObject& OBL_Parser::TableAt(uint32_t position) const {
  return mStmt->mFrom.at(position - 1)->GetTable();
}

int32_t OBL_Parser::Parse(std::string_view text) {
  mTok.reset();
  if (!mStmtFresh) mStmt = std::make_unique<SQL_SelectStatement>();
  mStmtFresh = false;
  mText.assign(text);
  PrepareSelectText(mText);
  try {
    ParseStatement();
  } catch (const xFBL_Exception& e) {
    SetError(e.Code);
  }
  return GetError();
}

void OBL_Parser::ParseStatement() {
  const size_t select = FindKeyword(mText, "SELECT", 0);
  if (select == std::string::npos) return SetError(kErrExpectedSelect);
  const size_t from = FindKeyword(mText, "FROM", select + 6);
  if (from == std::string::npos) return SetError(kErrExpectedFrom);
  mTok = std::make_unique<SQL_Tokenizer>(mText, mStmt->mFrom);

  mTok->SetPosition(from + 4);
  Next();
  ParseFromList();
  if (Failed()) return;
  const size_t clauses = mTok->GetTokenStart();

  mTok->SetFieldMode(true);
  mTok->SetPosition(select + 6);
  Next();
  ParseSelectList();
  if (Failed()) return;

  mTok->SetPosition(clauses);
  Next();
  if (Token() == SQL_Token::kWhere) ParseWhere();
  if (!Failed()) CompleteJoinList();
  if (!Failed() && Token() == SQL_Token::kGroupBy) ParseGroupBy();
  if (!Failed() && Token() == SQL_Token::kOrderBy) ParseOrderBy();
  if (!Failed() && Token() != SQL_Token::kEnd) SetError(kErrSyntax);
  if (!Failed()) CheckAggregates();
}

// ---- FROM ----------------------------------------------------------------------------------

void OBL_Parser::ParseFromList() {
  if (Token() == SQL_Token::kDistinct) {
    mStmt->mFromDistinct = true;
    Next();
  }
  for (;;) {
    if (Token() != SQL_Token::kOperand) return SetError(kErrTableNotFound);
    OBL_BaseObject* table = mDb.FindBaseObject(mTok->GetOperand());
    if (table == nullptr) return SetError(kErrTableNotFound);
    Next();
    if (Token() == SQL_Token::kAs && Next() != SQL_Token::kOperand)
      return SetError(kErrTableNotFound);
    if (Token() == SQL_Token::kOperand) {
      mStmt->mFrom.push_back(std::make_unique<OBL_Psevdonim>(*table, mTok->GetOperand()));
      Next();
    } else {
      mStmt->mFrom.push_back(std::make_unique<SQL_FromEntry>(*table));
    }
    switch (Token()) {
      case SQL_Token::kComma:
        Next();
        continue;
      case SQL_Token::kEnd:
      case SQL_Token::kWhere:
      case SQL_Token::kOrderBy:
      case SQL_Token::kGroupBy:
        return;
      default:
        return SetError(kErrTableNotFound);
    }
  }
}

// ---- the select list ------------------------------------------------------------------------

void OBL_Parser::ParseSelectList() {
  // Room for a usual list at once, not a growth step per column or two.
  mStmt->mSelect.reserve(8);
  if (Token() == SQL_Token::kDistinct) {
    mStmt->mDistinct = true;
    Next();
  } else if (Token() == SQL_Token::kAll) {
    Next();
  }
  for (;;) {
    ParseSelectItem();
    if (Failed()) return;
    if (Token() == SQL_Token::kFrom) return;
    if (Token() != SQL_Token::kComma) return SetError(kErrFieldNotFound);
    Next();
  }
}

void OBL_Parser::ParseSelectItem() {
  switch (Token()) {
    case SQL_Token::kStar:
    case SQL_Token::kStarStar: {
      const auto which =
          Token() == SQL_Token::kStar ? OBL_FieldSelection::kStored : OBL_FieldSelection::kAll;
      for (uint32_t t = 1; t <= mStmt->GetFromCount(); ++t) AddAllFields(t, which);
      break;
    }
    case SQL_Token::kTableStar:
      AddAllFields(mTok->GetTable(), OBL_FieldSelection::kStored);
      break;
    case SQL_Token::kTableStarStar:
      AddAllFields(mTok->GetTable(), OBL_FieldSelection::kAll);
      break;
    case SQL_Token::kField:
      mStmt->mSelect.push_back(
          SQL_SelectExpr{SQL_Token::kField, mTok->GetField(), mTok->GetTable(), false});
      mStmt->mHasPlainField = true;
      break;
    case SQL_Token::kCount:
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
    case SQL_Token::kMin:
    case SQL_Token::kMax:
      return ParseAggregate();
    default:
      return SetError(kErrFieldNotFound);
  }
  Next();
}

void OBL_Parser::AddAllFields(uint32_t table, OBL_FieldSelection which) {
  for (FBL_BaseField* field : mStmt->GetFromEntry(table)->GetFieldList(which)) {
    mStmt->mSelect.push_back(SQL_SelectExpr{SQL_Token::kField, field, table, false});
    mStmt->mHasPlainField = true;
  }
}

void OBL_Parser::ParseAggregate() {
  SQL_SelectExpr expr{Token(), nullptr, 0, false};
  if (Next() != SQL_Token::kOpen) return SetError(kErrExpectedOpen);
  Next();
  if (expr.mKind == SQL_Token::kCount && Token() == SQL_Token::kStar) {
    Next();
  } else {
    if (Token() == SQL_Token::kDistinct) {
      expr.mDistinct = true;
      Next();
    }
    if (Token() != SQL_Token::kField) return SetError(kErrFieldNotFound);
    expr.mField = mTok->GetField();
    expr.mTable = mTok->GetTable();
    Next();
  }
  if (Token() != SQL_Token::kClose) return SetError(kErrExpectedClose);
  Next();
  mStmt->mSelect.push_back(expr);
  mStmt->mHasAggregate = true;
}

void OBL_Parser::CheckAggregates() {
  // Plain columns beside aggregates need groups to be taken from.
  if (mStmt->mHasAggregate && mStmt->mHasPlainField && mStmt->mGroupBy.empty())
    SetError(kErrMixedAggregates);
}

// ---- WHERE, GROUP BY, ORDER BY --------------------------------------------------------------

void OBL_Parser::ParseWhere() {
  Next();
  SQL_CondNode* condition = ParseCondition(0);
  if (condition == nullptr) return;
  if (Token() != SQL_Token::kEnd && Token() != SQL_Token::kGroupBy &&
      Token() != SQL_Token::kOrderBy)
    return SetError(kErrWrongExpression);
  // A WHERE of join conditions only leaves no condition.
  if (condition->IsLeaf() && condition->mOp == SQL_CondOp::kTrue) condition = nullptr;
  if (condition != nullptr) condition->mParent = nullptr;
  mStmt->mCondition = condition;
}

void OBL_Parser::ParseGroupBy() {
  Next();
  while (Token() == SQL_Token::kField) {
    mStmt->mGroupBy.push_back(SQL_GroupItem{mTok->GetField(), mTok->GetTable()});
    if (Next() != SQL_Token::kComma) break;
    Next();
  }
}

void OBL_Parser::ParseOrderBy() {
  Next();
  for (;;) {
    OBL_SortItem item;
    if (!ParseOrderItem(item)) return SetError(kErrSyntax);
    if (Failed()) return;
    if (Next() == SQL_Token::kAsc) {
      Next();
    } else if (Token() == SQL_Token::kDesc) {
      item.mAscending = false;
      Next();
    }
    mStmt->mOrderBy.push_back(item);
    if (Token() != SQL_Token::kComma) return;
    Next();
  }
}

bool OBL_Parser::ParseOrderItem(OBL_SortItem& item) {
  const std::vector<SQL_SelectExpr>& columns = mStmt->mSelect;
  if (Token() == SQL_Token::kField) {
    item.mField = mTok->GetField();
    item.mTable = mTok->GetTable();
    for (size_t i = 0; i < columns.size() && i < UINT16_MAX; ++i) {
      if (columns[i].mKind == SQL_Token::kField && columns[i].mField == item.mField &&
          columns[i].mTable == item.mTable) {
        item.mColumn = static_cast<uint16_t>(i + 1);
        break;
      }
    }
    return true;
  }
  if (Token() != SQL_Token::kOperand || mTok->IsQuoted()) return false;
  const std::string& text = mTok->GetOperand();
  uint32_t column = 0;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
    column = column * 10 + static_cast<uint32_t>(c - '0');
    if (column > columns.size() || column > UINT16_MAX) return false;
  }
  if (column == 0) return false;
  item.mColumn = static_cast<uint16_t>(column);
  item.mField = columns[column - 1].mField;
  item.mTable = columns[column - 1].mTable;
  return true;
}
