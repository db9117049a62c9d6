#pragma once

#include <cstdint>
#include <string_view>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/geometry.h"

namespace sp {

// Text drawing as the system does it, without smoothing: a face chosen by
// name (the system's matching replaces a face it lacks), an em height in
// pixels and a style; characters the face lacks come from a face that has
// them, as a Chinese system's font linking gives them. One implementation
// per platform; GUI thread only.
struct TextFont {
  std::string_view name;
  int emPixels = 16;  // 1 to a few thousand; the caller bounds it
  FontStyles style = 0;
};

// The text's cell: the pen's advance and the font's height (ascent plus
// descent).
struct TextCell {
  int64_t width = 0;
  int height = 0;
};

TextCell MeasureText(const TextFont& font, std::string_view utf8);

// Sets every pixel of the text's glyphs, underline and strike-out to ink,
// with the cell's top-left at (x, y), clipped to the target. Returns the
// rectangle of the target it may have changed.
Rect DrawTextInk(Bitmap& target, int x, int y, const TextFont& font, std::string_view utf8,
                 Pixel ink);

}  // namespace sp
