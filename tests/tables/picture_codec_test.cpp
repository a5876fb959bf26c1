#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstdlib>
#include <vector>

#include "kernel/storage/byte_order.h"
#include "kernel/tables/picture_codec.h"
#include "platform/errors.h"
#include "tests/support/error_code.h"

namespace {

int Code(void (*f)(const std::vector<uint8_t>&), const std::vector<uint8_t>& v) {
  return ztest::ErrorCode([&] { f(v); });
}

// A bitmap with the given colour table and rows (bottom row first, padded).
std::vector<uint8_t> Bitmap(int32_t width, int32_t height, uint16_t bits,
                            const std::vector<uint32_t>& palette, const std::vector<uint8_t>& rows,
                            uint32_t used = 0) {
  std::vector<uint8_t> b(40 + palette.size() * 4);
  zorder::StoreU32(&b[0], 40, false);
  zorder::StoreU32(&b[4], uint32_t(width), false);
  zorder::StoreU32(&b[8], uint32_t(height), false);
  zorder::StoreU16(&b[12], 1, false);
  zorder::StoreU16(&b[14], bits, false);
  zorder::StoreU32(&b[32], used, false);
  for (size_t i = 0; i < palette.size(); ++i) zorder::StoreU32(&b[40 + 4 * i], palette[i], false);
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

struct Rgb {
  int r, g, b;
};

// Decodes with libjpeg itself: width, height and top-down RGB pixels.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& jpeg, uint32_t& w, uint32_t& h) {
  jpeg_decompress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), jpeg.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  w = info.output_width;
  h = info.output_height;
  std::vector<uint8_t> rgb(size_t{w} * h * 3);
  while (info.output_scanline < h) {
    JSAMPROW row = &rgb[size_t{info.output_scanline} * w * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return rgb;
}

// The pixel (x, y) from the top of a picture, as a 24-bit bitmap keeps it.
Rgb BitmapPixel(const std::vector<uint8_t>& bmp, uint32_t x, uint32_t y) {
  uint32_t w = zorder::LoadU32(&bmp[4], false), h = zorder::LoadU32(&bmp[8], false);
  const uint8_t* p = &bmp[40 + (h - 1 - y) * zv::BitmapRowBytes(w, 24) + 3 * x];
  return {p[2], p[1], p[0]};
}

void ExpectNear(Rgb got, Rgb want, int tolerance) {
  EXPECT_NEAR(got.r, want.r, tolerance);
  EXPECT_NEAR(got.g, want.g, tolerance);
  EXPECT_NEAR(got.b, want.b, tolerance);
}

TEST(PictureCodecTest, A24BitBitmapDecodesToItsPixelsWithinJpegTolerance) {
  const uint32_t w = 37, h = 23;
  const size_t rowBytes = zv::BitmapRowBytes(w, 24);
  EXPECT_EQ(rowBytes, 112u);
  std::vector<uint8_t> rows(rowBytes * h, 0);
  auto colour = [](uint32_t x, uint32_t y) { return Rgb{int(x * 6), int(y * 10), 128}; };
  for (uint32_t y = 0; y < h; ++y) {  // y from the top
    uint8_t* row = &rows[(h - 1 - y) * rowBytes];
    for (uint32_t x = 0; x < w; ++x) {
      Rgb c = colour(x, y);
      row[3 * x] = uint8_t(c.b);
      row[3 * x + 1] = uint8_t(c.g);
      row[3 * x + 2] = uint8_t(c.r);
    }
  }
  auto jpeg = zv::BitmapToJpeg(Bitmap(w, h, 24, {}, rows).data(), 40 + rows.size(), 90);
  uint32_t dw = 0, dh = 0;
  auto rgb = Decode(jpeg, dw, dh);
  ASSERT_EQ(dw, w);
  ASSERT_EQ(dh, h);
  long sum = 0;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      Rgb c = colour(x, y);
      const uint8_t* p = &rgb[(size_t{y} * w + x) * 3];
      sum += std::abs(p[0] - c.r) + std::abs(p[1] - c.g) + std::abs(p[2] - c.b);
      ExpectNear({p[0], p[1], p[2]}, c, 40);
    }
  }
  EXPECT_LT(double(sum) / (w * h * 3), 4.0);
  // And back into a bitmap: header fields, bottom row first, padded rows.
  auto back = zv::JpegToBitmap(jpeg.data(), jpeg.size());
  ASSERT_EQ(back.size(), 40 + rowBytes * h);
  EXPECT_EQ(zorder::LoadU32(&back[0], false), 40u);
  EXPECT_EQ(zorder::LoadU32(&back[4], false), w);
  EXPECT_EQ(zorder::LoadU32(&back[8], false), h);
  EXPECT_EQ(zorder::LoadU16(&back[12], false), 1u);
  EXPECT_EQ(zorder::LoadU16(&back[14], false), 24u);
  EXPECT_EQ(zorder::LoadU32(&back[16], false), 0u);
  EXPECT_EQ(zorder::LoadU32(&back[20], false), rowBytes * h);
  EXPECT_EQ(zorder::LoadU32(&back[24], false), 2953u);
  EXPECT_EQ(zorder::LoadU32(&back[28], false), 2953u);
  EXPECT_EQ(zorder::LoadU32(&back[32], false), 0u);
  ExpectNear(BitmapPixel(back, 0, 0), colour(0, 0), 40);
  ExpectNear(BitmapPixel(back, w - 1, h - 1), colour(w - 1, h - 1), 40);
}

