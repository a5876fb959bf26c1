#include "kernel/tables/picture_codec.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "kernel/storage/byte_order.h"
#include "platform/errors.h"

namespace {

constexpr uint32_t kHeaderBytes = 40;
constexpr uint32_t kPixelsPerMetre = 2953;
// JPEG's own limit on each dimension.
constexpr uint32_t kMaxDimension = 65500;

uint32_t U32(const uint8_t* p) {
  return zorder::LoadU32(p, false);
}
uint16_t U16(const uint8_t* p) {
  return zorder::LoadU16(p, false);
}

[[noreturn]] void BadBitmap(const char* what) {
  throw xFBL_Exception(ERR_WRONG_PARAMETER, what);
}

// libjpeg reports errors by calling error_exit, which must not return: it
// jumps back to the call that started the work.
struct ErrorJump {
  jpeg_error_mgr mManager;
  std::jmp_buf mJump;
};

void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->mJump, 1);
}

// While decoding, a warning (data cut short, corrupt data) means a damaged
// picture: libjpeg would go on and fill the rest with grey.
void JumpOnWarning(j_common_ptr info, int level) {
  if (level < 0) JumpOnError(info);
}

// A checked view of a bitmap's parts.
struct BitmapView {
  uint32_t mWidth = 0, mHeight = 0, mBits = 0, mColours = 0;
  const uint8_t* mPalette = nullptr;
  const uint8_t* mRows = nullptr;
  size_t mRowBytes = 0;
};

BitmapView ReadBitmap(const uint8_t* bitmap, size_t size) {
  if (bitmap == nullptr || size < kHeaderBytes) BadBitmap("Bitmap shorter than its header");
  BitmapView v;
  uint32_t headerSize = U32(bitmap);
  auto width = static_cast<int32_t>(U32(bitmap + 4));
  auto height = static_cast<int32_t>(U32(bitmap + 8));
  v.mBits = U16(bitmap + 14);
  uint32_t compression = U32(bitmap + 16);
  uint32_t used = U32(bitmap + 32);
  if (headerSize < kHeaderBytes || headerSize > size) BadBitmap("Bad bitmap header size");
  if (width <= 0 || height <= 0 || uint32_t(width) > kMaxDimension ||
      uint32_t(height) > kMaxDimension)
    BadBitmap("Bad bitmap dimensions");
  if (compression != 0) BadBitmap("Compressed bitmaps are not supported");
  if (v.mBits != 1 && v.mBits != 4 && v.mBits != 8 && v.mBits != 16 && v.mBits != 24)
    BadBitmap("Unsupported bits per pixel");
  v.mWidth = uint32_t(width);
  v.mHeight = uint32_t(height);
  if (v.mBits <= 8) {
    uint32_t full = 1u << v.mBits;
    if (used > full) BadBitmap("Bitmap colour table too long");
    v.mColours = used == 0 ? full : used;
  }
  uint64_t paletteEnd = uint64_t{headerSize} + uint64_t{v.mColours} * 4;
  v.mRowBytes = zv::BitmapRowBytes(v.mWidth, v.mBits);
  if (paletteEnd + uint64_t{v.mRowBytes} * v.mHeight > size) BadBitmap("Bitmap data too short");
  v.mPalette = bitmap + headerSize;
  v.mRows = bitmap + paletteEnd;
  return v;
}

// Expands one stored row to RGB triples.
void ExpandRow(const BitmapView& v, const uint8_t* row, uint8_t* rgb) {
  for (uint32_t x = 0; x < v.mWidth; ++x, rgb += 3) {
    if (v.mBits == 24) {
      rgb[0] = row[3 * x + 2];
      rgb[1] = row[3 * x + 1];
      rgb[2] = row[3 * x];
    } else if (v.mBits == 16) {
      uint16_t p = U16(row + 2 * x);
      rgb[0] = uint8_t(((p >> 10) & 31) * 8 + 7);
      rgb[1] = uint8_t(((p >> 5) & 31) * 8 + 7);
      rgb[2] = uint8_t((p & 31) * 8 + 7);
    } else {
      uint32_t bit = x * v.mBits;
      uint32_t shift = 8 - v.mBits - bit % 8;
      uint32_t index = (row[bit / 8] >> shift) & ((1u << v.mBits) - 1);
      if (index >= v.mColours) {  // no such colour: black
        rgb[0] = rgb[1] = rgb[2] = 0;
        continue;
      }
      const uint8_t* c = v.mPalette + 4 * index;
      rgb[0] = c[2];
      rgb[1] = c[1];
      rgb[2] = c[0];
    }
  }
}

