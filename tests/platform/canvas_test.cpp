#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/icon.h"
#include "platform/stream.h"
#include "tests/platform/ico_writer.h"

namespace sp {
namespace {

// Every pixel distinct, so a wrong source pixel shows.
void Number(Bitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.Set(x, y, 0x010000 + static_cast<Pixel>(y * 256 + x));
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.At(x, y) != b.At(x, y)) return false;
  return true;
}

void Copy(Bitmap& to, const Bitmap& from) {
  to.SetSize(from.Width(), from.Height());
  to.GetCanvas().Draw(0, 0, from);
}

TEST(CanvasDraw, CopiesOneToOneAndClipsAtNegativeCoordinates) {
  Bitmap target(8, 8);
  Bitmap source(4, 4);
  Number(source);
  target.GetCanvas().Draw(-1, 6, source);
  EXPECT_EQ(target.At(0, 6), source.At(1, 0));
  EXPECT_EQ(target.At(2, 7), source.At(3, 1));
  EXPECT_EQ(target.At(3, 7), kWhitePixel);
  EXPECT_EQ(target.At(0, 5), kWhitePixel);

  Bitmap empty;
  Bitmap before;
  Copy(before, target);
  target.GetCanvas().Draw(0, 0, empty);
  EXPECT_TRUE(SamePixels(before, target));
}

TEST(CanvasBlits, ExtremeCoordinatesDrawNothingAndDoNotOverflow) {
  Bitmap target(8, 8);
  Bitmap source(4, 4);
  Number(source);
  Icon icon;
  test::IcoPicture pic;
  pic.palette = {0x000000FF};
  MemoryStream ico;
  auto bytes = test::WriteIco(pic);
  ico.Write(bytes.data(), bytes.size());
  ico.Seek(0, SeekOrigin::Begin);
  icon.LoadFromStream(ico);

  Canvas& c = target.GetCanvas();
  auto past = [](int v) { return static_cast<int>(std::min<int64_t>(int64_t{v} + 4, INT_MAX)); };
  for (int v : {INT_MIN, INT_MIN + 1, -40, 40, INT_MAX - 3, INT_MAX}) {
    c.Draw(v, 0, source);
    c.Draw(0, v, source);
    c.Draw(v, v, icon);
    c.StretchDraw({v, 0, past(v), 4}, source);
    c.StretchDraw({0, v, 4, past(v)}, source);
    c.CopyRect({v, v, past(v), past(v)}, source.GetCanvas(), {0, 0, 4, 4});
    c.CopyRect({0, 0, 4, 4}, source.GetCanvas(), {v, v, past(v), past(v)});
    c.FillRect({v, v, past(v), past(v)});
  }
  target.TakeDirty();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(target.At(x, y), kWhitePixel) << x << "," << y;

  // A destination spanning every int still shows its visible slice.
  c.StretchDraw({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, source);
  EXPECT_EQ(target.At(0, 0), source.At(2, 2));  // floor(2^31 * 4 / (2^32 - 1)) = 2
  c.CopyRect({INT_MIN, 0, INT_MAX, 8}, source.GetCanvas(), {0, 0, 4, 4});
  EXPECT_EQ(target.At(7, 0), source.At(2, 0));
}

TEST(CanvasStretch, OnePixelFillsExactlyItsTarget) {
  Bitmap target(10, 10);
  Bitmap dot(1, 1);
  dot.Set(0, 0, 0x123456);
  target.GetCanvas().StretchDraw({2, 3, 7, 5}, dot);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      bool inside = x >= 2 && x < 7 && y >= 3 && y < 5;
      ASSERT_EQ(target.At(x, y), inside ? 0x123456u : kWhitePixel) << x << "," << y;
    }
}

TEST(CanvasStretch, HalvingTakesEveryOtherScanAndEqualSizeEqualsDraw) {
  Bitmap source(8, 6);
  Number(source);
  Bitmap half(4, 3);
  half.GetCanvas().StretchDraw({0, 0, 4, 3}, source);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(half.At(x, y), source.At(2 * x, 2 * y));

  Bitmap drawn(12, 12), stretched(12, 12);
  drawn.GetCanvas().Draw(-2, 5, source);
  stretched.GetCanvas().StretchDraw({-2, 5, 6, 11}, source);
  EXPECT_TRUE(SamePixels(drawn, stretched));

  // Doubling repeats each pixel twice, with no blending.
  Bitmap twice(16, 12);
  twice.GetCanvas().StretchDraw({0, 0, 16, 12}, source);
  EXPECT_EQ(twice.At(5, 3), source.At(2, 1));
  EXPECT_EQ(twice.At(15, 11), source.At(7, 5));
}

TEST(CanvasCopyRect, SourcePartlyOutsideLeavesThoseDestinationPixels) {
  Bitmap source(4, 4);
  Number(source);
  Bitmap target(6, 6);
  // Source rectangle starts one pixel left of and above the source bitmap.
  target.GetCanvas().CopyRect({1, 1, 6, 6}, source.GetCanvas(), {-1, -1, 4, 4});
  EXPECT_EQ(target.At(1, 1), kWhitePixel);
  EXPECT_EQ(target.At(3, 1), kWhitePixel);
  EXPECT_EQ(target.At(1, 4), kWhitePixel);
  EXPECT_EQ(target.At(2, 2), source.At(0, 0));
  EXPECT_EQ(target.At(5, 5), source.At(3, 3));
}

TEST(CanvasCopyRect, WithinOneBitmapCopiesFromTheUntouchedPicture) {
  Bitmap b(8, 8);
  Number(b);
  Bitmap original;
  Copy(original, b);
  // Overlapping shift right and down by one: a naive in-place copy would
  // smear the first pixel along the row.
  b.GetCanvas().CopyRect({1, 1, 8, 8}, b.GetCanvas(), {0, 0, 7, 7});
  for (int y = 1; y < 8; ++y)
    for (int x = 1; x < 8; ++x) ASSERT_EQ(b.At(x, y), original.At(x - 1, y - 1));
  EXPECT_EQ(b.At(0, 0), original.At(0, 0));

  b.GetCanvas().Draw(-1, 0, b);
  EXPECT_EQ(b.At(0, 3), original.At(0, 2));
}

TEST(CanvasFillRect, UsesBrushColourAndClearBrushPaintsNothing) {
  Bitmap b(4, 4);
  Canvas& c = b.GetCanvas();
  c.brush.color = 0x00332211;
  c.FillRect({-1, -1, 2, 2});
  EXPECT_EQ(b.At(1, 1), 0x00112233u);
  EXPECT_EQ(b.At(2, 1), kWhitePixel);
  c.brush.style = BrushStyle::Clear;
  c.FillRect({0, 0, 4, 4});
  EXPECT_EQ(b.At(3, 3), kWhitePixel);
}

// Background: pixel (x, y) = 0x00xxyy40, so each inverted pixel is distinct.
void PaintBackground(Bitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.Set(x, y, static_cast<Pixel>(x << 16 | y << 8 | 0x40));
}

Icon LoadIcon(const test::IcoPicture& pic) {
  auto bytes = test::WriteIco(pic);
  MemoryStream s;
  s.Write(bytes.data(), bytes.size());
  s.Seek(0, SeekOrigin::Begin);
  Icon icon;
  icon.LoadFromStream(s);
  return icon;
}

TEST(CanvasIcon, TextCursorOfMaskOneWhiteInvertsExactlyItsPixels) {
  test::IcoPicture pic;
  pic.bitCount = 1;
  pic.palette = {0x000000, 0xFFFFFF};
  auto beam = [](int x, int y) { return x == 15 || ((y == 2 || y == 29) && x >= 12 && x <= 18); };
  pic.value = [beam](int x, int y) { return beam(x, y) ? 1u : 0u; };
  pic.mask = [](int, int) { return true; };
  Icon icon = LoadIcon(pic);

  Bitmap screen(40, 40);
  PaintBackground(screen);
  Bitmap original;
  Copy(original, screen);
  screen.GetCanvas().Draw(3, 4, icon);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      bool under = x >= 3 && x < 35 && y >= 4 && y < 36 && beam(x - 3, y - 4);
      Pixel want = under ? original.At(x, y) ^ kWhitePixel : original.At(x, y);
      ASSERT_EQ(screen.At(x, y), want) << x << "," << y;
    }

