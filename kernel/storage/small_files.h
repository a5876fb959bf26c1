// Small typed embedded files: arrays of u32 and bit sets over record
// numbers. Values are stored in the volume's byte order.
#pragma once

#include <cstdint>

#include "kernel/storage/embedded_file.h"

// An array of u32 values: element i (from 1) at offset (i - 1) * 4.
class FBL_ULongFile : public FBL_EmbededFile {
 public:
  using FBL_EmbededFile::FBL_EmbededFile;
  uint32_t GetCount() { return static_cast<uint32_t>(GetLength() >> 2); }
  // REQUIRES: the file is open. An index beyond the count reads 0.
  uint32_t Get(uint32_t index);
  // Grows the file (with zeros) when index passes the count.
  void Set(uint32_t index, uint32_t value);
  // Cuts the file to n elements when it is longer.
  void TruncateTo(uint32_t n);
};

// The array file of a table (kind 6): its entry is made where it can be
// written, and its blocks gather up to 50 KB.
class FBL_SM : public FBL_ULongFile {
 public:
  FBL_SM(FBL_DataFile& volume, uint32_t ownerId, uint16_t subIndex);
  // Makes the file with count zero elements and leaves it open.
  void Create(uint32_t count);
  void Open() override;
  uint32_t GetSize() const { return mCount; }

 private:
  uint32_t mCount = 0;
};

// A bit per record after a header of H bytes: record r is bit (r - 1) mod 8
// (least significant first) of byte H + (r - 1) / 8.
class FBL_BitSetFile : public FBL_EmbededFile {
 public:
  FBL_BitSetFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex,
                 uint32_t headerBytes);
  // REQUIRES: the file is open. Grows the file with zero bytes as needed.
  void SetBit(uint32_t record, bool on);
  bool GetBit(uint32_t record);
  // Record numbers of set bits; 0 when there is none.
  uint32_t FirstSet();
  uint32_t LastSet();
  uint32_t NextSet(uint32_t after);
  uint32_t PrevSet(uint32_t before);
  void Reset() override;
  // Cutting the file also forgets the cached byte, so bytes grown later
  // read as zeros.
  void SetLength(uint64_t length) override;

 private:
  uint8_t ByteAt(uint64_t index);
  // Scans bytes [from, to) upward or downward for a nonzero one; returns
  // its index or UINT64_MAX.
  uint64_t Scan(uint64_t from, uint64_t to, bool up);
  uint32_t mHeaderBytes;
  // The one byte kept cached, and its index (UINT64_MAX = none).
  uint64_t mCachedIndex = UINT64_MAX;
  uint8_t mCachedByte = 0;
};

// The database's own bit set, with an 8-byte header.
class FBL_DataBaseFile : public FBL_BitSetFile {
 public:
  FBL_DataBaseFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex)
      : FBL_BitSetFile(volume, ownerId, kind, subIndex, 8) {}
};
