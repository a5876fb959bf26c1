#include "sql/cursors/aggregates.h"

#include "kernel/tables/base_field.h"
#include "kernel/tables/field_types.h"
#include "objects/base_object.h"
#include "sql/cursors/join_set.h"

OBL_Aggregate::OBL_Aggregate(const SQL_SelectExpr& item, OBL_BaseObject* table)
    : mKind(item.mKind),
      mDistinct(item.mDistinct),
      mColumn(item.mTable == 0 ? 0 : item.mTable - 1),
      mField(item.mField) {
  if (mField != nullptr) mReader = std::make_unique<OBL_RowValueReader>(*mField, *table);
}

OBL_Aggregate::~OBL_Aggregate() = default;
OBL_Aggregate::OBL_Aggregate(OBL_Aggregate&&) noexcept = default;

OBL_FieldSpec OBL_Aggregate::ResultSpec() const {
  OBL_FieldSpec fieldSpec;
  switch (mKind) {
    case SQL_Token::kCount:
      fieldSpec.mName = "count";
      fieldSpec.mType = kTypeLong;
      break;
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
      fieldSpec.mName = mKind == SQL_Token::kSum ? "sum" : "avg";
      fieldSpec.mType = kTypeDouble;
      break;
    default:
      fieldSpec.mName = mField->GetName();
      fieldSpec.mType = mField->GetType();
      if (fieldSpec.mType == kTypeString || fieldSpec.mType == kTypeVarChar) {
        fieldSpec.mSize = mField->GetMaxTextLength();
      } else if (fieldSpec.mType == kTypeFixedBinary || fieldSpec.mType == kTypeVarBinary) {
        fieldSpec.mSize = mField->GetValueSize();
      } else if (fieldSpec.mType == kTypeObjectPtr || fieldSpec.mType == kTypeRecID) {
        fieldSpec.mType = kTypeULong;
      }
      break;
  }
  fieldSpec.mFlags = kFieldNullable;
  return fieldSpec;
}

void OBL_Aggregate::SetGroupCount(uint32_t count) {
  mStates.clear();
  mStates.resize(count);
}

bool OBL_Aggregate::AddRows(uint32_t rows, uint32_t group) {
  if (mField != nullptr) return false;
  mStates[group].mCount += rows;
  return true;
}

void OBL_Aggregate::Add(const OBL_I_JoinSet& rows, uint32_t row, uint32_t group) {
  State& state = mStates[group];
  if (mField == nullptr) {  // count(*)
    ++state.mCount;
    return;
  }
  const REC_ID rec = rows.Get(row, mColumn);
  if (mKind == SQL_Token::kField) {
    if (!state.mHasValue) state.mBestRec = rec;
    state.mHasValue = true;
    return;
  }
  FBL_BaseField& value = mReader->Load(rec);
  if (rec == 0 || value.IsNull()) return;
  uint8_t key[FBL_KeyOrder::kMaxKeySize];
  uint32_t length = 0;
  if (mDistinct || mKind == SQL_Token::kMin || mKind == SQL_Token::kMax) {
    length = value.MakeKey(key);
    if (mDistinct && !state.mSeen.emplace(reinterpret_cast<const char*>(key), length).second) return;
  }
  ++state.mCount;
  switch (mKind) {
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
      state.mSum += value.GetAsDouble();
      break;
    case SQL_Token::kMin:
    case SQL_Token::kMax: {
      const int c =
          state.mHasValue ? mReader->Order().CompareKeys(key, state.mBestKey.data()) : 0;
      if (!state.mHasValue || (mKind == SQL_Token::kMin ? c < 0 : c > 0)) {
        state.mBestKey.assign(key, key + std::max<uint32_t>(length, 1));
        state.mBestRec = rec;
        state.mHasValue = true;
      }
      break;
    }
    default:
      break;
  }
}

void OBL_Aggregate::Store(FBL_BaseField& result, uint32_t group) {
  const State& state = mStates[group];
  switch (mKind) {
    case SQL_Token::kCount:
      result.SetFromBits(state.mCount, false);
      return;
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
      if (state.mCount == 0) {
        result.SetNull(true);
      } else {
        result.SetFromDouble(mKind == SQL_Token::kSum ? state.mSum
                                                      : state.mSum / double(state.mCount));
      }
      return;
    default:
      if (state.mBestRec == 0) {
        result.SetNull(true);
        return;
      }
      FBL_BaseField& value = mReader->Load(state.mBestRec);
      if (value.IsNull()) {
        result.SetNull(true);
      } else if (result.GetType() != value.GetType()) {
        result.SetFromBits(value.GetAsBits(), false);
      } else {
        result.AssignFrom(value);
      }
      return;
  }
}
