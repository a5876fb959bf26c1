#include "sql/conditions/leaf_search.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/language.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"
#include "platform/scratch_bytes.h"
#include "sql/conditions/selection_kinds.h"
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
  std::unique_ptr<FBL_BaseField> reader = zv::MakeSameType(field);
  reader->InitFromField(field);
  return reader;
}

// The value in the buffer form of field, parsed as the field parses text
// (with its database's date settings): through the twin of a stored
// column, a detached field for a calculated one (which a twin would
// recalculate). use(bytes, size) sees it.
template <class Use>
void WithBound(const FBL_BaseField& field, const std::string& value, Use use) {
  std::unique_ptr<FBL_BaseField> detached;
  if (field.IsMethod()) detached = zv::MakeSameType(field);
  FBL_BaseField& parser = detached ? *detached : field.Twin();
  parser.SetString(value);
  const size_t size = parser.GetBufferSize() + 1;
  zv::ScratchBytes<256> scratch(size);
  uint8_t* bytes = scratch.data();
  std::memset(bytes, 0, size);
  parser.GetValue(bytes);
  use(bytes, size);
}

std::vector<uint8_t> BoundOf(const FBL_BaseField& field, const std::string& value) {
  std::vector<uint8_t> bytes;
  WithBound(field, value,
            [&](const uint8_t* bound, size_t size) { bytes.assign(bound, bound + size); });
  return bytes;
}

