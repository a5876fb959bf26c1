// Date, Time and DateTime columns. Values are the packed words of
// date_time.h: a Date is a Long, a Time a ULong, a DateTime a Long Long
// stored as two 32-bit words, the time word first, each reversed alone for
// a database of the other byte order. Text follows the date settings of
// the field's database (FBL_DataBase::GetDateSettings), or the defaults for
// a field attached to no table.
#pragma once

#include <bit>

#include "kernel/tables/numeric_fields.h"

class BF_DATE : public BF_LONG {
 public:
  BF_DATE(const std::string& name, uint16_t flags) : BF_LONG(name, flags, kTypeDate) {}
  uint32_t GetMaxTextLength() const override { return 20; }
  // A DateTime gives its date.
  void AssignFrom(FBL_BaseField& other) override;

 protected:
  void ParseText(const char* text) override;
  std::string FormText() const override;
};

class BF_TIME : public BF_ULONG {
 public:
  BF_TIME(const std::string& name, uint16_t flags) : BF_ULONG(name, flags, kTypeTime) {}
  uint32_t GetMaxTextLength() const override { return 10; }
  // A DateTime gives its time.
  void AssignFrom(FBL_BaseField& other) override;

 protected:
  void ParseText(const char* text) override;
  std::string FormText() const override;
};

class BF_DateTime : public BF_LLong {
 public:
  BF_DateTime(const std::string& name, uint16_t flags) : BF_LLong(name, flags, kTypeDateTime) {}
  uint32_t GetMaxTextLength() const override { return 20; }
  // A Date gives the date at time 0; a Time the time on date 0.
  void AssignFrom(FBL_BaseField& other) override;
  void SwapBytes(uint8_t* value) const override;

 protected:
  // Time word first: the 64-bit value's own bytes only on a little-endian machine.
  bool IsRawCopy() const override { return std::endian::native == std::endian::little; }
  void EncodeValue(uint8_t* out) const override;
  void DecodeValue(const uint8_t* in) override;
  void KeyToBuffer(const uint8_t* key, uint8_t* buffer) const override;
  void ParseText(const char* text) override;
  std::string FormText() const override;
};
