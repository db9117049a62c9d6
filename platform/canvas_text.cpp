#include "platform/canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "platform/clip.h"
#include "platform/font_cache.h"

namespace sp {

namespace {

// GDI picks "a reasonable default size" for a height of 0.
constexpr int kDefaultPixelHeight = 16;
// Far beyond any caption; keeps one glyph's bitmap within half a megabyte.
constexpr int kMaxPixelHeight = 2048;
constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at pos, advancing pos past it. A byte sequence that is not
// well-formed UTF-8 gives one U+FFFD per maximal ill-formed part.
char32_t NextCodePoint(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int continuations = 0;
  char32_t c = 0;
  // The range of the first continuation byte excludes overlong forms,
  // surrogates and code points beyond U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuations = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuations = 3;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return kReplacementCharacter;
  }
  for (int i = 0; i < continuations; ++i) {
    if (pos >= text.size()) return kReplacementCharacter;
    const auto next = static_cast<unsigned char>(text[pos]);
    if (next < low || next > high) return kReplacementCharacter;
    low = 0x80;
    high = 0xBF;
    c = (c << 6) | (next & 0x3F);
    ++pos;
  }
  return c;
}

// The em height drawn. A negative size (a positive GDI height, the cell
// height) is taken as an em height of the same magnitude.
int EmPixels(const Font& font) {
  int64_t pixels = font.PixelHeight();
  if (pixels < 0) pixels = -pixels;
  if (pixels == 0) pixels = kDefaultPixelHeight;
  return static_cast<int>(std::min<int64_t>(pixels, kMaxPixelHeight));
}

ScaledFont& FontOf(const Font& font) { return FindFont(font.name, EmPixels(font), font.style); }

int64_t AdvanceOf(ScaledFont& scaled, std::string_view utf8) {
  int64_t advance = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    advance += scaled.Glyph(NextCodePoint(utf8, pos)).advance;
  }
  return advance;
}

void DrawGlyph(Bitmap& target, const MonoGlyph& glyph, int64_t left, int64_t top, Pixel ink,
               Rect& touched) {
  const Rect visible = ClipBox(Box{left, top, glyph.width, glyph.rows}, target.Bounds());
  if (visible.IsEmpty()) return;
  for (int y = visible.top; y < visible.bottom; ++y) {
    Pixel* row = target.Row(y);
    const int glyphY = static_cast<int>(y - top);
    for (int x = visible.left; x < visible.right; ++x) {
      if (glyph.Ink(static_cast<int>(x - left), glyphY)) row[x] = ink;
    }
  }
  touched = touched.Union(visible);
}

void DrawStroke(Bitmap& target, const Box& box, Pixel ink, Rect& touched) {
  const Rect visible = ClipBox(box, target.Bounds());
  if (visible.IsEmpty()) return;
  for (int y = visible.top; y < visible.bottom; ++y) {
    std::fill_n(target.Row(y) + visible.left, visible.Width(), ink);
  }
  touched = touched.Union(visible);
}

}  // namespace

int Font::PixelHeight() const {
  const double pixels = std::round(size * static_cast<double>(kPixelsPerInch) / 72.0);
  return static_cast<int>(
      std::clamp(pixels, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

Size Canvas::TextExtent(std::string_view utf8) {
  ScaledFont& scaled = FontOf(font);
  const int64_t width = AdvanceOf(scaled, utf8);
  return {static_cast<int>(std::clamp<int64_t>(width, INT_MIN, INT_MAX)), scaled.Metrics().height};
}

void Canvas::TextOut(int x, int y, std::string_view utf8) {
  ScaledFont& scaled = FontOf(font);
  const FontMetrics& metrics = scaled.Metrics();
  const int64_t width = AdvanceOf(scaled, utf8);
  if (brush.style == BrushStyle::Solid) {
    FillRect(ClipBox(Box{x, y, width, metrics.height}, target_.Bounds()));
  }

  const Pixel ink = ColorToPixel(font.color);
  const int64_t baseline = int64_t{y} + metrics.ascent;
  int64_t pen = x;
  Rect touched;
  for (size_t pos = 0; pos < utf8.size();) {
    const MonoGlyph& glyph = scaled.Glyph(NextCodePoint(utf8, pos));
    if (!glyph.bits.empty()) {
      DrawGlyph(target_, glyph, pen + glyph.left, baseline - glyph.top, ink, touched);
    }
    pen += glyph.advance;
  }
  if (font.style & kFontUnderline) {
    DrawStroke(target_, Box{x, baseline + metrics.underlineTop, width, metrics.underlineThickness},
               ink, touched);
  }
  if (font.style & kFontStrikeOut) {
    DrawStroke(target_, Box{x, baseline - metrics.strikeOutTop, width, metrics.strikeOutThickness},
               ink, touched);
  }
  target_.MarkDirty(touched);
}

}  // namespace sp
