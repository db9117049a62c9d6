// The same JPEG bytes decode to the same pixels in the Linux and the
// Windows build: both builds run this file and compare the pixels with the
// digests below, taken from libjpeg-turbo 2.1.5 on Linux.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "tests/media/jpeg_writer.h"

namespace sp {
namespace {

using media_testing::JpegColor;
using media_testing::JpegRecipe;
using media_testing::JpegScans;
using media_testing::MakeJpeg;

// FNV-1a over the pixels, rows top-down, and the size.
uint64_t Digest(const Bitmap& b) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  mix(static_cast<uint32_t>(b.Width()));
  mix(static_cast<uint32_t>(b.Height()));
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) mix(b.At(x, y));
  }
  return h;
}

// A picture with edges, gradients and noise, so that every stage of the
// decoder (upsampling, inverse DCT, colour conversion) shows in the pixels.
uint32_t Busy(int x, int y) {
  const uint32_t noise = (static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u) >> 24;
  const uint32_t r = (x * 255 / 97) & 0xFF;
  const uint32_t g = ((x + y) % 23 < 11) ? 0xE0 : 0x20;
  const uint32_t b = (y * 7 + noise) & 0xFF;
  return r << 16 | g << 8 | b;
}

std::string Decoded(const std::vector<uint8_t>& bytes) {
  MemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.Seek(0, SeekOrigin::Begin);
  JpegImage jpeg;
  try {
    jpeg.LoadFromStream(stream);
    Bitmap decoded;
    jpeg.AssignTo(decoded);
    char text[32];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Digest(decoded)));
    return text;
  } catch (const Error& e) {
    return e.what();
  }
}

TEST(JpegParity, SameBytesGiveTheLinuxPixels) {
  // 4:2:0 is libjpeg's default for colour; quality 100 keeps 4:2:0 too.
  const auto colour = MakeJpeg({97, 61, JpegColor::Rgb, JpegScans::Baseline, 75}, Busy);
  const auto fine = MakeJpeg({97, 61, JpegColor::Rgb, JpegScans::Baseline, 100}, Busy);
  const auto grey = MakeJpeg({97, 61, JpegColor::Grey, JpegScans::Baseline, 90}, Busy);
  const auto progressive = MakeJpeg({97, 61, JpegColor::Rgb, JpegScans::Progressive, 85}, Busy);
  // Cut in its data: completed with an end-of-image marker.
  std::vector<uint8_t> cut(colour.begin(), colour.begin() + colour.size() * 2 / 3);
  std::vector<uint8_t> corrupt = colour;
  for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 40; ++i) corrupt[i] ^= 0x5A;
  std::vector<uint8_t> notJpeg(colour.begin() + 2, colour.end());

  EXPECT_EQ(Decoded(colour), "844c2120fd8a4950");
  EXPECT_EQ(Decoded(fine), "38e6062c0b5713af");
  EXPECT_EQ(Decoded(grey), "4785c478d235fabd");
  EXPECT_EQ(Decoded(progressive), "48fe8ed13f540a71");
  EXPECT_EQ(Decoded(cut), "0fe41663bcad50d8");
  EXPECT_EQ(Decoded(corrupt), "10783839518b50b5");
  EXPECT_EQ(Decoded(notJpeg), "JPEG error #53");
}

}  // namespace
}  // namespace sp
