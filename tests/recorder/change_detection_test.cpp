#include "recorder/change_detection.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "recorder/test_media.h"
#include "tests/recorder/jpeg_test_decoder.h"

namespace sp::recorder {
namespace {

struct Pair {
  Bitmap previous;
  Bitmap next;
  Pair(int w, int h) : previous(w, h), next(w, h) {
    FillTestPattern(previous, 21);
    CopyPixels(previous, next);
  }
};

TEST(FindChangedBands, NoChangeGivesNoBand) {
  Pair p(40, 30);
  EXPECT_TRUE(FindChangedBands(p.previous, p.next).empty());
}

TEST(FindChangedBands, OnePixelGivesItsOwnRectangle) {
  Pair p(40, 30);
  p.next.Set(7, 11, p.next.At(7, 11) ^ 1);
  EXPECT_EQ(FindChangedBands(p.previous, p.next), (std::vector<Rect>{{7, 11, 8, 12}}));

  Pair corner(40, 30);
  corner.next.Set(39, 29, ~corner.next.At(39, 29) & 0xFFFFFF);
  EXPECT_EQ(FindChangedBands(corner.previous, corner.next), (std::vector<Rect>{{39, 29, 40, 30}}));
}

TEST(FindChangedBands, SeparateRowRunsGiveSeparateBandsTopToBottom) {
  Pair p(100, 80);
  FillRect(p.next, {60, 50, 70, 60}, 0x123456);
  FillRect(p.next, {5, 3, 20, 8}, 0x654321);
  EXPECT_EQ(FindChangedBands(p.previous, p.next),
            (std::vector<Rect>{{5, 3, 20, 8}, {60, 50, 70, 60}}));
}

TEST(FindChangedBands, ABandSpansTheColumnsOfAllItsRows) {
  // Two regions sharing row 12 form one band, trimmed to both their columns.
  Pair p(100, 80);
  FillRect(p.next, {10, 5, 20, 13}, 0x0000FF);
  FillRect(p.next, {50, 12, 70, 30}, 0x00FF00);
  const std::vector<Rect> bands = FindChangedBands(p.previous, p.next);
  EXPECT_EQ(bands, (std::vector<Rect>{{10, 5, 70, 30}}));
}

TEST(FindChangedBands, FullChangeGivesTheWholeFrame) {
  Bitmap previous(33, 17);
  Bitmap next(33, 17);
  FillTestPattern(previous, 1);
  FillTestPattern(next, 2);
  for (int y = 0; y < 17; ++y) next.Set(0, y, ~previous.At(0, y) & 0xFFFFFF);
  for (int y = 0; y < 17; ++y) next.Set(32, y, ~previous.At(32, y) & 0xFFFFFF);
  EXPECT_EQ(FindChangedBands(previous, next), (std::vector<Rect>{next.Bounds()}));
}

TEST(FindChangedBands, BandsLieInsideTheFrameWithoutOverlap) {
  Bitmap previous(64, 64);
  Bitmap next(64, 64);
  FillTestPattern(previous, 5);
  CopyPixels(previous, next);
  for (int i = 0; i < 40; ++i) {
    const int x = (i * 37) % 64, y = (i * 23) % 64;
    next.Set(x, y, next.At(x, y) ^ 0x808080);
  }
  const std::vector<Rect> bands = FindChangedBands(previous, next);
  ASSERT_FALSE(bands.empty());
  int previousBottom = 0;
  for (const Rect& band : bands) {
    EXPECT_EQ(band.Intersect(next.Bounds()), band);
    EXPECT_GE(band.top, previousBottom);
    previousBottom = band.bottom;
  }
  // Outside the bands nothing changed.
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      bool inside = false;
      for (const Rect& b : bands) inside |= x >= b.left && x < b.right && y >= b.top && y < b.bottom;
      if (!inside) {
        ASSERT_EQ(previous.At(x, y), next.At(x, y)) << x << "," << y;
      }
    }
  }
}

TEST(FindChangedBands, PicturesOfDifferentSizesAreRefused) {
  Bitmap a(10, 10);
  Bitmap b(10, 11);
  EXPECT_THROW(FindChangedBands(a, b), std::invalid_argument);
}

TEST(EncodeChangedBlocks, EachBandBecomesAJpegOfItsSize) {
  Pair p(120, 90);
  FillRect(p.next, {10, 10, 40, 20}, 0xFF0000);
  FillRect(p.next, {30, 50, 110, 80}, 0x0000FF);
  const std::vector<Block> blocks = EncodeChangedBlocks(p.previous, p.next);
  ASSERT_EQ(blocks.size(), 2u);
  for (const Block& block : blocks) {
    EXPECT_FALSE(block.sizeOverride);
    EXPECT_FALSE(block.frameOverride);
    const testing::DecodedJpeg d = testing::DecodeJpeg(block.jpeg);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, block.rect.Width());
    EXPECT_EQ(d.height, block.rect.Height());
  }
  const testing::DecodedJpeg red = testing::DecodeJpeg(blocks[0].jpeg);
  EXPECT_NEAR(red.rgb[0], 255, 3);
  EXPECT_NEAR(red.rgb[1], 0, 3);
  EXPECT_TRUE(EncodeChangedBlocks(p.previous, p.previous).empty());
}

}  // namespace
}  // namespace sp::recorder
