// Deflate and inflate of field values through a fixed output buffer.
//
// Compressing: BeginCompress(value), then CompressStep() until it returns
// false, taking StepBytes() bytes from Buffer() after each step; EndCompress.
// Decompressing: BeginDecompress(target), then for each piece of stored
// bytes copy it into Buffer() and call DecompressStep(count) until it
// returns true (the stream ended); EndDecompress.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class FBL_Compressor {
 public:
  virtual ~FBL_Compressor() = default;
  virtual void BeginCompress(const uint8_t* source, size_t length) = 0;
  virtual void EndCompress() = 0;
  virtual void BeginDecompress(uint8_t* target, size_t length) = 0;
  virtual void EndDecompress() = 0;
  virtual size_t MaxCompressedSize(size_t n) const = 0;
  virtual size_t GetTotalOut() const = 0;
  virtual bool CompressStep() = 0;
  virtual bool DecompressStep(size_t inputBytes) = 0;
  virtual void ResetBuffer(bool forDecompress) = 0;
};

class FBL_ZipCompressor : public FBL_Compressor {
 public:
  // Field values use a 51200-byte buffer.
  FBL_ZipCompressor(int level, size_t bufferSize);
  ~FBL_ZipCompressor() override;
  FBL_ZipCompressor(const FBL_ZipCompressor&) = delete;
  FBL_ZipCompressor& operator=(const FBL_ZipCompressor&) = delete;

  void BeginCompress(const uint8_t* source, size_t length) override;
  void EndCompress() override;
  void BeginDecompress(uint8_t* target, size_t length) override;
  void EndDecompress() override;
  // Worst case of deflate's output: n + n * 1.001 + 12, rounded.
  size_t MaxCompressedSize(size_t n) const override;
  size_t GetTotalOut() const override { return mStream.total_out; }
  // One deflate call; true while it filled the buffer and more output follows.
  bool CompressStep() override;
  // Inflates inputBytes from the buffer into the target; true once the
  // stream has ended. Damaged input raises an error carrying zlib's result.
  bool DecompressStep(size_t inputBytes) override;
  void ResetBuffer(bool forDecompress) override;

  uint8_t* Buffer() { return mBuffer.data(); }
  size_t BufferSize() const { return mBuffer.size(); }
  // Bytes the last CompressStep left in the buffer.
  size_t StepBytes() const { return mStepBytes; }

 private:
  enum class Mode { Idle, Compress, Decompress };

  void End();

  int mLevel;
  std::vector<uint8_t> mBuffer;
  z_stream mStream{};
  Mode mMode = Mode::Idle;
  size_t mStepBytes = 0;
};
