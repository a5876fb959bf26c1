// FBL_DelimitedReader: splits a delimited text file (delimited_format.h)
// into records of decoded values, reading it in chunks.
//
// The buffer starts at 10000 bytes. A record that runs past the bytes read
// is carried over to the start of the buffer and the rest is read after it;
// when one record fills the whole buffer, the buffer doubles. At the end of
// the file the bytes left form the last record, delimiter or not; a quoted
// value the file ends in runs to the end of the file (its opening quote
// dropped, doubled quotes undone, a final quote taken as the closing one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/tables/delimited_format.h"

class FBL_File;

class FBL_DelimitedReader {
 public:
  static constexpr size_t kFirstBufferSize = 10000;

  // REQUIRES: file is open and outlives the reader; it is read with raw
  // transfers from offset 0.
  FBL_DelimitedReader(FBL_File& file, FBL_TextFormat format);

  // The next record's values, decoded in place; they stay valid until the
  // next call. False at the end of the file. A buffer that cannot grow
  // raises 311.
  bool NextRecord(std::vector<FBL_TextValue>& values);

  // Bytes of the file taken by the records returned so far.
  uint64_t GetConsumed() const { return mFileOffset + mBegin - mEnd; }
  uint64_t GetFileLength() const { return mFileLength; }
  size_t GetBufferSize() const { return mBuffer.size(); }

 private:
  // Finds the value ends of the record at mBegin; false when it runs past
  // the bytes read before the end of the file.
  bool ScanRecord();
  // The end of the value starting at p (at its delimiter, or at end when
  // the file ends in it); null when more bytes are needed.
  const char* ScanValue(const char* p, const char* end) const;
  // Moves the partial record to the start, doubles a full buffer and reads
  // more of the file after it.
  void ReadChunk();
  // Decodes the raw value [begin, end) in place and ends it with a NUL.
  FBL_TextValue DecodeValue(char* begin, char* end) const;

  FBL_File& mFile;
  FBL_TextFormat mFormat;
  std::vector<char> mBuffer;
  // Unread bytes are [mBegin, mEnd); mFileOffset is the file offset of mEnd.
  size_t mBegin = 0;
  size_t mEnd = 0;
  uint64_t mFileOffset = 0;
  uint64_t mFileLength = 0;
  // The raw values of the scanned record (buffer offsets) and its end.
  std::vector<size_t> mValueEnds;
  size_t mRecordEnd = 0;
};
