// The fixed-size numeric columns: the integer family (one template over
// the stored width and signedness), Float and Double, Boolean (a bit file),
// the record's own RecID, and the object pointers as value holders.
//
// Stored forms: integers and floating point values as their 1, 2, 4 or 8
// bytes, reversed for a database of the other byte order; Medium values as
// 3 bytes, least significant first, in either order. Text: decimal; Float
// "%G", Double "%.16G".
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "kernel/tables/base_field.h"

// Truncates bits to a width of bytes, two's complement, sign-extending a
// signed type.
// A value of a numeric buffer, read without alignment assumptions.
template <typename T>
T LoadNumber(const void* bytes) {
  T v;
  std::memcpy(&v, bytes, sizeof v);
  return v;
}

// NaN sorts after every number and equals every NaN, as the keys' order
// bits have it: one total order for values, index pages and searches.
template <typename T>
int CompareNumbers(const void* left, const void* right) {
  const T a = LoadNumber<T>(left), b = LoadNumber<T>(right);
  if constexpr (std::is_floating_point_v<T>) {
    const bool aNaN = a != a, bNaN = b != b;
    if (aNaN || bNaN) return aNaN == bNaN ? 0 : (aNaN ? 1 : -1);
  }
  return (a > b) - (a < b);
}

template <typename T, uint32_t kWidth>
T FitToWidth(uint64_t bits) {
  if constexpr (kWidth < 8) {
    uint64_t mask = (uint64_t{1} << (8 * kWidth)) - 1;
    bits &= mask;
    if (std::is_signed_v<T> && (bits >> (8 * kWidth - 1) & 1)) bits |= ~mask;
  }
  return static_cast<T>(bits);
}

namespace zv {

// Bits of a double truncated toward zero; NaN gives 0, values beyond 64 bits
// the nearest end.
uint64_t TruncateDouble(double value);

}  // namespace zv

template <typename T, uint8_t kCode, uint32_t kWidth, uint32_t kMaxText>
class BF_Integer : public FBL_BaseField {
 public:
  using ValueType = T;
  BF_Integer(const std::string& name, uint16_t flags, uint8_t type = kCode)
      : FBL_BaseField(type, name, flags) {}

  T Get() {
    T v;
    CopyBuffer(&v, sizeof v);
    return v;
  }
  void Set(T v) { SetValue(&v); }

  uint32_t GetValueSize() const override { return kWidth; }
  uint32_t GetBufferSize() const override { return sizeof(T); }
  uint32_t GetMaxTextLength() const override { return kMaxText; }
  int CompareValues(const void* left, const void* right) const override {
    return CompareNumbers<T>(left, right);
  }
  ValueClass GetValueClass() const override {
    return std::is_signed_v<T> ? ValueClass::kSigned : ValueClass::kUnsigned;
  }
  void CompareSlots(const FBL_BitSet& candidates, const void* bound, uint8_t orders,
                    FBL_BitSet& found) override {
    CompareSlotsWith(candidates, orders, found,
                     [bound](const uint8_t* value) { return CompareNumbers<T>(value, bound); });
  }

 protected:
  T Value() const { return LoadNumber<T>(Buffer()); }
  void Store(T v) { std::memcpy(Buffer(), &v, sizeof v); }

  void EncodeValue(uint8_t* out) const override {
    T v = Value();
    if constexpr (kWidth < sizeof(T)) {
      for (uint32_t i = 0; i < kWidth; ++i) out[i] = static_cast<uint8_t>(uint64_t(v) >> (8 * i));
    } else {
      std::memcpy(out, &v, kWidth);
    }
  }
  void DecodeValue(const uint8_t* in) override {
    if constexpr (kWidth < sizeof(T)) {
      uint64_t bits = 0;
      for (uint32_t i = 0; i < kWidth; ++i) bits |= uint64_t{in[i]} << (8 * i);
      Store(FitToWidth<T, kWidth>(bits));
    } else {
      T v;
      std::memcpy(&v, in, kWidth);
      Store(v);
    }
  }
  void KeyToBuffer(const uint8_t* key, uint8_t* buffer) const override {
    if constexpr (kWidth < sizeof(T)) {
      uint64_t bits = 0;
      for (uint32_t i = 0; i < kWidth; ++i) bits |= uint64_t{key[i]} << (8 * i);
      T v = FitToWidth<T, kWidth>(bits);
      std::memcpy(buffer, &v, sizeof v);
    } else {
      std::memcpy(buffer, key, kWidth);
    }
  }
  void ParseText(const char* text) override;
  std::string FormText() const override;
  bool IsRawCopy() const override { return kWidth == sizeof(T); }
  uint64_t BufferBits() const override {
    if constexpr (std::is_signed_v<T>) return static_cast<uint64_t>(static_cast<int64_t>(Value()));
    return static_cast<uint64_t>(Value());
  }
  double BufferDouble() const override { return static_cast<double>(Value()); }
  void PutBits(uint64_t bits, bool /*isSigned*/) override { Store(FitToWidth<T, kWidth>(bits)); }
  void PutDouble(double value) override { Store(FitToWidth<T, kWidth>(zv::TruncateDouble(value))); }
};

