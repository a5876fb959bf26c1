// Conversion between device-independent bitmaps and JPEG for picture
// fields.
//
// A bitmap is a 40-byte header in little-endian order (0 header size,
// 4 width, 8 height, 12 u16 planes, 14 u16 bits per pixel, 16 compression,
// 20 image size, 24 and 28 pixels per metre, 32 colours used, 36 colours
// important), then the colour table (4 bytes per entry: blue, green, red,
// reserved; 2^bits entries unless "colours used" says fewer; only for 1, 4
// and 8 bits), then the rows, bottom row first, each padded to a multiple
// of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

// Bytes of a bitmap row of width pixels at bits per pixel, padded.
size_t BitmapRowBytes(uint32_t width, uint32_t bitsPerPixel);

// JPEG (3 components, baseline) of an uncompressed bitmap of 1, 4, 8, 16
// (5 bits per channel, c -> c * 8 + 7) or 24 bits per pixel at quality
// 0..100. A bitmap whose header, colour table or rows do not fit its bytes,
// or of another kind, raises 310.
std::vector<uint8_t> BitmapToJpeg(const uint8_t* bitmap, size_t size, int quality);

// A 24-bit bitmap of JPEG data: header size 40, 1 plane, no compression,
// image size = row bytes x height, 2953 pixels per metre both ways, no
// colour table. Data that does not decode raises 303.
std::vector<uint8_t> JpegToBitmap(const uint8_t* jpeg, size_t size);

}  // namespace zv
