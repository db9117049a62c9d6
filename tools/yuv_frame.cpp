#include "tools/yuv_frame.h"

#include <algorithm>

#include "platform/bitmap.h"

namespace sp::tool {
namespace {

// 8-bit fixed point BT.601 studio-swing coefficients.
inline uint8_t Luma(int r, int g, int b) { return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }
// From sums of four pixels: the cell's average, rounded in the same shift.
inline uint8_t ChromaU(int r4, int g4, int b4) {
  return static_cast<uint8_t>(((-38 * r4 - 74 * g4 + 112 * b4 + 512) >> 10) + 128);
}
inline uint8_t ChromaV(int r4, int g4, int b4) {
  return static_cast<uint8_t>(((112 * r4 - 94 * g4 - 18 * b4 + 512) >> 10) + 128);
}

}  // namespace

Yuv420Frame::Yuv420Frame(int pictureWidth, int pictureHeight)
    : pictureWidth_(pictureWidth),
      pictureHeight_(pictureHeight),
      width_((pictureWidth + 1) & ~1),
      height_((pictureHeight + 1) & ~1) {
  const size_t luma = static_cast<size_t>(width_) * height_;
  bytes_.assign(luma + luma / 2, 128);
  std::fill(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(luma), uint8_t{16});
}

void Yuv420Frame::Convert(const Bitmap& picture, const Rect& changed) {
  // Whole chroma cells, inside the even-sided frame.
  const int left = std::max(0, changed.left) & ~1;
  const int top = std::max(0, changed.top) & ~1;
  const int right = std::min(width_, (std::min(changed.right, pictureWidth_) + 1) & ~1);
  const int bottom = std::min(height_, (std::min(changed.bottom, pictureHeight_) + 1) & ~1);
  if (left >= right || top >= bottom) return;
  uint8_t* const yPlane = bytes_.data();
  uint8_t* const uPlane = yPlane + static_cast<size_t>(width_) * height_;
  uint8_t* const vPlane = uPlane + static_cast<size_t>(width_ / 2) * (height_ / 2);
  const int chromaPitch = width_ / 2;
  // The pixel at (x, y), black outside the picture (the padding).
  auto pixel = [&](const Pixel* row, int x) -> Pixel { return row && x < pictureWidth_ ? row[x] : 0; };
  for (int y = top; y < bottom; y += 2) {
    const Pixel* row0 = picture.Row(y);
    const Pixel* row1 = y + 1 < pictureHeight_ ? picture.Row(y + 1) : nullptr;
    uint8_t* y0 = yPlane + static_cast<size_t>(y) * width_;
    uint8_t* y1 = y0 + width_;
    uint8_t* u = uPlane + static_cast<size_t>(y / 2) * chromaPitch;
    uint8_t* v = vPlane + static_cast<size_t>(y / 2) * chromaPitch;
    for (int x = left; x < right; x += 2) {
      const Pixel p[4] = {pixel(row0, x), pixel(row0, x + 1), pixel(row1, x), pixel(row1, x + 1)};
      int r4 = 0, g4 = 0, b4 = 0;
      for (int i = 0; i < 4; ++i) {
        const int r = p[i] >> 16 & 0xFF, g = p[i] >> 8 & 0xFF, b = p[i] & 0xFF;
        (i < 2 ? y0 : y1)[x + (i & 1)] = Luma(r, g, b);
        r4 += r;
        g4 += g;
        b4 += b;
      }
      u[x / 2] = ChromaU(r4, g4, b4);
      v[x / 2] = ChromaV(r4, g4, b4);
    }
  }
}

}  // namespace sp::tool