// The libjpeg part of BitmapToJpeg: no C++ objects live across setjmp.
bool Compress(const BitmapView& v, int quality, uint8_t* rgb, unsigned char** out,
              unsigned long* outSize) {
  jpeg_compress_struct info;
  ErrorJump error;
  info.err = jpeg_std_error(&error.mManager);
  error.mManager.error_exit = JumpOnError;
  if (setjmp(error.mJump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, outSize);
  info.image_width = v.mWidth;
  info.image_height = v.mHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (uint32_t y = 0; y < v.mHeight; ++y) {
    // The image's top row is the bitmap's last.
    ExpandRow(v, v.mRows + (v.mHeight - 1 - y) * v.mRowBytes, rgb);
    JSAMPROW row = rgb;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

void PutHeader(uint8_t* p, uint32_t width, uint32_t height, uint32_t imageBytes) {
  std::memset(p, 0, kHeaderBytes);
  zorder::StoreU32(p, kHeaderBytes, false);
  zorder::StoreU32(p + 4, width, false);
  zorder::StoreU32(p + 8, height, false);
  zorder::StoreU16(p + 12, 1, false);
  zorder::StoreU16(p + 14, 24, false);
  zorder::StoreU32(p + 20, imageBytes, false);
  zorder::StoreU32(p + 24, kPixelsPerMetre, false);
  zorder::StoreU32(p + 28, kPixelsPerMetre, false);
}

// The libjpeg part of JpegToBitmap. Reads the size first (*bitmap null),
// then, called again with room, the pixels.
bool Decompress(const uint8_t* jpeg, size_t size, uint32_t* width, uint32_t* height,
                uint8_t* bitmap, uint8_t* rgb) {
  jpeg_decompress_struct info;
  ErrorJump error;
  info.err = jpeg_std_error(&error.mManager);
  error.mManager.error_exit = JumpOnError;
  error.mManager.emit_message = JumpOnWarning;
  if (setjmp(error.mJump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (bitmap == nullptr || info.output_width != *width || info.output_height != *height ||
      info.output_components != 3) {
    *width = info.output_width;
    *height = info.output_components == 3 ? info.output_height : 0;
    jpeg_destroy_decompress(&info);
    return true;
  }
  const size_t rowBytes = zv::BitmapRowBytes(*width, 24);
  while (info.output_scanline < info.output_height) {
    uint32_t y = info.output_scanline;
    JSAMPROW row = rgb;
    jpeg_read_scanlines(&info, &row, 1);
    uint8_t* out = bitmap + kHeaderBytes + (*height - 1 - y) * rowBytes;
    for (uint32_t x = 0; x < *width; ++x) {
      out[3 * x] = rgb[3 * x + 2];
      out[3 * x + 1] = rgb[3 * x + 1];
      out[3 * x + 2] = rgb[3 * x];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

size_t zv::BitmapRowBytes(uint32_t width, uint32_t bitsPerPixel) {
  return static_cast<size_t>((uint64_t{width} * bitsPerPixel + 31) / 32 * 4);
}

std::vector<uint8_t> zv::BitmapToJpeg(const uint8_t* bitmap, size_t size, int quality) {
  BitmapView v = ReadBitmap(bitmap, size);
  std::vector<uint8_t> rgb(size_t{v.mWidth} * 3);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  bool ok =
      Compress(v, quality < 0 ? 0 : (quality > 100 ? 100 : quality), rgb.data(), &out, &outSize);
  std::vector<uint8_t> jpeg;
  if (ok && out != nullptr) jpeg.assign(out, out + outSize);
  std::free(out);
  if (!ok) throw xFBL_Exception(ERR_WRONG_PARAMETER, "The bitmap could not be compressed");
  return jpeg;
}

std::vector<uint8_t> zv::JpegToBitmap(const uint8_t* jpeg, size_t size) {
  if (jpeg == nullptr || size == 0) throw xFBL_FieldError("No JPEG data");
  uint32_t width = 0, height = 0;
  if (!Decompress(jpeg, size, &width, &height, nullptr, nullptr) || width == 0 || height == 0 ||
      width > kMaxDimension || height > kMaxDimension)
    throw xFBL_FieldError("Picture data is not a JPEG image");
  const size_t rowBytes = zv::BitmapRowBytes(width, 24);
  std::vector<uint8_t> bitmap(kHeaderBytes + rowBytes * height, 0);
  std::vector<uint8_t> rgb(size_t{width} * 3);
  PutHeader(bitmap.data(), width, height, static_cast<uint32_t>(rowBytes * height));
  if (!Decompress(jpeg, size, &width, &height, bitmap.data(), rgb.data()))
    throw xFBL_FieldError("Picture data is not a JPEG image");
  return bitmap;
}
