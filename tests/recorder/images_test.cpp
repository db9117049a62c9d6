#include "recorder/images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

#include "platform/errors.h"
#include "recorder/test_media.h"
#include "tests/recorder/jpeg_test_decoder.h"

namespace sp::recorder {
namespace {

using testing::DecodedJpeg;
using testing::DecodeJpeg;

// The IJG tables of quality 50, natural order.
constexpr uint16_t kLumaTable[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr uint16_t kChromaTable[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

uint16_t Scaled(uint16_t base, int quality) {
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  const int q = (base * scale + 50) / 100;
  return static_cast<uint16_t>(q < 1 ? 1 : q > 255 ? 255 : q);
}

int CountMarker(const std::vector<uint8_t>& jpeg, uint8_t marker) {
  int count = 0;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) ++count;
  }
  return count;
}

// Mean and largest per-channel difference between the decoded picture and
// the area of the bitmap it was made from.
struct Difference {
  double mean = 0;
  int largest = 0;
};

Difference Compare(const DecodedJpeg& decoded, const Bitmap& bitmap, const Rect& area) {
  Difference d;
  int64_t sum = 0;
  for (int y = 0; y < area.Height(); ++y) {
    for (int x = 0; x < area.Width(); ++x) {
      const Pixel p = bitmap.At(area.left + x, area.top + y);
      const uint8_t* rgb = &decoded.rgb[(static_cast<size_t>(y) * decoded.width + x) * 3];
      const int channel[3] = {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF),
                              static_cast<int>(p & 0xFF)};
      for (int c = 0; c < 3; ++c) {
        const int diff = std::abs(channel[c] - rgb[c]);
        sum += diff;
        d.largest = std::max(d.largest, diff);
      }
    }
  }
  d.mean = static_cast<double>(sum) / (3.0 * area.Width() * area.Height());
  return d;
}

TEST(EncodeJpeg, WritesBaselineJfifAsTheRecorderDoes) {
  Bitmap bitmap(64, 48);
  FillTestPattern(bitmap, 3);
  const std::vector<uint8_t> jpeg = EncodeJpeg(bitmap);
  ASSERT_GT(jpeg.size(), 20u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(jpeg[2], 0xFF);
  EXPECT_EQ(jpeg[3], 0xE0);
  EXPECT_EQ(0, std::memcmp(&jpeg[6], "JFIF\0", 5));
  EXPECT_EQ(jpeg[11], 1);
  EXPECT_EQ(jpeg[12], 1);
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg.back(), 0xD9);
  EXPECT_EQ(CountMarker(jpeg, 0xC0), 1);  // SOF0
  EXPECT_EQ(CountMarker(jpeg, 0xDA), 1);  // one scan
  EXPECT_EQ(CountMarker(jpeg, 0xDD), 0);  // no restart interval

  const DecodedJpeg d = DecodeJpeg(jpeg);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.jfif);
  EXPECT_EQ(d.jfifVersion[0], 1);
  EXPECT_EQ(d.jfifVersion[1], 1);
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 48);
  EXPECT_EQ(d.components, 3);
  EXPECT_FALSE(d.progressive);
  EXPECT_FALSE(d.arithmetic);
  EXPECT_EQ(d.restartInterval, 0u);
  EXPECT_EQ(d.lumaSampling[0], 2);
  EXPECT_EQ(d.lumaSampling[1], 2);
  EXPECT_EQ(d.chromaSampling[0], 1);
  EXPECT_EQ(d.chromaSampling[1], 1);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(d.lumaQuant[i], Scaled(kLumaTable[i], 90)) << i;
    EXPECT_EQ(d.chromaQuant[i], Scaled(kChromaTable[i], 90)) << i;
  }
  // ITU T.81 Annex K.3: code counts per length of the luminance tables.
  const uint8_t dcBits[17] = {0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t acBits[17] = {0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
  EXPECT_EQ(0, std::memcmp(d.dcLumaBits, dcBits, 17));
  EXPECT_EQ(0, std::memcmp(d.acLumaBits, acBits, 17));
}

TEST(EncodeJpeg, DecodesBackWithinJpegTolerance) {
  for (const auto& [w, h, seed] : {std::tuple{320, 200, 1u}, {17, 9, 2u}, {1, 1, 3u}, {99, 131, 4u}}) {
    Bitmap bitmap(w, h);
    FillTestPattern(bitmap, seed);
    const DecodedJpeg d = DecodeJpeg(EncodeJpeg(bitmap));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.width, w);
    ASSERT_EQ(d.height, h);
    // Smooth chroma upsampling blurs the rectangles' edges by a pixel, so
    // only the mean difference is small.
    EXPECT_LT(Compare(d, bitmap, bitmap.Bounds()).mean, 2.0) << w << "x" << h;
  }
  Bitmap flat(40, 24);
  FillRect(flat, flat.Bounds(), 0x336699);
  const DecodedJpeg d = DecodeJpeg(EncodeJpeg(flat));
  ASSERT_TRUE(d.ok);
  EXPECT_LE(Compare(d, flat, flat.Bounds()).largest, 3);
}

