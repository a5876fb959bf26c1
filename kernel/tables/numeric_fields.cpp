#include "kernel/tables/numeric_fields.h"

#include <cfloat>
#include <cmath>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/number_text.h"
#include "kernel/tables/record_map.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

uint64_t zv::TruncateDouble(double value) {
  if (std::isnan(value)) return 0;
  if (value < 0) {
    if (value <= -9223372036854775808.0) return uint64_t{1} << 63;
    return static_cast<uint64_t>(static_cast<int64_t>(value));
  }
  if (value >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(value);
}

// ---- integers ---------------------------------------------------------------------

// Byte to Long parse as 32-bit signed and truncate; ULong parses unsigned;
// the 64-bit types parse 64 bits.
template <typename T, uint8_t kCode, uint32_t kWidth, uint32_t kMaxText>
void BF_Integer<T, kCode, kWidth, kMaxText>::ParseText(const char* text) {
  uint64_t bits;
  if constexpr (sizeof(T) == 8 && std::is_signed_v<T>) {
    bits = static_cast<uint64_t>(zv::ParseInt64(text));
  } else if constexpr (sizeof(T) == 8) {
    bits = zv::ParseUInt64(text);
  } else if constexpr (std::is_unsigned_v<T> && kWidth == 4) {
    bits = zv::ParseUInt32(text);
  } else {
    bits = static_cast<uint64_t>(static_cast<int64_t>(zv::ParseInt32(text)));
  }
  Store(FitToWidth<T, kWidth>(bits));
}

template <typename T, uint8_t kCode, uint32_t kWidth, uint32_t kMaxText>
std::string BF_Integer<T, kCode, kWidth, kMaxText>::FormText() const {
  if constexpr (std::is_signed_v<T>) return zv::FormatSigned(Value());
  return zv::FormatUnsigned(Value());
}

template class BF_Integer<uint8_t, kTypeByte, 1, 3>;
template class BF_Integer<int16_t, kTypeShort, 2, 6>;
template class BF_Integer<uint16_t, kTypeUShort, 2, 5>;
template class BF_Integer<int32_t, kTypeMedium, 3, 8>;
template class BF_Integer<uint32_t, kTypeUMedium, 3, 8>;
template class BF_Integer<int32_t, kTypeLong, 4, 11>;
template class BF_Integer<uint32_t, kTypeULong, 4, 10>;
template class BF_Integer<int64_t, kTypeLLong, 8, 20>;
template class BF_Integer<uint64_t, kTypeULLong, 8, 20>;

// ---- floating point -----------------------------------------------------------------

template <typename T, uint8_t kCode>
void BF_Real<T, kCode>::Store(double v) {
  // A double beyond single range becomes an infinity, not undefined behaviour.
  if (sizeof(T) == 4 && std::isfinite(v) && std::fabs(v) > FLT_MAX) {
    v = std::copysign(HUGE_VAL, v);
  }
  T t = static_cast<T>(v);
  std::memcpy(Buffer(), &t, sizeof t);
}

template <typename T, uint8_t kCode>
void BF_Real<T, kCode>::ParseText(const char* text) {
  Store(zv::ParseDouble(text));
}

template <typename T, uint8_t kCode>
std::string BF_Real<T, kCode>::FormText() const {
  if constexpr (sizeof(T) == 4) return zv::FormatFloat(Value());
  return zv::FormatDouble(Value());
}

template class BF_Real<float, kTypeFloat>;
template class BF_Real<double, kTypeDouble>;

// ---- Boolean ----------------------------------------------------------------------------

int BF_BOOL::CompareValues(const void* left, const void* right) const {
  int a = *static_cast<const uint8_t*>(left) != 0;
  int b = *static_cast<const uint8_t*>(right) != 0;
  return a - b;
}

void BF_BOOL::SetValue(const void* bytes) {
  Buffer()[0] = *static_cast<const uint8_t*>(bytes) != 0;
  MarkChanged();
}

void BF_BOOL::RemoveFlags(uint16_t flags, bool persist) {
  FBL_BaseField::RemoveFlags(static_cast<uint16_t>(flags & ~kFieldIndexed), persist);
}

namespace {

// Whether a Boolean value lies between bounds (null: open side).
bool InBoolRange(bool v, const void* left, bool leftIncluded, const void* right,
                 bool rightIncluded) {
  if (left != nullptr) {
    bool l = *static_cast<const uint8_t*>(left) != 0;
    if (v < l || (v == l && !leftIncluded)) return false;
  }
  if (right != nullptr) {
    bool r = *static_cast<const uint8_t*>(right) != 0;
    if (v > r || (v == r && !rightIncluded)) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<FBL_BitSet> BF_BOOL::FindRange(const void* left, bool leftIncluded,
                                               const void* right, bool rightIncluded) {
  FBL_Table* table = GetTable();
  const uint32_t size = table != nullptr ? table->GetMaxRecID() : 0;
  const bool takeFalse = InBoolRange(false, left, leftIncluded, right, rightIncluded);
  const bool takeTrue = InBoolRange(true, left, leftIncluded, right, rightIncluded);
  if (table == nullptr || IsMethod() || size == 0 || !(takeFalse || takeTrue)) {
    return std::make_unique<FBL_BitSet>(size);
  }
  std::unique_ptr<FBL_BitSet> alive = table->SelectAllRecords();
  if (takeFalse && takeTrue) return alive;
  std::unique_ptr<FBL_BitSet> set =
      LoadBitFile(static_cast<FBL_BitSetFile*>(Desc().mValueFile.get()), alive->GetSize());
  if (takeFalse) set->Invert();
  set->Intersection(*alive);
  return set;
}

std::unique_ptr<FBL_ArraySet> BF_BOOL::FindRangeAsSet(const void* left, bool leftIncluded,
                                                      const void* right, bool rightIncluded) {
  auto result = std::make_unique<FBL_ArraySet>();
  for (uint8_t v : {0, 1}) {
    if (!InBoolRange(v, left, leftIncluded, right, rightIncluded)) continue;
    std::unique_ptr<FBL_BitSet> part = FindRange(&v, true, &v, true);
    for (REC_ID r = part->NextMember(0); r != 0; r = part->NextMember(r)) result->Append(r);
  }
  return result;
}

void BF_BOOL::ParseText(const char* text) {
  Buffer()[0] = zv::ParseBoolean(text) ? 1 : 0;
}

std::unique_ptr<FBL_EmbededFile> BF_BOOL::MakeValueFile(FBL_DataFile& volume) {
  return std::make_unique<FBL_BitSetFile>(volume, GetTable()->GetTableId(), kKindValues,
                                          FileSubIndex(), 0);
}

void BF_BOOL::ReadValue(REC_ID recID) {
  auto* file = static_cast<FBL_BitSetFile*>(Desc().mValueFile.get());
  Buffer()[0] = file != nullptr && file->IsOpen() && file->GetBit(recID);
}

void BF_BOOL::WriteValue(REC_ID recID) {
  auto* file = static_cast<FBL_BitSetFile*>(Desc().mValueFile.get());
  if (file == nullptr || !file->IsOpen()) throw xFBL_FieldError("Field files are not open");
  zv::SetFileBit(*file, 0, recID, Buffer()[0] != 0);
}

void BF_BOOL::TruncateValues(uint32_t count) {
  auto* file = static_cast<FBL_BitSetFile*>(Desc().mValueFile.get());
  if (file != nullptr && file->IsOpen()) zv::CutBitFile(*file, 0, count);
}

// ---- RecID ----------------------------------------------------------------------------------

void F_ID::SetValue(const void*) {
  throw xFBL_FieldIsConstant();
}

void F_ID::SetString(const char*) {
  throw xFBL_FieldIsConstant();
}

void F_ID::SetNull(bool) {
  throw xFBL_FieldIsConstant();
}

void F_ID::AssignFrom(FBL_BaseField&) {
  throw xFBL_FieldIsConstant();
}

void F_ID::PutBits(uint64_t, bool) {
  throw xFBL_FieldIsConstant();
}

void F_ID::PutDouble(double) {
  throw xFBL_FieldIsConstant();
}
