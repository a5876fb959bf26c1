#include "kernel/tables/delimited_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kernel/storage/file.h"
#include "platform/errors.h"

FBL_DelimitedReader::FBL_DelimitedReader(FBL_File& file, FBL_TextFormat format)
    : mFile(file), mFormat(format), mBuffer(kFirstBufferSize), mFileLength(file.GetLength()) {}

bool FBL_DelimitedReader::NextRecord(std::vector<FBL_TextValue>& values) {
  values.clear();
  if (mBegin == mEnd && mFileOffset >= mFileLength) return false;
  while (!ScanRecord()) ReadChunk();
  char* base = mBuffer.data();
  size_t start = mBegin;
  for (size_t end : mValueEnds) {
    values.push_back(DecodeValue(base + start, base + end));
    start = end + 1;
  }
  mBegin = mRecordEnd;
  return true;
}

bool FBL_DelimitedReader::ScanRecord() {
  mValueEnds.clear();
  const char* base = mBuffer.data();
  const char* end = base + mEnd;
  const bool atEof = mFileOffset >= mFileLength;
  for (const char* p = base + mBegin;;) {
    const char* v = ScanValue(p, end);
    if (v == nullptr) {
      if (!atEof) return false;
      v = end;
    }
    mValueEnds.push_back(static_cast<size_t>(v - base));
    if (v == end) {
      mRecordEnd = mEnd;
      return true;
    }
    if (*v == mFormat.mRecordDelimiter) {
      mRecordEnd = static_cast<size_t>(v - base) + 1;
      return true;
    }
    p = v + 1;
  }
}

const char* FBL_DelimitedReader::ScanValue(const char* p, const char* end) const {
  const char fd = mFormat.mFieldDelimiter;
  const char rd = mFormat.mRecordDelimiter;
  if (mFormat.Quoting() && p < end && *p == zv::kTextQuote) {
    for (const char* q = p + 1;;) {
      q = static_cast<const char*>(std::memchr(q, zv::kTextQuote, static_cast<size_t>(end - q)));
      // A quote's meaning depends on the byte after it.
      if (q == nullptr || q + 1 == end) return nullptr;
      const char next = q[1];
      if (next == fd || next == rd) return q + 1;
      q += next == zv::kTextQuote ? 2 : 1;
    }
  }
  for (; p < end; ++p) {
    if (*p == fd || *p == rd) return p;
  }
  return nullptr;
}

FBL_TextValue FBL_DelimitedReader::DecodeValue(char* begin, char* end) const {
  char* out = begin;
  if (mFormat.Quoting() && begin < end && *begin == zv::kTextQuote) {
    for (const char* in = begin + 1; in < end; ++in) {
      if (*in == zv::kTextQuote) {
        if (in + 1 == end) break;  // the closing quote
        if (in[1] == zv::kTextQuote) ++in;
      }
      *out++ = *in == zv::kVerticalTab ? zv::kCarriageReturn : *in;
    }
  } else {
    for (char* p = begin; (p = static_cast<char*>(std::memchr(p, zv::kVerticalTab,
                                                              static_cast<size_t>(end - p)))) !=
                          nullptr;
         ++p) {
      *p = zv::kCarriageReturn;
    }
    out = end;
  }
  // end is at most mEnd, which stays below the buffer's size.
  *out = '\0';
  return {begin, static_cast<size_t>(out - begin)};
}

void FBL_DelimitedReader::ReadChunk() {
  char* base = mBuffer.data();
  if (mBegin > 0) {
    std::memmove(base, base + mBegin, mEnd - mBegin);
    mEnd -= mBegin;
    mBegin = 0;
  }
  // One byte stays free for the NUL after a value that ends the file.
  if (mEnd + 1 >= mBuffer.size()) {
    try {
      mBuffer.resize(mBuffer.size() * 2);
    } catch (const std::bad_alloc&) {
      throw xFBL_Exception(ERR_NOT_ENOUGH_RAM, "A record does not fit in memory");
    }
    base = mBuffer.data();
  }
  const uint64_t wanted = std::min<uint64_t>(mBuffer.size() - 1 - mEnd, mFileLength - mFileOffset);
  const uint64_t got = mFile.ReadAt(base + mEnd, mFileOffset, wanted);
  // A file that became shorter ends where the reading stopped.
  if (got < wanted) mFileLength = mFileOffset + got;
  mEnd += static_cast<size_t>(got);
  mFileOffset += got;
}