TEST(EncodeJpeg, AreaPicksAClampedRectangle) {
  Bitmap bitmap(100, 80);
  FillTestPattern(bitmap, 9);
  FillRect(bitmap, {10, 20, 60, 50}, 0xFF0000);
  FillRect(bitmap, {60, 20, 100, 80}, 0x00FF00);

  const Rect area{10, 20, 60, 50};
  const DecodedJpeg red = DecodeJpeg(EncodeJpeg(bitmap, area));
  ASSERT_TRUE(red.ok);
  EXPECT_EQ(red.width, 50);
  EXPECT_EQ(red.height, 30);
  EXPECT_LE(Compare(red, bitmap, area).largest, 3);

  const DecodedJpeg clamped = DecodeJpeg(EncodeJpeg(bitmap, {70, 30, 500, 500}));
  ASSERT_TRUE(clamped.ok);
  EXPECT_EQ(clamped.width, 30);
  EXPECT_EQ(clamped.height, 50);
  EXPECT_LE(Compare(clamped, bitmap, {70, 30, 100, 80}).largest, 3);

  EXPECT_THROW(EncodeJpeg(bitmap, {200, 200, 300, 300}), std::invalid_argument);
  EXPECT_THROW(EncodeJpeg(Bitmap()), std::invalid_argument);
}

// The pixel at (x, y), row 0 on top, read back from an icon file.
int ColorIndexAt(const std::vector<uint8_t>& icon, int x, int y) {
  const uint8_t byte = icon[22 + 40 + 64 + (31 - y) * 16 + x / 2];
  return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}
int MaskAt(const std::vector<uint8_t>& icon, int x, int y) {
  return icon[22 + 40 + 64 + 512 + (31 - y) * 4 + x / 8] >> (7 - x % 8) & 1;
}
uint32_t UInt32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t UInt16At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

TEST(IconFile, Has766BytesWithTheRecordersHeaders) {
  const std::vector<uint8_t> icon = MakeIconFile(ArrowCursor());
  ASSERT_EQ(icon.size(), 766u);
  EXPECT_EQ(UInt16At(icon, 0), 0);
  EXPECT_EQ(UInt16At(icon, 2), 1);
  EXPECT_EQ(UInt16At(icon, 4), 1);
  EXPECT_EQ(icon[6], 32);
  EXPECT_EQ(icon[7], 32);
  EXPECT_EQ(icon[8], 4);
  EXPECT_EQ(icon[9], 0);
  EXPECT_EQ(UInt16At(icon, 10), 0);
  EXPECT_EQ(UInt16At(icon, 12), 0);
  EXPECT_EQ(UInt32At(icon, 14), 744u);
  EXPECT_EQ(UInt32At(icon, 18), 22u);
  EXPECT_EQ(UInt32At(icon, 22), 40u);
  EXPECT_EQ(UInt32At(icon, 26), 32u);
  EXPECT_EQ(UInt32At(icon, 30), 64u);
  EXPECT_EQ(UInt16At(icon, 34), 1);
  EXPECT_EQ(UInt16At(icon, 36), 4);
  EXPECT_EQ(UInt32At(icon, 38), 0u);
  // Palette entries are B, G, R, 0: black, then maroon, ..., silver, ..., white.
  EXPECT_EQ(UInt32At(icon, 62), 0x00000000u);
  EXPECT_EQ(UInt32At(icon, 62 + 4 * 1), 0x00800000u);
  EXPECT_EQ(UInt32At(icon, 62 + 4 * 7), 0x00C0C0C0u);
  EXPECT_EQ(UInt32At(icon, 62 + 4 * 9), 0x00FF0000u);
  EXPECT_EQ(UInt32At(icon, 62 + 4 * 12), 0x000000FFu);
  EXPECT_EQ(UInt32At(icon, 62 + 4 * 15), 0x00FFFFFFu);
}

TEST(IconFile, ImagesRunBottomUpWithTheLeftPixelFirst) {
  std::mt19937 random(1);
  CursorPicture picture;
  for (int i = 0; i < 32 * 32; ++i) {
    picture.colorIndex[i] = static_cast<uint8_t>(random() % 16);
    picture.mask[i] = static_cast<uint8_t>(random() % 2);
  }
  const std::vector<uint8_t> icon = MakeIconFile(picture);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      ASSERT_EQ(ColorIndexAt(icon, x, y), picture.colorIndex[y * 32 + x]) << x << "," << y;
      ASSERT_EQ(MaskAt(icon, x, y), picture.mask[y * 32 + x]) << x << "," << y;
    }
  }
  EXPECT_EQ(icon[22 + 40 + 64 + 31 * 16] >> 4, picture.colorIndex[0]);
}

TEST(IconFile, ArrowAndTextCursorsDrawAsDocumented) {
  const CursorPicture arrow = ArrowCursor();
  EXPECT_EQ(arrow.mask[0], 0);
  EXPECT_EQ(arrow.colorIndex[0], 0);       // outline tip: painted black
  EXPECT_EQ(arrow.mask[2 * 32 + 1], 0);
  EXPECT_EQ(arrow.colorIndex[2 * 32 + 1], 15);  // inside: painted white
  int painted = 0;
  for (int i = 0; i < 32 * 32; ++i) {
    if (arrow.mask[i] == 0) {
      ++painted;
      EXPECT_TRUE(arrow.colorIndex[i] == 0 || arrow.colorIndex[i] == 15);
    } else {
      EXPECT_EQ(arrow.colorIndex[i], 0) << "a transparent pixel would invert";
    }
  }
  EXPECT_GT(painted, 50);
  EXPECT_EQ(arrow.mask[31 * 32 + 31], 1);

  const CursorPicture text = TextCursor();
  int inverting = 0;
  for (int i = 0; i < 32 * 32; ++i) {
    EXPECT_EQ(text.mask[i], 1);
    if (text.colorIndex[i] != 0) {
      EXPECT_EQ(text.colorIndex[i], 15);
      ++inverting;
    }
  }
  EXPECT_GT(inverting, 10);
}

}  // namespace
}  // namespace sp::recorder
