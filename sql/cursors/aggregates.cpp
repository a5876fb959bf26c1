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
  OBL_FieldSpec spec;
  switch (mKind) {
    case SQL_Token::kCount:
      spec.mName = "count";
      spec.mType = kTypeLong;
      break;
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
      spec.mName = mKind == SQL_Token::kSum ? "sum" : "avg";
      spec.mType = kTypeDouble;
      break;
    default:
      spec.mName = mField->GetName();
      spec.mType = mField->GetType();
      if (spec.mType == kTypeString || spec.mType == kTypeVarChar) {
        spec.mSize = mField->GetMaxTextLength();
      } else if (spec.mType == kTypeFixedBinary || spec.mType == kTypeVarBinary) {
        spec.mSize = mField->GetValueSize();
      } else if (spec.mType == kTypeObjectPtr || spec.mType == kTypeRecID) {
        spec.mType = kTypeULong;
      }
      break;
  }
  spec.mFlags = kFieldNullable;
  return spec;
}

void OBL_Aggregate::Reset() {
  mCount = 0;
  mSum = 0;
  mBestRec = 0;
  mHasRow = false;
  mBestKey.clear();
  mSeen.clear();
}

bool OBL_Aggregate::Take(const uint8_t* key, uint32_t length) {
  if (!mDistinct) return true;
  return mSeen.emplace(reinterpret_cast<const char*>(key), length).second;
}

void OBL_Aggregate::Add(const OBL_I_JoinSet& rows, uint32_t row) {
  if (mField == nullptr) {  // count(*)
    ++mCount;
    return;
  }
  const REC_ID rec = rows.Get(row, mColumn);
  if (mKind == SQL_Token::kField) {
    if (!mHasRow) mBestRec = rec;
    mHasRow = true;
    return;
  }
  FBL_BaseField& value = mReader->Load(rec);
  if (rec == 0 || value.IsNull()) return;
  uint8_t key[FBL_KeyOrder::kMaxKeySize];
  uint32_t length = 0;
  if (mDistinct || mKind == SQL_Token::kMin || mKind == SQL_Token::kMax) {
    length = value.MakeKey(key);
    if (!Take(key, length)) return;
  }
  ++mCount;
  switch (mKind) {
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
      mSum += value.GetAsDouble();
      break;
    case SQL_Token::kMin:
    case SQL_Token::kMax: {
      const bool first = mBestKey.empty() && mBestRec == 0;
      int c = first ? 0 : mReader->Order().CompareKeys(key, mBestKey.data());
      if (first || (mKind == SQL_Token::kMin ? c < 0 : c > 0)) {
        mBestKey.assign(key, key + std::max<uint32_t>(length, 1));
        mBestRec = rec;
      }
      break;
    }
    default:
      break;
  }
}

void OBL_Aggregate::Store(FBL_BaseField& result) {
  switch (mKind) {
    case SQL_Token::kCount:
      result.SetFromBits(mCount, false);
      return;
    case SQL_Token::kSum:
    case SQL_Token::kAvg:
      if (mCount == 0) {
        result.SetNull(true);
      } else {
        result.SetFromDouble(mKind == SQL_Token::kSum ? mSum : mSum / double(mCount));
      }
      return;
    default:
      if (mBestRec == 0) {
        result.SetNull(true);
        return;
      }
      FBL_BaseField& value = mReader->Load(mBestRec);
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
