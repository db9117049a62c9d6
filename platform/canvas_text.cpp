#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "platform/canvas.h"
#include "platform/clip.h"
#include "platform/text_drawing.h"

namespace sp {

namespace {

// GDI picks "a reasonable default size" for a height of 0.
constexpr int kDefaultPixelHeight = 16;
// Far beyond any caption; keeps one glyph's bitmap within half a megabyte.
constexpr int kMaxPixelHeight = 2048;

// The em height drawn. A negative size (a positive GDI height, the cell
// height) is taken as an em height of the same magnitude.
int EmPixels(const Font& font) {
  int64_t pixels = font.PixelHeight();
  if (pixels < 0) pixels = -pixels;
  if (pixels == 0) pixels = kDefaultPixelHeight;
  return static_cast<int>(std::min<int64_t>(pixels, kMaxPixelHeight));
}

TextFont TextFontOf(const Font& font) { return {font.name, EmPixels(font), font.style}; }

}  // namespace

int Font::PixelHeight() const {
  const double pixels = std::round(size * static_cast<double>(kPixelsPerInch) / 72.0);
  return static_cast<int>(
      std::clamp(pixels, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

Size Canvas::TextExtent(std::string_view utf8) {
  const TextCell cell = MeasureText(TextFontOf(font), utf8);
  return {static_cast<int>(std::clamp<int64_t>(cell.width, INT_MIN, INT_MAX)), cell.height};
}

void Canvas::TextOut(int x, int y, std::string_view utf8) {
  const TextFont textFont = TextFontOf(font);
  if (brush.style == BrushStyle::Solid) {
    const TextCell cell = MeasureText(textFont, utf8);
    FillRect(ClipBox(Box{x, y, cell.width, cell.height}, target_.Bounds()));
  }
  const Rect touched = DrawTextInk(target_, x, y, textFont, utf8, ColorToPixel(font.color));
  target_.MarkDirty(touched);
}

}  // namespace sp
