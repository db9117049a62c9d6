#pragma once

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"

namespace sp::web {

// The picture as the page's canvas takes it: RGBA bytes, alpha 255. Keeps
// the pixels it last converted, so that each update converts, and the page
// puts, only the rectangle that changed.
class RgbaPicture {
 public:
  // Takes `picture` and returns the rectangle that differs from the last
  // one taken (all of it the first time or after a size change; empty when
  // nothing changed).
  Rect Update(const Bitmap& picture);
  uint8_t* Data() { return rgba_.data(); }

 private:
  std::vector<Pixel> shown_;
  std::vector<uint8_t> rgba_;
  int width_ = 0;
  int height_ = 0;
};

// `picture` scaled down to at most maxWidth pixels wide (aspect kept; never
// up), each pixel the mean of the ones it covers, as RGBA.
void ScaleToRgba(const Bitmap& picture, int maxWidth, std::vector<uint8_t>& out, int* width,
                 int* height);

}  // namespace sp::web
