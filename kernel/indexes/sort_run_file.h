// A sorted run of an index build that did not fit its memory budget: a
// temporary file written once from the start and read back once from the
// start. The bytes are the sorter's own records in this machine's form;
// the file never outlives the object (it is deleted on destruction).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Env;
class EnvFile;
}  // namespace platform

class FBL_SortRunFile {
 public:
  // bufferBytes: the size of the write buffer, later of the read buffer.
  FBL_SortRunFile(platform::Env& env, size_t bufferBytes);
  ~FBL_SortRunFile();
  FBL_SortRunFile(const FBL_SortRunFile&) = delete;
  FBL_SortRunFile& operator=(const FBL_SortRunFile&) = delete;

  void Write(const void* bytes, size_t n);
  // Ends the writing; reading starts at the first byte. A new buffer size
  // (0 = keep) lets the merge share its memory among the runs.
  void StartReading(size_t bufferBytes = 0);
  // Copies exactly n bytes (at most the buffer size); false at the end of
  // the run. A file shorter than written, or ending inside a record, raises
  // 304: it was changed behind the sorter.
  bool Read(void* out, size_t n);
  uint64_t GetSize() const { return mSize; }

 private:
  void WriteBuffer();
  void Fill();

  platform::Env& mEnv;
  std::string mPath;
  std::unique_ptr<platform::EnvFile> mFile;
  std::vector<uint8_t> mBuffer;
  size_t mUsed = 0;    // writing: bytes in the buffer; reading: bytes loaded
  size_t mAt = 0;      // reading: next byte of the buffer
  uint64_t mSize = 0;  // bytes written
  uint64_t mFileAt = 0;
};
