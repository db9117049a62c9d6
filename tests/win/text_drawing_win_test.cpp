// Caption text through GDI: one colour and no smoothing, Chinese drawn from
// a face that has it when the chosen face is Latin, the styles GDI draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace sp {
namespace {

constexpr Pixel kBackground = 0x204060;
constexpr Color kYellow = 0x0000FFFF;  // 0x00BBGGRR
constexpr Pixel kYellowPixel = 0xFFFF00;

struct Drawn {
  std::unique_ptr<Bitmap> bitmap;
  int ink = 0;
  std::set<Pixel> colours;
};

Drawn Draw(const std::string& face, const std::string& text, FontStyles style = 0) {
  Drawn d;
  d.bitmap = std::make_unique<Bitmap>(400, 60);
  Bitmap& b = *d.bitmap;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) b.Set(x, y, kBackground);
  }
  Canvas& canvas = b.GetCanvas();
  canvas.brush.style = BrushStyle::Clear;
  canvas.font.name = face;
  canvas.font.size = 18;
  canvas.font.color = kYellow;
  canvas.font.style = style;
  canvas.TextOut(10, 10, text);
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      d.colours.insert(b.At(x, y));
      if (b.At(x, y) == kYellowPixel) ++d.ink;
    }
  }
  return d;
}

// The ink of a drawing as a set of points, to compare shapes.
std::set<std::pair<int, int>> InkOf(const Bitmap& b) {
  std::set<std::pair<int, int>> points;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      if (b.At(x, y) == kYellowPixel) points.insert({x, y});
    }
  }
  return points;
}

TEST(GdiText, CaptionIsOneColourWithoutSmoothedPixels) {
  for (FontStyles style : {FontStyles{0}, FontStyles{kFontBold}, FontStyles{kFontItalic}}) {
    const Drawn d = Draw("Arial", "Caption 全屏幕 Wg", style);
    EXPECT_GT(d.ink, 200) << int(style);
    EXPECT_EQ(d.colours, (std::set<Pixel>{kBackground, kYellowPixel})) << int(style);
  }
}

TEST(GdiText, ChineseInALatinFaceIsDrawnNotBoxes) {
  // Tahoma has no Chinese; without the fallback each character would be
  // the same missing-glyph box.
  const Drawn one = Draw("Tahoma", "全");
  const Drawn other = Draw("Tahoma", "幕");
  EXPECT_GT(one.ink, 40);
  EXPECT_GT(other.ink, 40);
  EXPECT_NE(InkOf(*one.bitmap), InkOf(*other.bitmap));
  // Mixed text keeps its Latin part in the chosen face.
  const Drawn latin = Draw("Tahoma", "AB");
  const Drawn mixed = Draw("Tahoma", "AB全");
  const auto latinInk = InkOf(*latin.bitmap);
  const auto mixedInk = InkOf(*mixed.bitmap);
  EXPECT_TRUE(std::includes(mixedInk.begin(), mixedInk.end(), latinInk.begin(), latinInk.end()));
  EXPECT_GT(mixed.ink, latin.ink + 40);
}

TEST(GdiText, ChineseInALatinFaceAdvancesByItsOwnWidth) {
  // The pen moves by the width of the face that drew the character: two of
  // them side by side are one and a copy one extent to the right.
  Bitmap measure(10, 10);
  Canvas& canvas = measure.GetCanvas();
  canvas.font.name = "Tahoma";
  canvas.font.size = 18;
  const int width = canvas.TextExtent("全").width;
  EXPECT_GE(width, 20);  // a square ideograph of a 24-pixel em, not a narrow box
  EXPECT_EQ(canvas.TextExtent("全全").width, 2 * width);
  const auto one = InkOf(*Draw("Tahoma", "全").bitmap);
  auto expected = one;
  for (const auto& [x, y] : one) expected.insert({x + width, y});
  EXPECT_EQ(InkOf(*Draw("Tahoma", "全全").bitmap), expected);
}

TEST(GdiText, BoldUnderlineAndStrikeOutAddInk) {
  const Drawn plain = Draw("Arial", "Underlined");
  EXPECT_GT(Draw("Arial", "Underlined", kFontBold).ink, plain.ink);
  EXPECT_GT(Draw("Arial", "Underlined", kFontUnderline).ink, plain.ink + 60);
  EXPECT_GT(Draw("Arial", "Underlined", kFontStrikeOut).ink, plain.ink + 60);
}

TEST(GdiText, ExtentAndClippingAndDirtyRectangle) {
  Bitmap b(50, 20);
  Canvas& canvas = b.GetCanvas();
  canvas.font.name = "Arial";
  canvas.font.size = 18;
  canvas.brush.style = BrushStyle::Clear;
  const Size extent = canvas.TextExtent("Wide text beyond the edge");
  EXPECT_GT(extent.width, 100);
  EXPECT_GE(extent.height, 24);
  b.TakeDirty();
  // Far outside, partly outside: nothing drawn out of bounds, and what is
  // drawn is marked dirty.
  canvas.TextOut(-100000, 5, "invisible");
  EXPECT_TRUE(b.TakeDirty().IsEmpty());
  canvas.TextOut(-5, -5, "Wide text beyond the edge");
  const Rect dirty = b.TakeDirty();
  EXPECT_FALSE(dirty.IsEmpty());
  EXPECT_GE(dirty.left, 0);
  EXPECT_LE(dirty.right, 50);
}

}  // namespace
}  // namespace sp
