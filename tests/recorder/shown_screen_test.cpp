#include "recorder/shown_screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "recorder/images.h"
#include "recorder/test_media.h"

namespace sp::recorder {
namespace {

// A screen packed from `picture`, for tests that change copies of it.
struct Packed {
  Bitmap picture;
  std::unique_ptr<ShownScreen> screen;
  Packed(int w, int h, uint32_t seed) : picture(w, h) {
    FillTestPattern(picture, seed);
    screen = std::make_unique<ShownScreen>(picture, EncodeJpeg(picture));
  }
};

double MeanSquareError(const Bitmap& a, const Bitmap& b, const Rect& r) {
  double sum = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        const double d = static_cast<double>(a.At(x, y) >> shift & 0xFF) - (b.At(x, y) >> shift & 0xFF);
        sum += d * d;
      }
    }
  }
  return sum / (3.0 * r.Width() * r.Height());
}

TEST(ShownScreen, AnUnchangedPictureSendsNothingFrameAfterFrame) {
  Packed p(100, 70, 3);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(p.screen->EncodeNext(p.picture, 90).empty());
}

TEST(ShownScreen, OneChangedPixelSendsItsWholeCell) {
  Packed p(100, 70, 3);
  p.picture.Set(20, 17, p.picture.At(20, 17) ^ 1);
  EXPECT_EQ(p.screen->BandsToSend(p.picture, 90), (std::vector<Rect>{{16, 16, 32, 32}}));

  // At the frame's ragged edge the cell is cut to the frame.
  Packed edge(100, 70, 3);
  edge.picture.Set(99, 69, 0);
  EXPECT_EQ(edge.screen->BandsToSend(edge.picture, 90), (std::vector<Rect>{{96, 64, 100, 70}}));
}

TEST(ShownScreen, BandsAreWholeCellsTopToBottomAndCoverEveryChange) {
  Packed p(150, 110, 5);
  Bitmap next;
  CopyPixels(p.picture, next);
  std::vector<std::pair<int, int>> changed;
  for (int i = 0; i < 25; ++i) {
    const int x = (i * 37 + 11) % 150, y = (i * 53 + 5) % 110;
    next.Set(x, y, next.At(x, y) ^ 0x404040);
    changed.emplace_back(x, y);
  }
  const std::vector<Block> blocks = p.screen->EncodeNext(next, 90);
  ASSERT_FALSE(blocks.empty());
  int previousBottom = 0;
  for (const Block& block : blocks) {
    const Rect& r = block.rect;
    EXPECT_EQ(r.Intersect(next.Bounds()), r);
    EXPECT_GE(r.top, previousBottom);
    previousBottom = r.bottom;
    EXPECT_EQ(r.left % kCodingUnit, 0);
    EXPECT_EQ(r.top % kCodingUnit, 0);
    EXPECT_TRUE(r.right % kCodingUnit == 0 || r.right == next.Width()) << r.right;
    EXPECT_TRUE(r.bottom % kCodingUnit == 0 || r.bottom == next.Height()) << r.bottom;
  }
  for (auto [x, y] : changed) {
    bool covered = false;
    for (const Block& block : blocks) {
      const Rect& r = block.rect;
      covered |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    }
    EXPECT_TRUE(covered) << x << "," << y;
  }
}

TEST(ShownScreen, RowsWithoutCommonColumnsBecomeSeparateBands) {
  // A diagonal of changes: one band per row, not one box around all of them.
  Packed p(128, 64, 7);
  FillRect(p.picture, {2, 2, 10, 10}, 0xFF0000);
  FillRect(p.picture, {40, 20, 44, 24}, 0x00FF00);
  FillRect(p.picture, {100, 40, 110, 60}, 0x0000FF);
  EXPECT_EQ(p.screen->BandsToSend(p.picture, 90),
            (std::vector<Rect>{{0, 0, 16, 16}, {32, 16, 48, 32}, {96, 32, 112, 64}}));
}

TEST(ShownScreen, WhatOthersPastedIsRepairedByTheNextFrame) {
  Packed p(96, 64, 9);
  const double fresh = MeanSquareError(p.screen->Shown(), p.picture, p.picture.Bounds());
  Bitmap black(40, 20);
  FillRect(black, black.Bounds(), 0);
  p.screen->Paste({{{21, 13, 61, 33}, EncodeJpeg(black), {}, {}},
                   {{0, 0, 8, 8}, {0xFF, 0xD8, 1, 2, 3}, {}, {}}});  // refused by the decoder
  const Rect spoiled{21, 13, 61, 33};
  EXPECT_GT(MeanSquareError(p.screen->Shown(), p.picture, spoiled), 1000);

  const std::vector<Block> blocks = p.screen->EncodeNext(p.picture, 90);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].rect, (Rect{16, 0, 64, 48}));
  EXPECT_LT(MeanSquareError(p.screen->Shown(), p.picture, p.picture.Bounds()), fresh * 1.1);
  EXPECT_TRUE(p.screen->EncodeNext(p.picture, 90).empty());
}

TEST(ShownScreen, PicturesOfAnotherSizeAreRefused) {
  Packed p(32, 32, 1);
  Bitmap other(33, 32);
  EXPECT_THROW(p.screen->BandsToSend(other, 90), std::invalid_argument);
}

}  // namespace
}  // namespace sp::recorder
