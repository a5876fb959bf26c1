// ZDK_Field: what a field handle names. The wrapper points at a kernel
// field of a table (or, later, of a cursor) and adds typed access; one
// subclass per field type. Value access works on the kernel field's
// buffer, the current record's value: the kernel's getters compute a
// calculated field for its current record before they read.
//
// Lifecycle: made by its table's wrapper (ZDK_BaseObject::SyncFields) for
// each kernel field, registered under a handle, destroyed with the table's
// wrapper or when its field leaves the table. A type change replaces the
// kernel field; the new wrapper takes over the old one's handle.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/date_time_fields.h"
#include "kernel/tables/language.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"

class OBL_BaseObject;

namespace api {

class ZDK_BaseObject;

class ZDK_Field {
 public:
  // Registers the wrapper under a new handle, or under `handle` when it
  // is not 0 (a replacement keeps its predecessor's handle).
  ZDK_Field(FBL_BaseField& field, ZDK_BaseObject* owner, int32_t handle = 0);
  virtual ~ZDK_Field();
  ZDK_Field(const ZDK_Field&) = delete;
  ZDK_Field& operator=(const ZDK_Field&) = delete;

  int32_t GetHandle() const { return mHandle; }
  // Hands the handle to a successor: this wrapper no longer names it.
  int32_t TakeHandle() {
    const int32_t handle = mHandle;
    mHandle = 0;
    return handle;
  }
  FBL_BaseField& Kernel() const { return *mField; }
  // Null for a cursor's field.
  ZDK_BaseObject* GetOwner() const { return mOwner; }
  const std::string& GetName() const { return mField->GetName(); }
  uint8_t GetType() const { return mField->GetType(); }

  virtual bool IsNull() { return mField->IsNull(); }
  virtual void SetNull(bool null) { mField->SetNull(null); }
  std::string GetString(uint32_t maxChars = UINT32_MAX) { return mField->GetString(maxChars); }
  void SetString(const char* text) { mField->SetString(text); }
  // An empty value, null when the field is nullable.
  virtual void SetBlank();

  // True when every bit of the field-flag mask is set.
  bool GetFlags(uint16_t mask) const { return (mField->GetFlags() & mask) == mask; }
  // Persisted through the table; indexed and unique bits build or drop
  // the index.
  void SetFlags(uint16_t mask);
  void ClearFlags(uint16_t mask);
  const std::string& GetMethod() const { return mField->GetMethodText(); }
  void SetMethod(const std::string& text);

 protected:
  FBL_BaseField* mField;

 private:
  ZDK_BaseObject* mOwner;
  int32_t mHandle;
};

// The numbers (and object pointers, whose value is a RecID).
template <typename KernelField>
class ZDK_Number : public ZDK_Field {
 public:
  using ValueType = typename KernelField::ValueType;
  using ZDK_Field::ZDK_Field;
  void SetValue(ValueType v) { Typed().Set(v); }
  ValueType GetValue() { return Typed().Get(); }

 protected:
  KernelField& Typed() { return static_cast<KernelField&>(*mField); }
};

class ZDK_Boolean : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  void SetValue(bool v) { static_cast<BF_BOOL&>(*mField).Set(v); }
  bool GetValue() { return static_cast<BF_BOOL&>(*mField).Get(); }
};

using ZDK_Byte = ZDK_Number<BF_BYTE>;
using ZDK_Short = ZDK_Number<BF_SHORT>;
using ZDK_UShort = ZDK_Number<BF_USHORT>;
using ZDK_Medium = ZDK_Number<BF_Medium>;
using ZDK_UMedium = ZDK_Number<BF_UMedium>;
using ZDK_Long = ZDK_Number<BF_LONG>;
using ZDK_ULong = ZDK_Number<BF_ULONG>;
using ZDK_LLong = ZDK_Number<BF_LLong>;
using ZDK_ULLong = ZDK_Number<BF_ULLong>;
using ZDK_Float = ZDK_Number<BF_FLOAT>;
using ZDK_Double = ZDK_Number<BF_DOUBLE>;

class ZDK_ObjectPtr : public ZDK_Number<F_ObjectPTR> {
 public:
  using ZDK_Number::ZDK_Number;
  // Null when the pointer has no target.
  OBL_BaseObject* GetTarget() const;
  uint8_t GetDeletionControl() const;
};

