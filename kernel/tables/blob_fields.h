// BLOB, Text and Picture columns. The value file keeps, per record, only
// the u32 first block of the record's data in the column's BLOB file
// (blob_file.h); 0 is no data, and such a column is null exactly then.
//
// Ownership of chains: SetData writes a new chain and puts its first block
// in the buffer; WriteRecord frees the chain the record referenced before
// when it changes, and a reference the field did not make for this record
// (a buffer left from another record) is copied into a chain of its own, so
// no two records ever share one. DeleteRecord frees the record's chain and
// clears its slot, so a reused RecID starts with no data.
//
// Compressed columns (flag 0x40) store zlib deflate output; the value's tag
// holds the uncompressed length.
//
// Typed access: a BLOB or Picture value is bytes (no numbers; text set
// into one becomes its data), a Text value text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/tables/numeric_fields.h"

class FBL_BitSet;
class FBL_BLOBFile;
class FBL_Language;
struct FBL_TextRangeKeys;

class BF_BLOB : public BF_ULONG {
 public:
  BF_BLOB(const std::string& name, uint16_t flags, uint8_t type = kTypeBLOB);
  ~BF_BLOB() override;

  bool IsNull() override { return Reference() == 0; }
  uint32_t GetMaxTextLength() const override { return UINT32_MAX; }
  // The data's first maxChars bytes.
  std::string GetString(uint32_t maxChars = UINT32_MAX) override;
  ValueClass GetValueClass() const override { return ValueClass::kBinary; }
  // No index answers a BLOB or Picture column: 303.
  std::unique_ptr<FBL_BitSet> FindRangeByText(const char* left, bool leftIncluded,
                                              const char* right, bool rightIncluded) override;

  // The current record's data (expanded when compressed).
  std::vector<uint8_t> GetData();
  // Replaces the current record's data; written with the record.
  void SetData(const void* bytes, uint32_t length);
  uint32_t GetDataSize();

  uint32_t GetSegmentSize() const { return mSegmentSize; }
  // For a column whose files are not made yet.
  void SetSegmentSize(uint32_t size, bool persist);
  uint16_t GetCompressionLevel() const { return mCompressionLevel; }
  void SetCompressionLevel(uint16_t level, bool persist);
  // REQUIRES: the column's files are open.
  FBL_BLOBFile& Blobs();

  void CreateFiles() override;
  void OpenFiles() override;
  // Frees the chains of the records cut off first.
  void Truncate(uint32_t count) override;
  void ReadRecord(REC_ID recID) override;
  bool DiagnoseFiles(std::string& report) override;
  void WriteRecord(REC_ID recID) override;
  void DeleteRecord(REC_ID recID) override;

 protected:
  uint32_t Reference() { return Get(); }
  // The text's bytes become the data.
  void ParseText(const char* text) override;
  uint64_t BufferBits() const override { return 0; }
  double BufferDouble() const override { return 0; }
  // Raise 303 but for Text, which takes the number's text.
  void PutBits(uint64_t bits, bool isSigned) override;
  void PutDouble(double value) override;

 private:
  void MakeBlobFile();
  // The reference stored for recID (0 past the file's end).
  uint32_t StoredReference(REC_ID recID);
  std::vector<uint8_t> Expand(uint32_t first);
  uint32_t Store(const uint8_t* bytes, uint32_t length);

  uint32_t mSegmentSize = 1024;
  uint16_t mCompressionLevel = 9;
  // The chain SetData made for the current record, not yet written.
  uint32_t mFresh = 0;
};

// Text: the text without its terminating NUL is the data (never translated
// between character sets). Texts compare by the field's language ("ASCII"
// unless set) over their first 255 bytes: that prefix, as a length byte and
// the bytes, is the value Compare and CompareValues take and the key of the
// column's index (by words: each distinct word of the whole text).
class BF_TEXT : public BF_BLOB {
 public:
  BF_TEXT(const std::string& name, uint16_t flags);
  void SetString(const char* text) override;
  void InitFromField(const FBL_BaseField& other) override;
  ValueClass GetValueClass() const override { return ValueClass::kOther; }

  const FBL_Language& GetLanguage() const { return *mLanguage; }
  // An unknown name keeps the current language; returns whether known. A
  // new language orders the keys anew: the index is built again.
  bool SetLanguage(const std::string& name, bool persist);

  bool HasFixedKey() const override { return false; }
  uint32_t GetMaxKeySize() const override { return kMaxIndexKeySize; }
  uint32_t GetKeyLength(const uint8_t* key) const override { return 1u + key[0]; }
  uint32_t MakeKey(uint8_t* out) override;
  int CompareKeys(const uint8_t* left, const uint8_t* right) const override;
  void MakeWordKeys(std::vector<std::string>& keys) override;
  bool KeysCompareAsBytes() const override;
  int Compare(const void* key) override;
  int CompareValues(const void* left, const void* right) const override;

  void AddFlags(uint16_t flags, bool persist) override;
  void RemoveFlags(uint16_t flags, bool persist) override;
  // As for strings (string_fields.h); the bounds are cut to 255 bytes.
  FBL_TextRangeKeys MakeRangeKeys(const char* left, bool leftIncluded, const char* right,
                                  bool rightIncluded) const;
  std::unique_ptr<FBL_BitSet> FindRangeByText(const char* left, bool leftIncluded,
                                              const char* right, bool rightIncluded) override;
  std::unique_ptr<FBL_BitSet> FindByRegExpr(const std::string& pattern,
                                            bool caseSensitive) override;

 protected:
  void PutBits(uint64_t bits, bool isSigned) override;
  void PutDouble(double value) override;

 private:
  // The first min(size, 255) bytes of the text.
  std::string Prefix();

  const FBL_Language* mLanguage;
};

// Pictures: u32 kind, u32 length, then the picture data (JPEG for pictures
// made from bitmaps), both words in the database's byte order.
class BF_Picture : public BF_BLOB {
 public:
  static constexpr uint16_t kKindJpeg = 1;
  BF_Picture(const std::string& name, uint16_t flags) : BF_BLOB(name, flags, kTypePicture) {}
  uint16_t GetQuality() const { return mQuality; }
  void SetQuality(uint16_t quality) { mQuality = quality > 100 ? 100 : quality; }
  // A quality above 100 means the field's.
  void SetPicture(const void* data, uint32_t length, uint16_t kind);
  // False for no picture; damaged picture data raises 38.
  bool GetPicture(uint16_t& kind, std::vector<uint8_t>& data);
  void SetBitmap(const uint8_t* bitmap, size_t size, uint16_t quality = 255);
  // A 24-bit bitmap; empty for no picture.
  std::vector<uint8_t> GetBitmap();

 private:
  uint16_t mQuality = 50;
};
