// The byte-string columns with a declared length L: BF_FixedBinary keeps
// L + 2 bytes per record in place (a u16 length, byte-reversed for a
// database of the other byte order, then L bytes); BF_VarBinary keeps the
// bytes in a VarChar file (see length_field.h for both).
//
// Values compare, and their keys sort, in plain unsigned byte order, a
// shorter value before a longer one beginning with it. Their text form is
// their bytes; a number assigned from a byte string becomes 0.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/tables/length_field.h"

class BF_FixedBinary : public FBL_LengthField {
 public:
  static constexpr uint16_t kDefaultLength = 20;
  BF_FixedBinary(const std::string& name, uint16_t flags, uint16_t length = 0);

  uint32_t GetValueSize() const override { return GetDeclaredLength() + 2u; }
  uint32_t GetMaxTextLength() const override { return GetDeclaredLength(); }
  // The buffer's form: a u16 length (machine order, cut to L), then bytes.
  void SetValue(const void* bytes) override;
  void AssignFrom(FBL_BaseField& other) override;
  // Byte strings are never indexed by words: that bit is not taken.
  void AddFlags(uint16_t flags, bool persist) override;
  bool KeysCompareAsBytes() const override { return true; }
  ValueClass GetValueClass() const override { return ValueClass::kBinary; }

  // Bytes of the current value.
  uint32_t GetDataLength() { return static_cast<uint32_t>(GetContent().size()); }
  // Keeps the first min(length, L) bytes; null flag 0, dirty flag 1.
  void SetData(const void* bytes, uint32_t length);

 protected:
  BF_FixedBinary(uint8_t type, const std::string& name, uint16_t flags, uint16_t length,
                 bool varStorage);

  std::string_view ContentOf(const uint8_t* buffer) const override;
  void PutContent(const char* bytes, size_t length) override;
  int CompareContent(std::string_view left, std::string_view right) const override;
  bool IsText() const override { return false; }
  void ParseText(const char* text) override;
};

class BF_VarBinary : public BF_FixedBinary {
 public:
  static constexpr uint16_t kDefaultLength = 504;
  BF_VarBinary(const std::string& name, uint16_t flags, uint16_t length = 0);
  uint32_t GetValueSize() const override { return GetDeclaredLength(); }
};
