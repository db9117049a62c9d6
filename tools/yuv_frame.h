#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/geometry.h"

namespace sp {
class Bitmap;
}

namespace sp::tool {

// One picture in the encoders' planar 4:2:0 format (Y plane, then U, then
// V), BT.601 limited range as ffmpeg converts 32-bit pixels by default. The
// sides are rounded up to even numbers, as 4:2:0 encoders want; the added
// column and row are black, as ffmpeg's pad filter makes them.
class Yuv420Frame {
 public:
  Yuv420Frame(int pictureWidth, int pictureHeight);

  int Width() const { return width_; }    // even
  int Height() const { return height_; }  // even
  const uint8_t* Data() const { return bytes_.data(); }
  size_t Bytes() const { return bytes_.size(); }

  // Converts the pixels of `picture` (of the size given at construction)
  // inside `changed`, widened to whole 2 x 2 chroma cells; the rest keeps
  // what earlier calls left.
  void Convert(const Bitmap& picture, const Rect& changed);

 private:
  int pictureWidth_;
  int pictureHeight_;
  int width_;
  int height_;
  std::vector<uint8_t> bytes_;
};

}  // namespace sp::tool
