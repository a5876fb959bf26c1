// The on-disk layout of a volume, in one place.
//
// A volume is an OS file: a 1024-byte header area, then equal segments of
// S bytes numbered from 1:
//
//   0       44 bytes  volume header (FBL_VolumeHeader)
//   44     980 bytes  zero
//   1024 + (n - 1) * S   segment n
//
// The first M segments are the segment map: one u32 link per segment, the
// link of segment n at 1024 + (n - 1) * 4. A link is 0 for a free segment,
// kLastSegment for the last segment of a chain, its own number for a map
// segment, else the next segment of the chain. Logical ("embedded") files
// are chains; the table of files, itself a chain, holds one 24-byte
// FBL_FileEntry per file. Every integer is in the volume's byte order:
// little-endian when header byte 1 is 2, big-endian otherwise.
#pragma once

#include <cstdint>

inline constexpr uint32_t kVolumeHeaderArea = 1024;
inline constexpr uint32_t kVolumeHeaderBytes = 44;
inline constexpr uint32_t kLastSegment = 0xFFFFFFFF;
inline constexpr uint32_t kMinSegmentSize = 1024;
inline constexpr uint32_t kMaxSegmentSize = 65536;
inline constexpr uint16_t kFormatVersion = 400;
// Volumes below this format version have 20-byte table entries.
inline constexpr uint16_t kFirstWideTableVersion = 394;
inline constexpr uint16_t kTableFormatCurrent = 32;
inline constexpr uint16_t kTableFormatConverted = 64;
inline constexpr uint8_t kLittleEndianMark = 2;
// The byte order a volume is created in; header byte 1 keeps its number.
enum class FBL_ByteOrder : uint8_t {
  kDefault = 0,  // little-endian, stored as kLittleEndianMark
  kBigEndian = 1,
  kLittleEndian = kLittleEndianMark,
};
inline constexpr uint32_t kOpenFlagOffset = 36;

// The 44-byte header at offset 0. Offsets: 0 reserved byte, 1 byte order,
// 2 u16 table-format mark, then ten u32 words from offset 4 in the order
// below. The version word keeps the format version in its low half and the
// schema version in its high half.
struct FBL_VolumeHeader {
  uint8_t mReserved = 0;
  uint8_t mByteOrder = kLittleEndianMark;
  uint16_t mTableFormat = kTableFormatCurrent;
  uint32_t mVersion = 0;             // @4
  uint32_t mSegmentSize = 0;         // @8
  uint32_t mMapSegments = 0;         // @12
  uint32_t mLiveFiles = 0;           // @16, the table of files included
  uint32_t mTableSegment = 0;        // @20, first segment of the table of files
  uint32_t mStorageMode = 0;         // @24
  uint32_t mKeyCheck1 = 0;           // @28
  uint32_t mKeyCheck2 = 0;           // @32
  uint32_t mOpenFlag = 0;            // @36, 1 while open for writing
  uint32_t mStructureEncrypted = 0;  // @40

  bool IsBigEndian() const { return mByteOrder != kLittleEndianMark; }
  uint16_t FormatVersion() const { return static_cast<uint16_t>(mVersion); }
  uint16_t SchemaVersion() const { return static_cast<uint16_t>(mVersion >> 16); }

  void Encode(uint8_t out[kVolumeHeaderBytes]) const;
  static FBL_VolumeHeader Decode(const uint8_t in[kVolumeHeaderBytes]);
};

inline constexpr uint32_t kFileEntryBytes = 24;
inline constexpr uint32_t kOldFileEntryBytes = 20;

// Kinds of embedded files (the u16 at offset 20 of a table entry). With the
// owner id and the sub-index they name a file, so two files may share a
// kind when their owner or sub-index tells them apart. Every kind in use:
//
//   kind     owner, sub-index          file                     fixed by
//   1        0, 0                      the table of files       the format
//   6        owner's id, its choice    an FBL_SM array file     the format
//   7        table, 0                  a table's record map     this engine
//   7        table, field number >= 1  a BLOB/Text/Picture file the format
//   8        table, field number       a column's value file    this engine
//   9        table, field number       a VarChar column's texts this engine
//   10       table, field number       a column's null map      the format
//   11       table, field number       a field's index pages    this engine
//   14       table, field number       BLOB file of a table kept
//                                      in the index volume (no
//                                      table is kept there yet) the format
//   0xFFF9   table, field number       BLOB file of a temporary
//                                      table (-7)               the format
//   0xFFFF   the page file's owner     a page file's copy while
//                                      it is defragmented       the format
//
// The record map and the BLOB files share kind 7: field numbers start at 1,
// so the sub-index tells them apart. Kinds the format fixes for layers
// above the kernel, not used yet: 2 (the structure stream of old formats,
// owner 1), 12 and 21 (the two branch indexes of a relation), 0xFFFB and
// 0xFFFF (result files of cursors and joins). Kinds with bit 15 set are
// temporary, and so is every file of a temporary table (an owner id with
// bit 31 set, a negative table id): a volume opened after a run that did
// not close it deletes them.
inline constexpr uint16_t kTemporaryKind = 0x8000;
inline constexpr uint16_t kKindFilesTable = 1;
inline constexpr uint16_t kKindSM = 6;
inline constexpr uint16_t kKindRecordMap = 7;
inline constexpr uint16_t kKindBlob = 7;
inline constexpr uint16_t kKindValues = 8;
inline constexpr uint16_t kKindSecondFile = 9;
inline constexpr uint16_t kKindNullMap = 10;
inline constexpr uint16_t kKindFieldIndex = 11;
inline constexpr uint16_t kKindBlobInIndexVolume = 14;
inline constexpr uint16_t kKindBlobOfTemporaryTable = static_cast<uint16_t>(-7);
inline constexpr uint16_t kKindPageCopy = 0xFFFF;

// An entry of the table of files: 0 first segment, 4 segment count,
// 8 u64 length, 16 owner id, 20 u16 kind, 22 u16 sub-index. Bytes 16..23
// are the file's identity; an identity of 0 marks a free entry. Entry i
// lies at offset i * 24 of the table; entry 0 is the table itself.
struct FBL_FileEntry {
  uint32_t mFirstSegment = 0;
  uint32_t mSegmentCount = 0;
  uint64_t mLength = 0;
  uint32_t mOwnerId = 0;
  uint16_t mKind = 0;
  uint16_t mSubIndex = 0;

  uint64_t GetId() const { return MakeId(mOwnerId, mKind, mSubIndex); }
  bool IsFree() const { return GetId() == 0; }
  // A file of a temporary table: the owner is a negative table id.
  bool IsOfTemporaryTable() const { return (mOwnerId & 0x80000000u) != 0; }
  bool IsTemporary() const { return (mKind & kTemporaryKind) != 0 || IsOfTemporaryTable(); }
  static uint64_t MakeId(uint32_t owner, uint16_t kind, uint16_t subIndex) {
    return static_cast<uint64_t>(static_cast<uint32_t>(subIndex) << 16 | kind) << 32 | owner;
  }

  void Encode(uint8_t out[kFileEntryBytes], bool bigEndian) const;
  static FBL_FileEntry Decode(const uint8_t in[kFileEntryBytes], bool bigEndian);
  // The older 20-byte entry: a u32 length in place of the u64.
  static FBL_FileEntry DecodeOld(const uint8_t in[kOldFileEntryBytes], bool bigEndian);
};

namespace zv {

// Segment size for a requested one: whole kilobytes, 1 KB to 64 KB.
uint32_t NormalizeSegmentSize(uint32_t requested);

}  // namespace zv