using BF_BYTE = BF_Integer<uint8_t, kTypeByte, 1, 3>;
using BF_SHORT = BF_Integer<int16_t, kTypeShort, 2, 6>;
using BF_USHORT = BF_Integer<uint16_t, kTypeUShort, 2, 5>;
using BF_Medium = BF_Integer<int32_t, kTypeMedium, 3, 8>;
using BF_UMedium = BF_Integer<uint32_t, kTypeUMedium, 3, 8>;
using BF_LONG = BF_Integer<int32_t, kTypeLong, 4, 11>;
using BF_ULONG = BF_Integer<uint32_t, kTypeULong, 4, 10>;
using BF_LLong = BF_Integer<int64_t, kTypeLLong, 8, 20>;
using BF_ULLong = BF_Integer<uint64_t, kTypeULLong, 8, 20>;

extern template class BF_Integer<uint8_t, kTypeByte, 1, 3>;
extern template class BF_Integer<int16_t, kTypeShort, 2, 6>;
extern template class BF_Integer<uint16_t, kTypeUShort, 2, 5>;
extern template class BF_Integer<int32_t, kTypeMedium, 3, 8>;
extern template class BF_Integer<uint32_t, kTypeUMedium, 3, 8>;
extern template class BF_Integer<int32_t, kTypeLong, 4, 11>;
extern template class BF_Integer<uint32_t, kTypeULong, 4, 10>;
extern template class BF_Integer<int64_t, kTypeLLong, 8, 20>;
extern template class BF_Integer<uint64_t, kTypeULLong, 8, 20>;

// IEEE single and double precision.
template <typename T, uint8_t kCode>
class BF_Real : public FBL_BaseField {
 public:
  using ValueType = T;
  BF_Real(const std::string& name, uint16_t flags) : FBL_BaseField(kCode, name, flags) {}

  T Get() {
    T v;
    CopyBuffer(&v, sizeof v);
    return v;
  }
  void Set(T v) { SetValue(&v); }

  uint32_t GetValueSize() const override { return sizeof(T); }
  uint32_t GetMaxTextLength() const override { return sizeof(T) == 4 ? 16 : 24; }
  int CompareValues(const void* left, const void* right) const override {
    return CompareNumbers<T>(left, right);
  }
  ValueClass GetValueClass() const override { return ValueClass::kFloating; }
  void CompareSlots(const FBL_BitSet& candidates, const void* bound, uint8_t orders,
                    FBL_BitSet& found) override {
    CompareSlotsWith(candidates, orders, found,
                     [bound](const uint8_t* value) { return CompareNumbers<T>(value, bound); });
  }

 protected:
  T Value() const { return LoadNumber<T>(Buffer()); }
  void Store(double v);
  void EncodeValue(uint8_t* out) const override { std::memcpy(out, Buffer(), sizeof(T)); }
  void DecodeValue(const uint8_t* in) override { std::memcpy(Buffer(), in, sizeof(T)); }
  void ParseText(const char* text) override;
  std::string FormText() const override;
  bool IsRawCopy() const override { return true; }
  double BufferDouble() const override { return Value(); }
  uint64_t BufferBits() const override { return zv::TruncateDouble(Value()); }
  void PutBits(uint64_t bits, bool isSigned) override {
    Store(isSigned ? static_cast<double>(static_cast<int64_t>(bits)) : static_cast<double>(bits));
  }
  void PutDouble(double value) override { Store(value); }
};