// Date word: year << 9 | month << 5 | day; time word: hours << 12 |
// minutes << 6 | seconds; a DateTime is the time word, then the date word.
uint32_t MakeDateWord(int32_t year, uint32_t month, uint32_t day);
uint32_t MakeTimeWord(uint32_t hours, uint32_t minutes, uint32_t seconds);

class ZDK_Date : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  void SetDate(int32_t year, uint32_t month, uint32_t day);
  void GetDate(int32_t& year, uint32_t& month, uint32_t& day);
};

class ZDK_Time : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  void SetTime(uint32_t hours, uint32_t minutes, uint32_t seconds);
  void GetTime(uint32_t& hours, uint32_t& minutes, uint32_t& seconds);
};

class ZDK_DateTime : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  void SetDate(int32_t year, uint32_t month, uint32_t day);
  void GetDate(int32_t& year, uint32_t& month, uint32_t& day);
  void SetTime(uint32_t hours, uint32_t minutes, uint32_t seconds);
  void GetTime(uint32_t& hours, uint32_t& minutes, uint32_t& seconds);

 private:
  BF_DateTime& Typed() { return static_cast<BF_DateTime&>(*mField); }
};

class ZDK_String : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  // The declared maximum length.
  uint16_t GetLength() const { return static_cast<BF_STRING&>(*mField).GetDeclaredLength(); }
  const std::string& GetLanguage() const {
    return static_cast<BF_STRING&>(*mField).GetLanguage().GetName();
  }
};
class ZDK_VarChar : public ZDK_String {
 public:
  using ZDK_String::ZDK_String;
};

class ZDK_FixedBinary : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  uint32_t GetDataLength() { return Typed().GetDataLength(); }
  // Copies min(value length, out size) bytes; returns the value length.
  uint32_t CopyTo(std::span<uint8_t> out);
  // Keeps min(length, declared length) bytes.
  void SetData(const void* bytes, uint16_t length) { Typed().SetData(bytes, length); }
  uint16_t GetLength() const { return static_cast<BF_FixedBinary&>(*mField).GetDeclaredLength(); }

 private:
  BF_FixedBinary& Typed() { return static_cast<BF_FixedBinary&>(*mField); }
};
class ZDK_VarBinary : public ZDK_FixedBinary {
 public:
  using ZDK_FixedBinary::ZDK_FixedBinary;
};

class ZDK_BLOB : public ZDK_Field {
 public:
  using ZDK_Field::ZDK_Field;
  void SetBlank() override;
  uint32_t GetDataSize() { return Typed().GetDataSize(); }
  // The data grows with zeros to reach position when it is shorter.
  void WriteData(const uint8_t* bytes, uint32_t length, uint32_t position);
  void DeleteData() { Typed().SetData(nullptr, 0); }
  // Bytes from position on, at most length; fewer past the data's end.
  std::vector<uint8_t> ReadData(uint32_t length, uint32_t position);
  uint32_t GetSegmentSize() const { return static_cast<BF_BLOB&>(*mField).GetSegmentSize(); }

 protected:
  BF_BLOB& Typed() { return static_cast<BF_BLOB&>(*mField); }
};

class ZDK_Text : public ZDK_BLOB {
 public:
  using ZDK_BLOB::ZDK_BLOB;
  const std::string& GetLanguage() const {
    return static_cast<BF_TEXT&>(*mField).GetLanguage().GetName();
  }
  // The whole text is the data.
  void WriteText(const char* text, size_t length);
};

class ZDK_Picture : public ZDK_BLOB {
 public:
  using ZDK_BLOB::ZDK_BLOB;
  // A 24-bit bitmap in a new registry block (kind Bitmap); its handle, or
  // 0 when the field holds no picture.
  int32_t GetPicture();
  // quality above 100: the field's own.
  void SetPicture(std::span<const uint8_t> bitmap, uint16_t quality);
};

// The typed wrapper for a kernel field; 308 for a type without one.
std::unique_ptr<ZDK_Field> MakeFieldWrapper(FBL_BaseField& field, ZDK_BaseObject* owner,
                                            int32_t handle = 0);

// The field a handle names, or null.
ZDK_Field* FindField(int32_t handle);

}  // namespace api
