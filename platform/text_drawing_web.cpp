// Text drawing with the browser's own text: the page's worker renders the
// text off screen (system fonts, Chinese included) and the coverage is
// thresholded to one colour, so that a caption is as crisp as the stub's.
// Without an OffscreenCanvas (node) text measures as empty and draws nothing.
#include <emscripten.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clip.h"
#include "platform/text_drawing.h"
#include "platform/text_stroke.h"

namespace sp {

namespace {

// metrics[0..2]: advance, ascent, descent in pixels (0 when text cannot be
// drawn here).
EM_JS(void, sp_js_measure_text, (const char* css, const char* text, int* metrics), {
  const ctx = Module.spTextContext || (Module.spTextContext = (typeof OffscreenCanvas !== 'undefined'
      ? new OffscreenCanvas(1, 1).getContext('2d', {willReadFrequently: true}) : null));
  HEAP32[metrics >> 2] = 0;
  HEAP32[(metrics >> 2) + 1] = 0;
  HEAP32[(metrics >> 2) + 2] = 0;
  if (!ctx) return;
  ctx.font = UTF8ToString(css);
  const m = ctx.measureText(UTF8ToString(text));
  HEAP32[metrics >> 2] = Math.round(m.width);
  HEAP32[(metrics >> 2) + 1] = Math.ceil(m.fontBoundingBoxAscent || 0);
  HEAP32[(metrics >> 2) + 2] = Math.ceil(m.fontBoundingBoxDescent || 0);
});

// Writes width * height bytes into `mask`, 1 where the text's ink is, with
// its pen starting `left` pixels right of the mask's left edge and its
// baseline `ascent` pixels below the top.
EM_JS(void, sp_js_draw_text, (const char* css, const char* text, int width, int height, int left,
                              int ascent, uint8_t* mask), {
  if (typeof OffscreenCanvas === 'undefined' || width <= 0 || height <= 0) return;
  const canvas = new OffscreenCanvas(width, height);
  const ctx = canvas.getContext('2d', {willReadFrequently: true});
  ctx.font = UTF8ToString(css);
  ctx.textBaseline = 'alphabetic';
  ctx.fillStyle = '#000';
  ctx.fillText(UTF8ToString(text), left, ascent);
  const data = ctx.getImageData(0, 0, width, height).data;
  const out = HEAPU8.subarray(mask, mask + width * height);
  for (let i = 0; i < width * height; ++i) out[i] = data[i * 4 + 3] >= 128 ? 1 : 0;
});

std::string CssFont(const TextFont& font) {
  std::string css;
  if (font.style & kFontItalic) css += "italic ";
  if (font.style & kFontBold) css += "bold ";
  css += std::to_string(std::max(1, font.emPixels)) + "px \"";
  for (char c : font.name) {
    if (c != '"' && c != '\\') css += c;
  }
  // The system's face for a name it lacks, as fontconfig would choose.
  css += "\", sans-serif";
  return css;
}

struct Metrics {
  int advance = 0;
  int ascent = 0;
  int descent = 0;
};

Metrics Measure(const TextFont& font, const std::string& text) {
  int m[3] = {0, 0, 0};
  sp_js_measure_text(CssFont(font).c_str(), text.c_str(), m);
  Metrics metrics{std::max(0, m[0]), std::max(0, m[1]), std::max(0, m[2])};
  if (metrics.ascent + metrics.descent == 0) {
    // No text here: the cell keeps the height a face of this size has.
    metrics.ascent = (std::max(1, font.emPixels) * 4 + 4) / 5;
    metrics.descent = std::max(1, font.emPixels) - metrics.ascent;
  }
  return metrics;
}

}  // namespace

TextCell MeasureText(const TextFont& font, std::string_view utf8) {
  const Metrics m = Measure(font, std::string(utf8));
  return {m.advance, m.ascent + m.descent};
}

Rect DrawTextInk(Bitmap& target, int x, int y, const TextFont& font, std::string_view utf8,
                 Pixel ink) {
  const std::string text(utf8);
  const Metrics m = Measure(font, text);
  Rect touched;
  // Italic and bold glyphs reach past the advance; the mask takes a margin.
  const int margin = std::max(2, font.emPixels / 4);
  const int64_t maskWidth = int64_t{m.advance} + 2 * margin;
  const int height = m.ascent + m.descent;
  const Rect visible = ClipBox(Box{int64_t{x} - margin, y, maskWidth, height}, target.Bounds());
  if (m.advance > 0 && !visible.IsEmpty() && maskWidth <= 65536) {
    std::vector<uint8_t> mask(static_cast<size_t>(maskWidth) * height);
    sp_js_draw_text(CssFont(font).c_str(), text.c_str(), static_cast<int>(maskWidth), height, margin,
                    m.ascent, mask.data());
    bool inked = false;
    for (int ty = visible.top; ty < visible.bottom; ++ty) {
      const uint8_t* row = &mask[static_cast<size_t>(ty - y) * maskWidth];
      Pixel* out = target.Row(ty);
      for (int tx = visible.left; tx < visible.right; ++tx) {
        if (row[tx - (x - margin)]) {
          out[tx] = ink;
          inked = true;
        }
      }
    }
    if (inked) touched = touched.Union(visible);
  }
  const int thickness = std::max(1, font.emPixels / 14);
  const int64_t baseline = int64_t{y} + m.ascent;
  if (font.style & kFontUnderline) {
    DrawStroke(target, Box{x, baseline + std::max(1, m.descent / 3), m.advance, thickness}, ink, touched);
  }
  if (font.style & kFontStrikeOut) {
    DrawStroke(target, Box{x, baseline - m.ascent * 3 / 10, m.advance, thickness}, ink, touched);
  }
  return touched;
}

}  // namespace sp