  // Drawn again at the same place, the inversion undoes itself.
  screen.GetCanvas().Draw(3, 4, icon);
  EXPECT_TRUE(SamePixels(screen, original));
}

TEST(CanvasIcon, MaskZeroPaintsAndMaskOneBlackLeavesAndOtherColoursXor) {
  // Columns: 0..7 mask 0 red; 8..15 mask 1 black; 16..23 mask 1 green; rest mask 0 black.
  test::IcoPicture pic;
  pic.bitCount = 24;
  pic.value = [](int x, int) -> uint32_t {
    if (x < 8) return 0xFF0000;
    if (x >= 16 && x < 24) return 0x00FF00;
    return 0;
  };
  pic.mask = [](int x, int) { return x >= 8 && x < 24; };
  Icon icon = LoadIcon(pic);

  Bitmap screen(40, 40);
  PaintBackground(screen);
  Bitmap original;
  Copy(original, screen);
  screen.TakeDirty();
  screen.GetCanvas().Draw(-4, 0, icon);  // partly off the left edge
  EXPECT_EQ(screen.At(0, 5), 0xFF0000u);
  EXPECT_EQ(screen.At(6, 5), original.At(6, 5));
  EXPECT_EQ(screen.At(14, 5), original.At(14, 5) ^ 0x00FF00);
  EXPECT_EQ(screen.At(25, 5), 0u);
  EXPECT_EQ(screen.At(28, 5), original.At(28, 5));
  EXPECT_EQ(screen.At(0, 32), original.At(0, 32));
  EXPECT_EQ(screen.TakeDirty(), (Rect{0, 0, 28, 32}));

  Icon empty;
  Copy(original, screen);
  screen.GetCanvas().Draw(0, 0, empty);
  EXPECT_TRUE(SamePixels(screen, original));
}

}  // namespace
}  // namespace sp
