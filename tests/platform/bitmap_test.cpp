#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include "platform/canvas.h"

namespace sp {
namespace {

TEST(BitmapColor, SwapsRedAndBlueAndDropsTheHighByte) {
  EXPECT_EQ(ColorToPixel(0x00332211), 0x00112233u);
  EXPECT_EQ(PixelToColor(0x00112233), 0x00332211u);
  EXPECT_EQ(ColorToPixel(0xFF0000FF), 0x00FF0000u);
  EXPECT_EQ(ColorToPixel(kWhite), kWhitePixel);
}

TEST(BitmapResize, KeepsOldPixelsTopLeftAndFillsTheRestWhite) {
  Bitmap b(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) b.Set(x, y, static_cast<Pixel>(y * 3 + x));
  b.SetSize(4, 3);
  ASSERT_EQ(b.Width(), 4);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(b.At(2, 1), 5u);
  EXPECT_EQ(b.At(0, 0), 0u);
  EXPECT_EQ(b.At(3, 0), kWhitePixel);
  EXPECT_EQ(b.At(0, 2), kWhitePixel);

  b.SetWidth(2);
  EXPECT_EQ(b.At(1, 1), 4u);
  EXPECT_EQ(b.At(0, 2), kWhitePixel);
}

TEST(BitmapResize, ZeroOrNegativeSideEmptiesButRemembersTheOther) {
  Bitmap b(5, 4);
  b.Set(0, 0, 7);
  b.SetWidth(0);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(b.Data(), nullptr);

  // The old pixels are gone: growing again gives a white picture.
  b.SetWidth(5);
  EXPECT_FALSE(b.IsEmpty());
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(b.At(0, 0), kWhitePixel);

  b.SetHeight(-3);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Height(), 0);

  Bitmap fresh;
  EXPECT_TRUE(fresh.IsEmpty());
  fresh.SetWidth(3);
  EXPECT_TRUE(fresh.IsEmpty());
  fresh.SetHeight(2);
  EXPECT_EQ(fresh.At(2, 1), kWhitePixel);
}

TEST(BitmapDirty, CollectsTouchedAreaClippedAndClearsOnTake) {
  Bitmap b(10, 10);
  EXPECT_EQ(b.TakeDirty(), (Rect{0, 0, 10, 10}));  // a new picture is all new
  EXPECT_TRUE(b.TakeDirty().IsEmpty());

  b.MarkDirty({2, 2, 4, 4});
  b.MarkDirty({8, 1, 20, 3});
  b.MarkDirty({-5, -5, -1, -1});
  EXPECT_EQ(b.TakeDirty(), (Rect{2, 1, 10, 4}));
  EXPECT_TRUE(b.Dirty().IsEmpty());

  b.SetSize(6, 7);
  EXPECT_EQ(b.TakeDirty(), (Rect{0, 0, 6, 7}));
}

TEST(BitmapDirty, EveryCanvasOperationMarksWhatItTouched) {
  Bitmap b(20, 20);
  Bitmap small(3, 3);
  Canvas& c = b.GetCanvas();
  EXPECT_EQ(&c, &b.GetCanvas());
  EXPECT_EQ(&c.Target(), &b);

  b.TakeDirty();
  c.Draw(18, -1, small);
  EXPECT_EQ(b.TakeDirty(), (Rect{18, 0, 20, 2}));
  c.StretchDraw({1, 2, 5, 6}, small);
  EXPECT_EQ(b.TakeDirty(), (Rect{1, 2, 5, 6}));
  c.CopyRect({0, 0, 2, 2}, small.GetCanvas(), {0, 0, 2, 2});
  EXPECT_EQ(b.TakeDirty(), (Rect{0, 0, 2, 2}));
  c.FillRect({15, 15, 30, 30});
  EXPECT_EQ(b.TakeDirty(), (Rect{15, 15, 20, 20}));
  c.Draw(30, 30, small);
  EXPECT_TRUE(b.TakeDirty().IsEmpty());
}

}  // namespace
}  // namespace sp
