// Text drawing with FreeType glyphs from faces that fontconfig chooses.
#include <algorithm>
#include <cstdint>

#include "platform/clip.h"
#include "platform/font_cache_posix.h"
#include "platform/text_drawing.h"
#include "platform/text_stroke.h"
#include "platform/utf8.h"

namespace sp {

namespace {

ScaledFont& FontOf(const TextFont& font) {
  return FindFont(std::string(font.name), font.emPixels, font.style);
}

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

}  // namespace

TextCell MeasureText(const TextFont& font, std::string_view utf8) {
  ScaledFont& scaled = FontOf(font);
  return {AdvanceOf(scaled, utf8), scaled.Metrics().height};
}

Rect DrawTextInk(Bitmap& target, int x, int y, const TextFont& font, std::string_view utf8,
                 Pixel ink) {
  ScaledFont& scaled = FontOf(font);
  const FontMetrics& metrics = scaled.Metrics();
  const int64_t width = AdvanceOf(scaled, utf8);
  const int64_t baseline = int64_t{y} + metrics.ascent;
  int64_t pen = x;
  Rect touched;
  for (size_t pos = 0; pos < utf8.size();) {
    const MonoGlyph& glyph = scaled.Glyph(NextCodePoint(utf8, pos));
    if (!glyph.bits.empty()) {
      DrawGlyph(target, glyph, pen + glyph.left, baseline - glyph.top, ink, touched);
    }
    pen += glyph.advance;
  }
  if (font.style & kFontUnderline) {
    DrawStroke(target, Box{x, baseline + metrics.underlineTop, width, metrics.underlineThickness},
               ink, touched);
  }
  if (font.style & kFontStrikeOut) {
    DrawStroke(target, Box{x, baseline - metrics.strikeOutTop, width, metrics.strikeOutThickness},
               ink, touched);
  }
  return touched;
}

}  // namespace sp
