#pragma once

#include <algorithm>

#include "platform/bitmap.h"
#include "platform/clip.h"

namespace sp {

// An underline or strike-out bar of a text drawer: `box` filled with `ink`
// where it falls on `target`, and what it covered added to `touched`.
inline void DrawStroke(Bitmap& target, const Box& box, Pixel ink, Rect& touched) {
  const Rect visible = ClipBox(box, target.Bounds());
  if (visible.IsEmpty()) return;
  for (int y = visible.top; y < visible.bottom; ++y) {
    std::fill_n(target.Row(y) + visible.left, visible.Width(), ink);
  }
  touched = touched.Union(visible);
}

}  // namespace sp
