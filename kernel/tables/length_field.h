// FBL_LengthField: the common part of the String, VarChar, FixedBinary and
// VarBinary columns, which hold a value of at most a declared length L
// (16 bits). Their value lives in a buffer of the field's own (the inline
// 8 bytes of the base are not used), with an old-value buffer of the same
// size for index upkeep on update.
//
// Buffer forms: a text is L + 1 bytes, NUL-terminated and zero-filled past
// its end; a byte string is a u16 length in machine order, then L bytes.
//
// Storage: String and FixedBinary keep L + 1 or L + 2 bytes per record in
// the value file at (RecID - 1) * width. VarChar and VarBinary keep the
// value's bytes (a text without its NUL) in an FBL_VarCharFile, the
// column's second file; the column's value file is then the VarChar file's
// RefFile (u32 first record id of each physical page).
//
// Keys (text_keys.h): a length byte and at most 255 bytes of the value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/tables/base_field.h"

class FBL_VarCharFile;

class FBL_LengthField : public FBL_BaseField {
 public:
  ~FBL_LengthField() override;

  uint16_t GetDeclaredLength() const { return mLength; }
  // The value's bytes (a text without its NUL); empty for null.
  std::string_view GetContent();

  void InitFromField(const FBL_BaseField& other) override;
  void SetNull(bool null) override;
  void GetValue(void* out) override;
  uint32_t GetBufferSize() const override { return mBufferSize; }
  void CalculateMethod(REC_ID recID) override;
  int Compare(const void* value) override;
  int CompareValues(const void* left, const void* right) const override;

  bool HasFixedKey() const override { return false; }
  uint32_t GetMaxKeySize() const override { return kMaxIndexKeySize; }
  uint32_t GetKeyLength(const uint8_t* key) const override { return 1u + key[0]; }
  uint32_t MakeKey(uint8_t* out) override;
  int CompareKeys(const uint8_t* left, const uint8_t* right) const override;

  void CreateFiles() override;
  void OpenFiles() override;
  void DropFiles() override;
  void ChangeNumber(uint32_t newNumber) override;
  void ReadRecord(REC_ID recID) override;
  bool DiagnoseFiles(std::string& report) override;
  // The file of VarChar and VarBinary values; null for fixed slots or
  // before the column's files are made.
  FBL_VarCharFile* GetVarCharFile();
  void DeleteRecord(REC_ID recID) override;
  // A text's bytes are translated, not reversed (see the String type); a
  // byte string's length word is reversed.
  void SwapBytes(uint8_t* value) const override;

  // The key of the value stored for recID (MakeKey's form), read beside
  // the buffer: the current value and the old one stay. False for a null
  // value. REQUIRES: not calculated, the files open.
  bool ReadStoredKey(REC_ID recID, uint8_t* out);

  void SaveOldValue() override;
  void LoadOldValueOf(REC_ID recID) override;
  bool IsChanged() override;
  void SwapOldValue() override;

 protected:
  // bufferSize: the bytes of the buffer's form; varStorage: the values live
  // in a VarChar file.
  FBL_LengthField(uint8_t type, const std::string& name, uint16_t flags, uint16_t length,
                  uint32_t bufferSize, bool varStorage);

  // The bytes a buffer of this field's form holds.
  virtual std::string_view ContentOf(const uint8_t* buffer) const = 0;
  // Puts bytes into the buffer (cut to L); does not touch the flags.
  virtual void PutContent(const char* bytes, size_t length) = 0;
  // -1, 0 or +1 over two values' bytes.
  virtual int CompareContent(std::string_view left, std::string_view right) const = 0;
  // Whether stored bytes are translated between the machine's character
  // set and the other platform's (texts are, byte strings are not).
  virtual bool IsText() const = 0;

  uint8_t* Data() { return mBuffer.data(); }
  const uint8_t* Data() const { return mBuffer.data(); }
  void ClearValue();

  // The stored form of a fixed slot (the buffer's bytes; a byte string's
  // length word in machine order).
  void EncodeValue(uint8_t* out) const override;
  void DecodeValue(const uint8_t* in) override;
  std::string FormText() const override;
  std::unique_ptr<FBL_EmbededFile> MakeValueFile(FBL_DataFile& volume) override;
  void ReadValue(REC_ID recID) override;
  void WriteValue(REC_ID recID) override;
  void TruncateValues(uint32_t count) override;

 private:
  FBL_VarCharFile* VarFile();
  void MakeVarFile();
  void ReadFixed(REC_ID recID);
  void WriteFixed(REC_ID recID);
  void ReadVar(REC_ID recID);
  void WriteVar(REC_ID recID);
  // Stored bytes of a slot to the machine's form, and back.
  void FromStored(uint8_t* slot) const;
  void ToStored(uint8_t* slot) const;

  uint16_t mLength;
  uint32_t mBufferSize;
  bool mVarStorage;
  // One spare byte past the buffer's form: a VarChar read of L + 1 bytes
  // tells an overlong stored value.
  std::vector<uint8_t> mBuffer;
  std::vector<uint8_t> mOld;
  // ReadStoredKey's buffer.
  std::vector<uint8_t> mSpare;
  // ReadStoredKey's one-off reads leave the column's window and the cache
  // as they are.
  bool mReadAside = false;
};