TEST(PictureCodecTest, OneBitRowsOfWidthTenAreFourBytes) {
  // Left half white, right half black; palette 0 black, 1 white.
  EXPECT_EQ(zv::BitmapRowBytes(10, 1), 4u);
  std::vector<uint8_t> rows;
  for (int y = 0; y < 16; ++y) rows.insert(rows.end(), {0xF8, 0x00, 0x00, 0x00});
  auto jpeg =
      zv::BitmapToJpeg(Bitmap(10, 16, 1, {0x000000, 0xFFFFFF}, rows).data(), 48 + rows.size(), 95);
  auto back = zv::JpegToBitmap(jpeg.data(), jpeg.size());
  EXPECT_EQ(zv::BitmapRowBytes(10, 24), 32u);
  ASSERT_EQ(back.size(), 40u + 32 * 16);
  ExpectNear(BitmapPixel(back, 1, 8), {255, 255, 255}, 30);
  ExpectNear(BitmapPixel(back, 8, 8), {0, 0, 0}, 30);
}

TEST(PictureCodecTest, FourAndEightBitsGoThroughTheColourTable) {
  // Blue, green, red, reserved: 0x00RRGGBB as a little-endian word.
  std::vector<uint32_t> palette = {0x00FF0000, 0x0000FF00};
  std::vector<uint8_t> rows4(4 * 16, 0x11);  // every pixel colour 1 (green)
  auto j4 = zv::BitmapToJpeg(Bitmap(8, 16, 4, palette, rows4, 2).data(), 48 + rows4.size(), 95);
  ExpectNear(BitmapPixel(zv::JpegToBitmap(j4.data(), j4.size()), 3, 3), {0, 255, 0}, 30);
  std::vector<uint8_t> rows8(8 * 8, 0);  // colour 0 (red)
  auto j8 = zv::BitmapToJpeg(Bitmap(8, 8, 8, palette, rows8, 2).data(), 48 + rows8.size(), 95);
  ExpectNear(BitmapPixel(zv::JpegToBitmap(j8.data(), j8.size()), 4, 4), {255, 0, 0}, 30);
  // An index past the table is black, never a read outside it.
  std::vector<uint8_t> rows8b(8 * 8, 200);
  auto jb = zv::BitmapToJpeg(Bitmap(8, 8, 8, palette, rows8b, 2).data(), 48 + rows8b.size(), 95);
  ExpectNear(BitmapPixel(zv::JpegToBitmap(jb.data(), jb.size()), 4, 4), {0, 0, 0}, 30);
}

TEST(PictureCodecTest, SixteenBitsWidenEachChannel) {
  // Red 31, green 0, blue 15: c -> c * 8 + 7.
  std::vector<uint8_t> rows;
  for (int i = 0; i < 8 * 8; ++i) rows.insert(rows.end(), {0x0F, 0x7C});
  auto jpeg = zv::BitmapToJpeg(Bitmap(8, 8, 16, {}, rows).data(), 40 + rows.size(), 100);
  ExpectNear(BitmapPixel(zv::JpegToBitmap(jpeg.data(), jpeg.size()), 4, 4), {255, 7, 127}, 12);
}

TEST(PictureCodecTest, BitmapsThatDoNotFitTheirBytesRaise310) {
  auto make = [](const std::vector<uint8_t>& b) { zv::BitmapToJpeg(b.data(), b.size(), 50); };
  std::vector<uint8_t> rows(zv::BitmapRowBytes(4, 24) * 4, 0);
  EXPECT_EQ(Code(make, Bitmap(4, 4, 24, {}, rows)), 0);
  EXPECT_EQ(Code(make, Bitmap(4, 5, 24, {}, rows)), ERR_WRONG_PARAMETER);   // rows missing
  EXPECT_EQ(Code(make, Bitmap(4, 4, 32, {}, rows)), ERR_WRONG_PARAMETER);   // bits
  EXPECT_EQ(Code(make, Bitmap(0, 4, 24, {}, rows)), ERR_WRONG_PARAMETER);   // width
  EXPECT_EQ(Code(make, Bitmap(4, -4, 24, {}, rows)), ERR_WRONG_PARAMETER);  // top-down
  EXPECT_EQ(Code(make, Bitmap(4, 4, 1, {0, 0}, rows, 3)), ERR_WRONG_PARAMETER);
  auto compressed = Bitmap(4, 4, 24, {}, rows);
  compressed[16] = 1;
  EXPECT_EQ(Code(make, compressed), ERR_WRONG_PARAMETER);
  EXPECT_EQ(Code(make, std::vector<uint8_t>(20, 0)), ERR_WRONG_PARAMETER);
}

TEST(PictureCodecTest, DataThatIsNotJpegRaises303) {
  auto read = [](const std::vector<uint8_t>& j) { zv::JpegToBitmap(j.data(), j.size()); };
  EXPECT_EQ(Code(read, std::vector<uint8_t>(100, 0x5A)), ERR_FIELD);
  EXPECT_EQ(Code(read, {}), ERR_FIELD);
  std::vector<uint8_t> rows(zv::BitmapRowBytes(16, 24) * 16, 77);
  auto jpeg = zv::BitmapToJpeg(Bitmap(16, 16, 24, {}, rows).data(), 40 + rows.size(), 50);
  jpeg.resize(jpeg.size() / 2);  // torn: an error, never a crash
  EXPECT_EQ(Code(read, jpeg), ERR_FIELD);
}

}  // namespace
