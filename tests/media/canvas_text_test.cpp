#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace sp {
namespace {

constexpr Color kRedColor = 0x000000FF;  // 0x00BBGGRR
constexpr Pixel kRedPixel = 0x00FF0000;

// A background no text colour matches by chance.
Pixel Backdrop(int x, int y) { return 0x00102030u + static_cast<Pixel>((x * 7 + y * 13) % 64); }

void PaintBackdrop(Bitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) bitmap.Set(x, y, Backdrop(x, y));
  }
}

struct Ink {
  int count = 0;
  Rect box;  // bounding box of the changed pixels
};

Ink InkOf(const Bitmap& bitmap) {
  Ink ink;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.At(x, y) != Backdrop(x, y)) {
        ++ink.count;
        ink.box = ink.box.Union({x, y, x + 1, y + 1});
      }
    }
  }
  return ink;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.At(x, y) != b.At(x, y)) return false;
    }
  }
  return true;
}

// The longest run of ink colour in row y.
int LongestRun(const Bitmap& bitmap, int y, Pixel ink) {
  int best = 0;
  int run = 0;
  for (int x = 0; x < bitmap.Width(); ++x) {
    run = bitmap.At(x, y) == ink ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

class CanvasText : public ::testing::Test {
 protected:
  CanvasText() : bitmap_(240, 60) {
    PaintBackdrop(bitmap_);
    Canvas& canvas = bitmap_.GetCanvas();
    canvas.brush.style = BrushStyle::Clear;
    canvas.font.name = "DejaVu Sans";
    canvas.font.size = 18;
    canvas.font.color = kRedColor;
  }

  Canvas& canvas() { return bitmap_.GetCanvas(); }

  // Draws on a fresh copy of the backdrop with the fixture's font changed by
  // adjust, and returns the ink.
  template <typename Adjust>
  Ink Draw(const std::string& text, Adjust adjust, Bitmap* out = nullptr) {
    Bitmap local(bitmap_.Width(), bitmap_.Height());
    Bitmap& target = out ? *out : local;
    target.SetSize(bitmap_.Width(), bitmap_.Height());
    PaintBackdrop(target);
    Canvas& c = target.GetCanvas();
    c.font = canvas().font;
    c.brush = canvas().brush;
    adjust(c.font);
    c.TextOut(10, 10, text);
    return InkOf(target);
  }
  Ink Draw(const std::string& text) {
    return Draw(text, [](Font&) {});
  }

  Bitmap bitmap_;
};

TEST(FontPixelHeight, IsPointsAtNinetySixDotsPerInchRounded) {
  Font font;
  font.size = 18;
  EXPECT_EQ(font.PixelHeight(), 24);
  font.size = 8;
  EXPECT_EQ(font.PixelHeight(), 11);
  font.size = 10;
  EXPECT_EQ(font.PixelHeight(), 13);
  font.size = -9;
  EXPECT_EQ(font.PixelHeight(), -12);
  font.size = INT_MAX;
  EXPECT_EQ(font.PixelHeight(), INT_MAX);
}

TEST_F(CanvasText, EighteenPointTextFitsItsTwentyFourPixelCell) {
  Size extent = canvas().TextExtent("Hg");
  EXPECT_GE(extent.height, 24);
  EXPECT_LE(extent.height, 30);
  Ink ink = Draw("Hg");
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.box.top, 10);
  EXPECT_LE(ink.box.bottom, 10 + extent.height);
  // Cap height plus descender of a 24-pixel em.
  EXPECT_GE(ink.box.Height(), 19);
  EXPECT_LE(ink.box.Height(), 26);
  EXPECT_GE(ink.box.left, 10);
  EXPECT_LE(ink.box.right, 10 + extent.width);

  Ink small = Draw("Hg", [](Font& f) { f.size = 8; });
  EXPECT_LT(small.box.Height(), ink.box.Height() / 2 + 2);
}

TEST_F(CanvasText, DrawsOneColourWithoutSmoothing) {
  canvas().TextOut(5, 5, "Smooth? @ 全屏幕");
  int red = 0;
  for (int y = 0; y < bitmap_.Height(); ++y) {
    for (int x = 0; x < bitmap_.Width(); ++x) {
      Pixel p = bitmap_.At(x, y);
      if (p == kRedPixel) {
        ++red;
      } else {
        ASSERT_EQ(p, Backdrop(x, y)) << x << "," << y;
      }
    }
  }
  EXPECT_GT(red, 200);
}

TEST_F(CanvasText, SolidBrushFillsTheExtentFirst) {
  canvas().brush.style = BrushStyle::Solid;
  canvas().brush.color = 0x0000FF00;  // green
  Size extent = canvas().TextExtent("Fill me");
  canvas().TextOut(20, 15, "Fill me");
  Rect cell{20, 15, 20 + extent.width, 15 + extent.height};
  int ink = 0;
  for (int y = 0; y < bitmap_.Height(); ++y) {
    for (int x = 0; x < bitmap_.Width(); ++x) {
      Pixel p = bitmap_.At(x, y);
      bool inside = x >= cell.left && x < cell.right && y >= cell.top && y < cell.bottom;
      if (!inside) {
        ASSERT_EQ(p, Backdrop(x, y)) << x << "," << y;
      } else if (p == kRedPixel) {
        ++ink;
      } else {
        ASSERT_EQ(p, 0x0000FF00u) << x << "," << y;
      }
    }
  }
  EXPECT_GT(ink, 50);
}

TEST_F(CanvasText, ChineseTextComesFromAFallbackFace) {
  for (const char* face : {"DejaVu Sans", "MS Sans Serif", "No Such Face At All"}) {
    Ink ink = Draw("全屏幕", [face](Font& f) { f.name = face; });
    EXPECT_GT(ink.count, 150) << face;
    EXPECT_GT(ink.box.Width(), 50) << face;
    canvas().font.name = face;
    // Ideographs are about one em wide each.
    EXPECT_NEAR(canvas().TextExtent("全屏幕").width, 72, 8) << face;
  }
}

TEST_F(CanvasText, BoldHasMoreInk) {
  for (const char* text : {"Bold text", "全屏幕"}) {
    Ink regular = Draw(text);
    Ink bold = Draw(text, [](Font& f) { f.style = kFontBold; });
    EXPECT_GT(bold.count, regular.count * 11 / 10) << text;
  }
}

TEST_F(CanvasText, ItalicLeansRight) {
  // DejaVu has an oblique face; the ideograph's face does not and is sheared.
  for (const char* text : {"l", "丨"}) {
    Bitmap upright;
    Bitmap italic;
    Draw(text, [](Font&) {}, &upright);
    Ink leaning = Draw(text, [](Font& f) { f.style = kFontItalic; }, &italic);
    ASSERT_GT(leaning.count, 0) << text;
    auto inkCentre = [](const Bitmap& b, int y) {
      int sum = 0;
      int n = 0;
      for (int x = 0; x < b.Width(); ++x) {
        if (b.At(x, y) == kRedPixel) {
          sum += x;
          ++n;
        }
      }
      return n ? sum / n : -1;
    };
    Ink straight = InkOf(upright);
    int top = leaning.box.top + 1;
    int bottom = leaning.box.bottom - 2;
    EXPECT_GT(inkCentre(italic, top) - inkCentre(italic, bottom), 2) << text;
    EXPECT_LE(std::abs(inkCentre(upright, straight.box.top + 1) -
                       inkCentre(upright, straight.box.bottom - 2)),
              1)
        << text;
  }
}

TEST_F(CanvasText, UnderlineAndStrikeOutAddFullWidthStrokes) {
  const std::string text = "Lines";
  const int width = canvas().TextExtent(text).width;
  Bitmap plain;
  Bitmap underlined;
  Bitmap struck;
  Ink regular = Draw(text, [](Font&) {}, &plain);
  Draw(text, [](Font& f) { f.style = kFontUnderline; }, &underlined);
  Draw(text, [](Font& f) { f.style = kFontStrikeOut; }, &struck);

  auto strokeRows = [&](const Bitmap& b) {
    std::vector<int> rows;
    for (int y = 0; y < b.Height(); ++y) {
      if (LongestRun(b, y, kRedPixel) >= width && LongestRun(plain, y, kRedPixel) < width / 2) {
        rows.push_back(y);
      }
    }
    return rows;
  };
  // "Lines" has no descender, so the ink's bottom is the baseline.
  const int baseline = regular.box.bottom;
  std::vector<int> under = strokeRows(underlined);
  ASSERT_FALSE(under.empty());
  EXPECT_GE(under.front(), baseline);
  EXPECT_LT(under.back(), 10 + canvas().TextExtent(text).height);
  std::vector<int> strike = strokeRows(struck);
  ASSERT_FALSE(strike.empty());
  EXPECT_LT(strike.back(), baseline);
  EXPECT_GT(strike.front(), regular.box.top + 3);
}

TEST_F(CanvasText, ClipsAtTheBitmapEdges) {
  Bitmap tiny(20, 10);
  PaintBackdrop(tiny);
  Canvas& c = tiny.GetCanvas();
  c.font = canvas().font;
  c.brush.style = BrushStyle::Solid;
  c.brush.color = 0x00FF0000;
  c.TextOut(-10, -8, "Hello 全屏幕");
  c.TextOut(15, 5, "Hello");
  Ink ink = InkOf(tiny);
  EXPECT_GT(ink.count, 0);
  EXPECT_TRUE(tiny.Dirty().Intersect(tiny.Bounds()) == tiny.Dirty());

  PaintBackdrop(tiny);
  tiny.TakeDirty();
  c.TextOut(INT_MAX - 3, INT_MIN + 2, "far away");
  c.TextOut(INT_MIN, INT_MAX, "far away");
  c.TextOut(-100000, 0, "far away");
  EXPECT_EQ(InkOf(tiny).count, 0);
  EXPECT_TRUE(tiny.Dirty().IsEmpty());
}

TEST_F(CanvasText, MarksWhatItDrawsDirty) {
  bitmap_.TakeDirty();
  canvas().TextOut(30, 20, "Dirty Wj");
  Ink ink = InkOf(bitmap_);
  ASSERT_GT(ink.count, 0);
  Rect dirty = bitmap_.Dirty();
  EXPECT_EQ(dirty.Union(ink.box), dirty);
}

TEST_F(CanvasText, DrawingTheSameTextAgainChangesNothing) {
  const std::string text = "Again Bold 全屏幕";
  canvas().font.style = kFontBold | kFontItalic | kFontUnderline;
  canvas().TextOut(7, 9, text);
  Bitmap once(bitmap_.Width(), bitmap_.Height());
  for (int y = 0; y < once.Height(); ++y) {
    for (int x = 0; x < once.Width(); ++x) once.Set(x, y, bitmap_.At(x, y));
  }
  for (int i = 0; i < 5; ++i) canvas().TextOut(7, 9, text);
  EXPECT_TRUE(SamePixels(once, bitmap_));
}

TEST_F(CanvasText, FontsOfDifferentCanvasesDoNotMix) {
  Bitmap first;
  Bitmap other;
  Bitmap again;
  Draw("Mix 全", [](Font&) {}, &first);
  auto serif = [](Font& f) {
    f.name = "DejaVu Serif";
    f.size = 30;
    f.style = kFontBold;
  };
  Draw("Mix 全", serif, &other);
  Draw("Mix 全", [](Font&) {}, &again);
  EXPECT_FALSE(SamePixels(first, other));
  EXPECT_TRUE(SamePixels(first, again));
}

TEST_F(CanvasText, IllFormedUtf8BecomesReplacementCharacters) {
  const int replacement = canvas().TextExtent("\xEF\xBF\xBD").width;
  ASSERT_GT(replacement, 0);
  const int a = canvas().TextExtent("A").width;
  const int b = canvas().TextExtent("B").width;
  EXPECT_EQ(canvas().TextExtent("\xFF").width, replacement);
  // A cut-off sequence is one replacement; a stray continuation byte is one.
  EXPECT_EQ(canvas().TextExtent("A\xE5\x85" "B").width, a + replacement + b);
  EXPECT_EQ(canvas().TextExtent("A\xC0\xAF" "B").width, a + 2 * replacement + b);
  EXPECT_EQ(canvas().TextExtent("\xED\xA0\x80").width, 3 * replacement);  // a surrogate
  EXPECT_EQ(canvas().TextExtent("\xF4\x90\x80\x80").width, 4 * replacement);  // beyond U+10FFFF
}

TEST_F(CanvasText, EmptyTextDrawsNothing) {
  canvas().brush.style = BrushStyle::Solid;
  canvas().TextOut(10, 10, "");
  EXPECT_EQ(InkOf(bitmap_).count, 0);
  EXPECT_EQ(canvas().TextExtent("").width, 0);
}

TEST_F(CanvasText, ExtremeSizesStayBounded) {
  for (int size : {0, -18, 1, INT_MAX, INT_MIN}) {
    canvas().font.size = size;
    EXPECT_NO_THROW(canvas().TextOut(0, 0, "Az全")) << size;
    EXPECT_GT(canvas().TextExtent("Az").height, 0) << size;
  }
}

}  // namespace
}  // namespace sp
