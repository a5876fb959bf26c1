#include "kernel/indexes/sort_run_file.h"

#include <algorithm>
#include <cstring>

#include "platform/env.h"
#include "platform/errors.h"

FBL_SortRunFile::FBL_SortRunFile(platform::Env& env, size_t bufferBytes)
    : mEnv(env), mPath(env.CreateTempFile()) {
  try {
    mFile = mEnv.OpenFile(mPath, platform::OpenMode::kReadWrite);
    mBuffer.resize(std::max<size_t>(bufferBytes, 4096));
  } catch (...) {
    mFile.reset();
    mEnv.DeleteFile(mPath);
    throw;
  }
}

FBL_SortRunFile::~FBL_SortRunFile() {
  mFile.reset();
  mEnv.DeleteFile(mPath);
}

void FBL_SortRunFile::WriteBuffer() {
  if (mUsed == 0) return;
  mFile->WriteAt(mFileAt, mBuffer.data(), mUsed);
  mFileAt += mUsed;
  mUsed = 0;
}

void FBL_SortRunFile::Write(const void* bytes, size_t n) {
  const auto* from = static_cast<const uint8_t*>(bytes);
  mSize += n;
  while (n > 0) {
    if (mUsed == mBuffer.size()) WriteBuffer();
    size_t part = std::min(n, mBuffer.size() - mUsed);
    std::memcpy(mBuffer.data() + mUsed, from, part);
    mUsed += part;
    from += part;
    n -= part;
  }
}

void FBL_SortRunFile::StartReading(size_t bufferBytes) {
  WriteBuffer();
  if (bufferBytes != 0) {
    mBuffer.resize(std::max<size_t>(bufferBytes, 4096));
    mBuffer.shrink_to_fit();
  }
  mFileAt = 0;
  mUsed = 0;
  mAt = 0;
}

void FBL_SortRunFile::Fill() {
  size_t keep = mUsed - mAt;
  std::memmove(mBuffer.data(), mBuffer.data() + mAt, keep);
  mUsed = keep;
  mAt = 0;
  uint64_t left = mSize > mFileAt ? mSize - mFileAt : 0;
  size_t want = static_cast<size_t>(std::min<uint64_t>(mBuffer.size() - keep, left));
  if (want == 0) return;
  size_t got = mFile->ReadAt(mFileAt, mBuffer.data() + keep, want);
  if (got != want) throw xFBL_IndexError("A sort run file is shorter than written");
  mFileAt += got;
  mUsed += got;
}

bool FBL_SortRunFile::Read(void* out, size_t n) {
  if (n > mBuffer.size()) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  if (mUsed - mAt < n) {
    Fill();
    if (mUsed - mAt == 0) return false;
    if (mUsed - mAt < n) throw xFBL_IndexError("A sort run ends inside a record");
  }
  std::memcpy(out, mBuffer.data() + mAt, n);
  mAt += n;
  return true;
}
