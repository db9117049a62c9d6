// The decoder's settings, against the reference pixels of
// tests/media/reference_jpeg.h (libjpeg-turbo's own djpeg, not our code).

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "platform/bitmap.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "tests/media/reference_jpeg.h"

namespace sp {
namespace {

using media_testing::kReferenceJpeg;
using media_testing::kReferencePixels;

void Load(JpegImage& image, const uint8_t* bytes, size_t size) {
  MemoryStream stream;
  stream.Write(bytes, size);
  stream.Seek(0, SeekOrigin::Begin);
  image.LoadFromStream(stream);
}

int Mismatches(const std::vector<Pixel>& pixels) {
  int count = 0;
  for (size_t i = 0; i < pixels.size(); ++i) count += pixels[i] != kReferencePixels[i];
  return count;
}

// The fixture decoded by libjpeg directly with the given settings.
std::vector<Pixel> DecodeWith(J_DCT_METHOD dct, bool smoothUpsampling) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, kReferenceJpeg, sizeof kReferenceJpeg);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  info.dct_method = dct;
  info.do_fancy_upsampling = smoothUpsampling ? TRUE : FALSE;
  jpeg_start_decompress(&info);
  std::vector<Pixel> pixels;
  std::vector<JSAMPLE> row(info.output_width * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (size_t x = 0; x < info.output_width; ++x) {
      pixels.push_back(static_cast<Pixel>(row[3 * x]) << 16 | row[3 * x + 1] << 8 | row[3 * x + 2]);
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}

TEST(JpegReference, DecodesExactlyAsTheReferenceDecoderWithAccurateDctAndSmoothUpsampling) {
  JpegImage image;
  Load(image, kReferenceJpeg, sizeof kReferenceJpeg);
  Bitmap bitmap;
  image.AssignTo(bitmap);
  ASSERT_EQ(bitmap.Width(), 16);
  ASSERT_EQ(bitmap.Height(), 16);
  int wrong = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      Pixel want = kReferencePixels[y * 16 + x];
      if (bitmap.At(x, y) != want && ++wrong <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << bitmap.At(x, y)
                      << ", the reference decoder gives " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << "pixels that differ from the reference";

  // The same object decodes the same bytes again to the same pixels: no
  // setting is left behind by the first decode.
  Load(image, kReferenceJpeg, sizeof kReferenceJpeg);
  Bitmap again;
  image.AssignTo(again);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(again.At(i % 16, i / 16), kReferencePixels[i]);
}

TEST(JpegReference, OtherDecoderSettingsWouldGiveOtherPixels) {
  // The installed library agrees with the reference at its accurate settings...
  EXPECT_EQ(Mismatches(DecodeWith(JDCT_ISLOW, true)), 0);
  // ...and the fixture tells each cheaper setting apart.
  EXPECT_GT(Mismatches(DecodeWith(JDCT_IFAST, true)), 50);
  EXPECT_GT(Mismatches(DecodeWith(JDCT_FLOAT, true)), 0);
  EXPECT_GT(Mismatches(DecodeWith(JDCT_ISLOW, false)), 50);
}

}  // namespace
}  // namespace sp