// Only a Text field has the type (a failed dynamic_cast walks the whole
// class tree, and every range test asks).
bool IsText(const FBL_BaseField& field) {
  return field.GetType() == kTypeText;
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

bool IsRecIDField(const FBL_BaseField& field) {
  return field.GetType() == kTypeRecID;
}

bool SearchesByIndex(const FBL_BaseField& field) {
  return field.GetIndex() != nullptr && !field.HasFlag(kFieldByWords) && !IsText(field);
}

// The value parsed as a ULong column parses it: the RecID column itself
// takes no value (341).
uint64_t RecIDOf(const std::string& value) {
  std::unique_ptr<FBL_BaseField> parser = zv::MakeField(kTypeULong, "RecID", 0);
  parser->SetString(value);
  return parser->GetAsBits();
}

std::vector<uint8_t> RecIDKey(uint64_t recID) {
  std::vector<uint8_t> key(sizeof recID);
  std::memcpy(key.data(), &recID, sizeof recID);
  return key;
}

uint64_t RecIDOfKey(const std::vector<uint8_t>& key) {
  uint64_t recID = 0;
  std::memcpy(&recID, key.data(), std::min(key.size(), sizeof recID));
  return recID;
}

// The alive records from..to (both included).
std::unique_ptr<FBL_Set> AliveBetween(FBL_Table& table, uint64_t from, uint64_t to) {
  const REC_ID max = table.GetMaxRecID();
  from = std::max<uint64_t>(from, 1);
  to = std::min<uint64_t>(to, max);
  if (from > to) return std::make_unique<FBL_ArraySet>();
  if (zsql::KeepsAsArray(to - from + 1, max)) {
    auto found = std::make_unique<FBL_ArraySet>(static_cast<uint32_t>(to - from + 1));
    for (uint64_t r = from; r <= to; ++r) {
      if (table.IsRecordAlive(static_cast<REC_ID>(r))) found->Append(static_cast<REC_ID>(r));
    }
    found->Sort();
    return found;
  }
  std::unique_ptr<FBL_BitSet> alive = table.SelectAllRecords();
  FBL_BitSet inside(max);
  inside.IncludeRange(static_cast<REC_ID>(from), static_cast<REC_ID>(to));
  alive->Intersection(inside);
  return alive;
}

// The key of a comparison's value: the index key, or the RecID.
std::vector<uint8_t> KeyOf(FBL_BaseField& field, const std::string& value) {
  if (IsRecIDField(field)) return RecIDKey(RecIDOf(value));
  std::vector<uint8_t> key(kMaxIndexKeySize);
  WithBound(field, value, [&](const uint8_t* bound, size_t) { field.MakeKeyOf(bound, key.data()); });
  return key;
}

int CompareRangeKeys(const FBL_BaseField& field, const std::vector<uint8_t>& a,
                     const std::vector<uint8_t>& b) {
  if (IsRecIDField(field)) {
    const uint64_t x = RecIDOfKey(a), y = RecIDOfKey(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  return field.CompareKeys(a.data(), b.data());
}

std::unique_ptr<FBL_Set> NotEqual(FBL_BaseField& field, const std::vector<uint8_t>& key) {
  FBL_Table& table = TableOf(field);
  if (IsRecIDField(field)) {
    std::unique_ptr<FBL_BitSet> alive = table.SelectAllRecords();
    const uint64_t recID = RecIDOfKey(key);
    if (recID <= UINT32_MAX) alive->Exclude(static_cast<REC_ID>(recID));
    return alive;
  }
  // The values on either side.
  auto below = field.SelectKeyRange(false, nullptr, key.data(), false);
  below->Union(*field.SelectKeyRange(false, key.data(), nullptr, false));
  return below;
}

}  // namespace

std::unique_ptr<FBL_Set> zsql::SearchComparison(FBL_BaseField& field, SQL_ConditionOp op,
                                                const std::string& value) {
  Holds(op, 0);  // raises for an operation that is no comparison
  if (IsRecIDField(field) || SearchesByIndex(field)) {
    SQL_KeyRange range;
    range.mField = &field;
    std::vector<uint8_t> key = KeyOf(field, value);
    if (op == SQL_ConditionOp::kNotEqual) return NotEqual(field, key);
    if (op != SQL_ConditionOp::kLess && op != SQL_ConditionOp::kLessEqual) {
      range.mLeft = key;
      range.mLeftIncluded = op != SQL_ConditionOp::kGreater;
    }
    if (op != SQL_ConditionOp::kGreater && op != SQL_ConditionOp::kGreaterEqual) {
      range.mRight = std::move(key);
      range.mRightIncluded = op != SQL_ConditionOp::kLess;
    }
    return SearchRange(range);
  }
  if (IsText(field)) {
    const FBL_Language& language = static_cast<BF_TEXT&>(field).GetLanguage();
    return Scan(field, [&](FBL_BaseField& reader) {
      const std::string text = reader.GetString();
      return Holds(op, language.Compare(text.data(), text.size(), value.data(), value.size()));
    });
  }
  const std::vector<uint8_t> bound = BoundOf(field, value);
  const uint8_t orders = (Holds(op, -1) ? FBL_BaseField::kOrderLess : 0) |
                        (Holds(op, 0) ? FBL_BaseField::kOrderEqual : 0) |
                        (Holds(op, 1) ? FBL_BaseField::kOrderGreater : 0);
  return field.SelectCompared(*TableOf(field).SelectAllRecords(), bound.data(), orders);
}

bool zsql::IsRangeLeaf(const SQL_Condition& leaf) {
  if (leaf.mNegated || leaf.mField == nullptr) return false;
  if (leaf.mOp != SQL_ConditionOp::kLess && leaf.mOp != SQL_ConditionOp::kLessEqual &&
      leaf.mOp != SQL_ConditionOp::kGreater && leaf.mOp != SQL_ConditionOp::kGreaterEqual) {
    return false;
  }
  return IsRecIDField(*leaf.mField) || SearchesByIndex(*leaf.mField);
}

void zsql::NarrowRange(SQL_KeyRange& range, const SQL_Condition& leaf) {
  FBL_BaseField& field = *leaf.mField;
  range.mField = &field;
  std::vector<uint8_t> key = KeyOf(field, leaf.mValue);
  const bool lower = leaf.mOp == SQL_ConditionOp::kGreater ||
                     leaf.mOp == SQL_ConditionOp::kGreaterEqual;
  const bool included = leaf.mOp == SQL_ConditionOp::kGreaterEqual ||
                        leaf.mOp == SQL_ConditionOp::kLessEqual;
  std::vector<uint8_t>& side = lower ? range.mLeft : range.mRight;
  bool& sideIncluded = lower ? range.mLeftIncluded : range.mRightIncluded;
  const int order = side.empty() ? (lower ? 1 : -1) : CompareRangeKeys(field, key, side);
  if (order == 0) {
    sideIncluded = sideIncluded && included;
  } else if (lower ? order > 0 : order < 0) {
    side = std::move(key);
    sideIncluded = included;
  }
}

std::unique_ptr<FBL_Set> zsql::SearchRange(const SQL_KeyRange& range) {
  FBL_BaseField& field = *range.mField;
  FBL_Table& table = TableOf(field);
  const bool left = !range.mLeft.empty(), right = !range.mRight.empty();
  if (IsRecIDField(field)) {
    uint64_t from = left ? RecIDOfKey(range.mLeft) + (range.mLeftIncluded ? 0 : 1) : 1;
    uint64_t to = UINT64_MAX;
    if (right) {
      to = RecIDOfKey(range.mRight);
      if (!range.mRightIncluded) {
        if (to == 0) return std::make_unique<FBL_ArraySet>();
        --to;
      }
    }
    return AliveBetween(table, from, to);
  }
  std::unique_ptr<FBL_Set> found = field.SelectKeyRangeAsSet(
      range.mLeftIncluded, left ? range.mLeft.data() : nullptr,
      right ? range.mRight.data() : nullptr, range.mRightIncluded, ArrayLimit(table.GetMaxRecID()));
  return Settle(std::move(found), table.GetMaxRecID());
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

std::unique_ptr<FBL_Set> zsql::SearchLeaf(const SQL_Condition& leaf) {
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
      std::unique_ptr<FBL_Set> found = std::make_unique<FBL_ArraySet>();
      for (const std::string& value : values) {
        found = Unite(std::move(found), SearchComparison(field, SQL_ConditionOp::kEqual, value),
                      table.GetMaxRecID());
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
