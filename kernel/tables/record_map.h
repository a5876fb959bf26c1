// The record map of a table: which RecIDs are alive. An embedded bit file
// (kind 7, sub-index 0 of the table's id) laid out as
//
//   0  u32  RecordCount  live records
//   4  u32  MaxRecID     highest RecID allocated
//   8  bit map           RecID r is bit (r - 1) mod 8, least significant
//                        first, of byte 8 + (r - 1) div 8; 1 = alive
//
// The header words are in the database's byte order. The file always
// reaches MaxRecID's byte (a record's bit is set before its RecID counts);
// it may run past it (bits past MaxRecID are ignored).
//
// Lifecycle: constructed closed; Create writes a zero header and leaves the
// file closed; Open reads and checks the header; Close; Remove deletes the
// file. The header image in memory is the truth while the map is open; it
// reaches the file at Flush and Close (the page cache would hold it back
// just the same), so an add costs no header write.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_BitSet;
class FBL_BitSetFile;
class FBL_DataFile;

#include "platform/errors.h"

inline constexpr uint32_t kRecordMapHeaderBytes = 8;

// A record map, or a column's files, that disagree with what the table's
// records can be ("Table is corrupted").
ZV_EXCEPTION_CLASS(xFBL_TableCorrupted, xFBL_TableError, 361);

struct FBL_RecordMapHeader {
  uint32_t mRecordCount = 0;
  uint32_t mMaxRecID = 0;

  void Encode(uint8_t out[kRecordMapHeaderBytes], bool bigEndian) const;
  static FBL_RecordMapHeader Decode(const uint8_t in[kRecordMapHeaderBytes], bool bigEndian);
};

namespace zv {

// Whether multi-byte words of the volume are stored most significant first.
bool StoresBigEndian(const FBL_DataFile& volume);

// Sets a record's bit in a bit file after a header of headerBytes. A file
// too short for the bit grows by whole steps of zeros, not byte by byte:
// every growth rewrites the file's entry in its volume.
// REQUIRES: the file is open; record >= 1.
void SetFileBit(FBL_BitSetFile& file, uint32_t headerBytes, uint32_t record, bool on);

// Cuts a bit file after a header of headerBytes to n bits: the file keeps
// ceil(n / 8) bytes of bits, and the bits past n in the last byte are cleared.
// REQUIRES: the file is open.
void CutBitFile(FBL_BitSetFile& file, uint32_t headerBytes, uint32_t n);

}  // namespace zv

class FBL_RecordMap {
 public:
  // REQUIRES: volume outlives the map.
  FBL_RecordMap(FBL_DataFile& volume, uint32_t tableId);
  ~FBL_RecordMap();
  FBL_RecordMap(const FBL_RecordMap&) = delete;
  FBL_RecordMap& operator=(const FBL_RecordMap&) = delete;

  bool Exists();
  // A new map with both header words 0, flushed and closed.
  void Create();
  // Reads the header and checks it against the bits: a MaxRecID whose byte
  // lies past the file's end, or a RecordCount other than the number of
  // alive records, raises 361 (a walk of the bit map, an eighth of a byte
  // per record).
  void Open();
  void Close();
  bool IsOpen() const;
  // Deletes the file; the header image becomes zero.
  void Remove();
  void Flush();
  // The bit file itself (its ciphers are set by the table).
  FBL_BitSetFile& GetFile() { return *mFile; }

  uint32_t GetRecordCount() const { return mHeader.mRecordCount; }
  uint32_t GetMaxRecID() const { return mHeader.mMaxRecID; }
  // Sets the image; Flush and Close write it at offset 0.
  void WriteHeader(uint32_t recordCount, uint32_t maxRecID);

  // Alive records within 1..MaxRecID; 0 when there is none.
  bool IsAlive(REC_ID recID);
  REC_ID First();
  REC_ID Last();
  REC_ID Next(REC_ID after);
  REC_ID Prev(REC_ID before);
  // The lowest free RecID in 1..MaxRecID, 0 when every one is alive.
  REC_ID FirstFree();
  // Writes the single byte that holds the bit.
  void SetAlive(REC_ID recID, bool alive);
  // Cuts the bit map to n records and makes n the MaxRecID (header written).
  void Truncate(uint32_t n, uint32_t recordCount);
  // The alive records as a set of size MaxRecID.
  std::unique_ptr<FBL_BitSet> SelectAll();

 private:
  // Raises 361 unless the header agrees with the file and its bits; gives
  // the bit map's bytes up to MaxRecID's (bits past it cleared).
  std::vector<uint8_t> CheckHeader(const FBL_RecordMapHeader& h);
  // Sizes the copy of the bits for maxRecID (new bytes clear, bits past it
  // cleared).
  void FitBits(uint32_t maxRecID);
  void RequireOpen() const;

  // Writes the image when it changed.
  void StoreHeader();

  std::unique_ptr<FBL_BitSetFile> mFile;
  FBL_RecordMapHeader mHeader;
  bool mHeaderDirty = false;
  // The bit map's bytes up to MaxRecID's, read at Open and kept in step
  // with every change while open: lookups and walks read no file (an
  // eighth of a byte per record).
  std::vector<uint8_t> mBits;
};
