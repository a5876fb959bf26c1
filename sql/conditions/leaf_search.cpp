#include "sql/conditions/leaf_search.h"

#include <algorithm>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/language.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"
#include "sql/expressions/field_items.h"

namespace {

bool Holds(SQL_ConditionOp op, int order) {
  switch (op) {
    case SQL_ConditionOp::kEqual:
      return order == 0;
    case SQL_ConditionOp::kNotEqual:
      return order != 0;
    case SQL_ConditionOp::kLess:
      return order < 0;
    case SQL_ConditionOp::kLessEqual:
      return order <= 0;
    case SQL_ConditionOp::kGreater:
      return order > 0;
    case SQL_ConditionOp::kGreaterEqual:
      return order >= 0;
    default:
      throw xFBL_Exception(ERR_ASSERTION_FAIL, "Not a comparison");
  }
}

FBL_Table& TableOf(const FBL_BaseField& field) {
  FBL_Table* table = field.GetTable();
  if (table == nullptr || !table->IsOpened()) throw xFBL_DatabaseIsNotOpened();
  return *table;
}

// A reader of the column that leaves the table's current record alone.
std::unique_ptr<FBL_BaseField> ReaderOf(const FBL_BaseField& field) {
  std::unique_ptr<FBL_BaseField> reader = zsql::MakeSameType(field);
  reader->InitFromField(field);
  return reader;
}

// The value in the buffer form of field, parsed as the field parses text
// (with its database's date settings): through a copy for a stored column,
// a detached field for a calculated one (which a copy would recalculate).
std::vector<uint8_t> BoundOf(const FBL_BaseField& field, const std::string& value) {
  std::unique_ptr<FBL_BaseField> parser =
      field.IsMethod() ? zsql::MakeSameType(field) : ReaderOf(field);
  parser->SetString(value);
  std::vector<uint8_t> bytes(parser->GetBufferSize() + 1, 0);
  parser->GetValue(bytes.data());
  return bytes;
}

bool IsText(const FBL_BaseField& field) {
  return dynamic_cast<const BF_TEXT*>(&field) != nullptr;
}

// Every alive record whose value satisfies keep(reader).
template <class Keep>
std::unique_ptr<FBL_BitSet> Scan(FBL_BaseField& field, Keep keep) {
  FBL_Table& table = TableOf(field);
  std::unique_ptr<FBL_BitSet> alive = table.SelectAllRecords();
  auto found = std::make_unique<FBL_BitSet>(alive->GetSize());
  std::unique_ptr<FBL_BaseField> reader = ReaderOf(field);
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    reader->LoadRecord(r);
    if (!reader->IsNull() && keep(*reader)) found->Include(r);
  }
  return found;
}

std::unique_ptr<FBL_BitSet> IndexSearch(FBL_BaseField& field, SQL_ConditionOp op,
                                        const std::vector<uint8_t>& bound) {
  uint8_t key[kMaxIndexKeySize];
  field.MakeKeyOf(bound.data(), key);
  switch (op) {
    case SQL_ConditionOp::kEqual:
      return field.SelectKeyRange(true, key, key, true);
    case SQL_ConditionOp::kLess:
      return field.SelectKeyRange(false, nullptr, key, false);
    case SQL_ConditionOp::kLessEqual:
      return field.SelectKeyRange(false, nullptr, key, true);
    case SQL_ConditionOp::kGreater:
      return field.SelectKeyRange(false, key, nullptr, false);
    case SQL_ConditionOp::kGreaterEqual:
      return field.SelectKeyRange(true, key, nullptr, false);
    default: {
      // Not equal: the values on either side.
      auto below = field.SelectKeyRange(false, nullptr, key, false);
      below->Union(*field.SelectKeyRange(false, key, nullptr, false));
      return below;
    }
  }
}

}  // namespace

std::unique_ptr<FBL_BitSet> zsql::SearchComparison(FBL_BaseField& field, SQL_ConditionOp op,
                                                   const std::string& value) {
  Holds(op, 0);  // raises for an operation that is no comparison
  if (IsText(field)) {
    const FBL_Language& language = static_cast<BF_TEXT&>(field).GetLanguage();
    return Scan(field, [&](FBL_BaseField& reader) {
      const std::string text = reader.GetString();
      return Holds(op, language.Compare(text.data(), text.size(), value.data(), value.size()));
    });
  }
  const std::vector<uint8_t> bound = BoundOf(field, value);
  if (field.GetIndex() != nullptr && !field.HasFlag(kFieldByWords)) {
    return IndexSearch(field, op, bound);
  }
  return Scan(field, [&](FBL_BaseField& reader) { return Holds(op, reader.Compare(bound.data())); });
}

std::string zsql::LikeToRegex(const std::string& like) {
  std::string out = "^(?s:";
  for (size_t i = 0; i < like.size(); ++i) {
    const char c = like[i];
    if (c == '\\' && i + 1 < like.size() && (like[i + 1] == '%' || like[i + 1] == '_')) {
      out += '\\';
      out += like[++i];
    } else if (c == '%') {
      out += ".*";
    } else if (c == '_') {
      out += '.';
    } else if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out + ")$";
}

std::unique_ptr<FBL_BitSet> zsql::SearchLeaf(const SQL_Condition& leaf) {
  if (leaf.mField == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL, "Condition without a field");
  FBL_BaseField& field = *leaf.mField;
  FBL_Table& table = TableOf(field);
  switch (leaf.mOp) {
    case SQL_ConditionOp::kTrue:
      return table.SelectAllRecords();
    case SQL_ConditionOp::kOrIn:
    case SQL_ConditionOp::kInSelect: {
      const std::vector<std::string> values =
          leaf.mOp == SQL_ConditionOp::kInSelect && leaf.mSubSelect != nullptr
              ? leaf.mSubSelect->ReadValues()
              : leaf.mValues;
      auto found = table.MakeEmptySet();
      for (const std::string& value : values) {
        found->Union(*SearchComparison(field, SQL_ConditionOp::kEqual, value));
      }
      return found;
    }
    case SQL_ConditionOp::kLike:
      return field.FindByRegExpr(LikeToRegex(leaf.mValue), leaf.mCaseSensitive);
    case SQL_ConditionOp::kRegex:
      return field.FindByRegExpr(leaf.mValue, leaf.mCaseSensitive);
    case SQL_ConditionOp::kIsNull: {
      auto nulls = field.SelectNulls();
      nulls->Intersection(*table.SelectAllRecords());
      return nulls;
    }
    case SQL_ConditionOp::kIsNotNull: {
      auto alive = table.SelectAllRecords();
      alive->Difference(*field.SelectNulls());
      return alive;
    }
    case SQL_ConditionOp::kLeftEqual:
      return Scan(field, [&](FBL_BaseField& reader) {
        const std::string text = reader.GetString(leaf.mLeftCount);
        return text == leaf.mValue.substr(0, leaf.mLeftCount);
      });
    case SQL_ConditionOp::kAnd:
      break;
    default:
      return SearchComparison(field, leaf.mOp, leaf.mValue);
  }
  throw xFBL_Exception(ERR_ASSERTION_FAIL, "Not a leaf operation");
}
