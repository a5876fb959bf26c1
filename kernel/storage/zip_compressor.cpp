#include "kernel/storage/zip_compressor.h"

#include <cmath>
#include <limits>

#include "platform/errors.h"

namespace {

// Values are stored with 32-bit lengths; zlib counts in unsigned int.
uInt ZlibCount(size_t n) {
  if (n > std::numeric_limits<uInt>::max()) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  return static_cast<uInt>(n);
}

}  // namespace

FBL_ZipCompressor::FBL_ZipCompressor(int level, size_t bufferSize)
    : mLevel(level), mBuffer(bufferSize == 0 ? 1 : bufferSize) {}

FBL_ZipCompressor::~FBL_ZipCompressor() {
  End();
}

void FBL_ZipCompressor::End() {
  if (mMode == Mode::Compress) deflateEnd(&mStream);
  if (mMode == Mode::Decompress) inflateEnd(&mStream);
  mMode = Mode::Idle;
}

void FBL_ZipCompressor::BeginCompress(const uint8_t* source, size_t length) {
  End();
  mStream = z_stream{};
  const int rc = deflateInit(&mStream, mLevel);
  if (rc != Z_OK) throw xFBL_Exception(rc);
  mMode = Mode::Compress;
  static const uint8_t emptySource = 0;
  mStream.next_in = const_cast<Bytef*>(source != nullptr ? source : &emptySource);
  mStream.avail_in = ZlibCount(length);
  mStepBytes = 0;
}

void FBL_ZipCompressor::EndCompress() {
  End();
}

void FBL_ZipCompressor::BeginDecompress(uint8_t* target, size_t length) {
  End();
  mStream = z_stream{};
  const int rc = inflateInit(&mStream);
  if (rc != Z_OK) throw xFBL_Exception(rc);
  mMode = Mode::Decompress;
  // zlib refuses a null output pointer even for an empty value.
  static uint8_t emptyTarget;
  mStream.next_out = target != nullptr ? target : &emptyTarget;
  mStream.avail_out = ZlibCount(length);
}

void FBL_ZipCompressor::EndDecompress() {
  End();
}

size_t FBL_ZipCompressor::MaxCompressedSize(size_t n) const {
  return static_cast<size_t>(std::llround(double(n) + double(n) * 1.001 + 12.0));
}

bool FBL_ZipCompressor::CompressStep() {
  if (mMode != Mode::Compress) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  ResetBuffer(false);
  const int rc = deflate(&mStream, Z_FINISH);
  if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) throw xFBL_Exception(rc);
  mStepBytes = mBuffer.size() - mStream.avail_out;
  return rc != Z_STREAM_END && mStream.avail_out == 0;
}

bool FBL_ZipCompressor::DecompressStep(size_t inputBytes) {
  if (mMode != Mode::Decompress) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  if (inputBytes > mBuffer.size()) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  mStream.next_in = mBuffer.data();
  mStream.avail_in = ZlibCount(inputBytes);
  const int rc = inflate(&mStream, Z_FINISH);
  if (rc == Z_STREAM_END) return true;
  // Wanting more input or more room is normal; anything else is damage.
  if (rc != Z_OK && rc != Z_BUF_ERROR) throw xFBL_Exception(rc);
  // A target filled before the stream ended means the stored length lied.
  if (mStream.avail_out == 0 && mStream.avail_in > 0) throw xFBL_Exception(Z_DATA_ERROR);
  return false;
}

void FBL_ZipCompressor::ResetBuffer(bool forDecompress) {
  if (forDecompress) {
    mStream.next_in = mBuffer.data();
    mStream.avail_in = 0;
  } else {
    mStream.next_out = mBuffer.data();
    mStream.avail_out = ZlibCount(mBuffer.size());
  }
}