using BF_FLOAT = BF_Real<float, kTypeFloat>;
using BF_DOUBLE = BF_Real<double, kTypeDouble>;
extern template class BF_Real<float, kTypeFloat>;
extern template class BF_Real<double, kTypeDouble>;

// 0 or 1; the value file is a bit file with no header (bit set = true),
// which also answers the column's searches: the indexed flag stays on.
class BF_BOOL : public FBL_BaseField {
 public:
  BF_BOOL(const std::string& name, uint16_t flags) : FBL_BaseField(kTypeBoolean, name, flags) {}
  bool Get() {
    uint8_t v;
    GetValue(&v);
    return v != 0;
  }
  void Set(bool v) {
    uint8_t b = v ? 1 : 0;
    SetValue(&b);
  }
  uint32_t GetValueSize() const override { return 1; }
  uint32_t GetMaxTextLength() const override { return 5; }
  int CompareValues(const void* left, const void* right) const override;
  ValueClass GetValueClass() const override { return ValueClass::kUnsigned; }
  void SetValue(const void* bytes) override;
  void RemoveFlags(uint16_t flags, bool persist) override;
  void CreateIndex() override {}
  // Answered from the bit file: the alive records whose value lies in the
  // range (a calculated Boolean finds nothing). The array set lists the
  // false ones, then the true ones, each ascending.
  std::unique_ptr<FBL_BitSet> FindRange(const void* left, bool leftIncluded, const void* right,
                                        bool rightIncluded) override;
  std::unique_ptr<FBL_ArraySet> FindRangeAsSet(const void* left, bool leftIncluded,
                                               const void* right, bool rightIncluded) override;

 protected:
  void EncodeValue(uint8_t* out) const override { out[0] = Buffer()[0]; }
  void DecodeValue(const uint8_t* in) override { Buffer()[0] = in[0] != 0; }
  void ParseText(const char* text) override;
  std::string FormText() const override { return Buffer()[0] ? "1" : "0"; }
  uint64_t BufferBits() const override { return Buffer()[0]; }
  double BufferDouble() const override { return Buffer()[0]; }
  void PutBits(uint64_t bits, bool) override { Buffer()[0] = bits != 0; }
  void PutDouble(double value) override { Buffer()[0] = value != 0; }
  std::unique_ptr<FBL_EmbededFile> MakeValueFile(FBL_DataFile& volume) override;
  void ReadValue(REC_ID recID) override;
  void WriteValue(REC_ID recID) override;
  void TruncateValues(uint32_t count) override;
};

// The record's own RecID: never stored, never changed by the user (341).
class F_ID : public BF_Integer<uint32_t, kTypeULong, 4, 10> {
 public:
  explicit F_ID(const std::string& name) : BF_Integer(name, 0, kTypeRecID) {}
  using FBL_BaseField::SetString;
  void SetValue(const void* bytes) override;
  void SetString(const char* text) override;
  void SetNull(bool null) override;
  void AssignFrom(FBL_BaseField& other) override;

 protected:
  bool HasValueFile() const override { return false; }
  bool IsRawCopy() const override { return false; }
  void PutBits(uint64_t bits, bool isSigned) override;
  void PutDouble(double value) override;
  void ReadValue(REC_ID recID) override { Store(recID); }
  void WriteValue(REC_ID recID) override { Store(recID); }
};

// The RecID of a record of the target table (the link itself belongs to
// the object layer). Type 0 is the table pointer of an inherited table.
class BF_TablePTR : public BF_Integer<uint32_t, kTypeULong, 4, 10> {
 public:
  BF_TablePTR(const std::string& name, uint16_t flags, uint8_t type = kTypeTablePtr)
      : BF_Integer(name, flags, type) {}
  // Not owned; the target outlives the field.
  FBL_Table* GetTargetTable() const { return mTarget; }
  void SetTargetTable(FBL_Table* target, bool persist) {
    mTarget = target;
    NotifySchemaChange(FBL_SchemaChange::kFieldTarget, persist);
  }

 private:
  FBL_Table* mTarget = nullptr;
};

class F_ObjectPTR : public BF_TablePTR {
 public:
  F_ObjectPTR(const std::string& name, uint16_t flags) : BF_TablePTR(name, flags, kTypeObjectPtr) {}
};
