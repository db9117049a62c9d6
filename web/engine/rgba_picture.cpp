#include "web/engine/rgba_picture.h"

#include <algorithm>
#include <cstring>

namespace sp::web {

namespace {

void PutRgba(Pixel p, uint8_t* out) {
  out[0] = static_cast<uint8_t>(p >> 16);
  out[1] = static_cast<uint8_t>(p >> 8);
  out[2] = static_cast<uint8_t>(p);
  out[3] = 255;
}

// The columns of row y where a and b differ, widening [left, right).
void WidenByRow(const Pixel* a, const Pixel* b, int width, int& left, int& right) {
  int x = 0;
  while (x < left && a[x] == b[x]) ++x;
  left = std::min(left, x);
  int end = width;
  while (end > right && a[end - 1] == b[end - 1]) --end;
  right = std::max(right, end);
}

}  // namespace

Rect RgbaPicture::Update(const Bitmap& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  const size_t count = static_cast<size_t>(w) * h;
  Rect changed;
  if (w != width_ || h != height_ || shown_.size() != count) {
    width_ = w;
    height_ = h;
    shown_.assign(picture.Data(), picture.Data() + count);
    rgba_.resize(count * 4);
    for (size_t i = 0; i < count; ++i) PutRgba(shown_[i], &rgba_[i * 4]);
    return picture.Bounds();
  }
  const size_t rowBytes = static_cast<size_t>(w) * sizeof(Pixel);
  int top = 0;
  while (top < h && std::memcmp(picture.Row(top), &shown_[static_cast<size_t>(top) * w], rowBytes) == 0) {
    ++top;
  }
  if (top == h) return changed;
  int bottom = h;
  while (bottom > top &&
         std::memcmp(picture.Row(bottom - 1), &shown_[static_cast<size_t>(bottom - 1) * w], rowBytes) == 0) {
    --bottom;
  }
  int left = w;
  int right = 0;
  for (int y = top; y < bottom; ++y) {
    WidenByRow(picture.Row(y), &shown_[static_cast<size_t>(y) * w], w, left, right);
  }
  changed = {left, top, right, bottom};
  for (int y = top; y < bottom; ++y) {
    const Pixel* row = picture.Row(y);
    Pixel* kept = &shown_[static_cast<size_t>(y) * w];
    uint8_t* out = &rgba_[(static_cast<size_t>(y) * w) * 4];
    for (int x = left; x < right; ++x) {
      kept[x] = row[x];
      PutRgba(row[x], out + static_cast<size_t>(x) * 4);
    }
  }
  return changed;
}

void ScaleToRgba(const Bitmap& picture, int maxWidth, std::vector<uint8_t>& out, int* width,
                 int* height) {
  const int w = picture.Width();
  const int h = picture.Height();
  const int ow = std::clamp(maxWidth, 1, std::max(1, w));
  const int oh = std::max(1, static_cast<int>(int64_t{h} * ow / std::max(1, w)));
  *width = w > 0 ? ow : 0;
  *height = h > 0 ? oh : 0;
  out.assign(static_cast<size_t>(*width) * *height * 4, 0);
  if (w <= 0 || h <= 0) return;
  for (int oy = 0; oy < oh; ++oy) {
    const int y0 = static_cast<int>(int64_t{oy} * h / oh);
    const int y1 = std::max(y0 + 1, static_cast<int>(int64_t{oy + 1} * h / oh));
    for (int ox = 0; ox < ow; ++ox) {
      const int x0 = static_cast<int>(int64_t{ox} * w / ow);
      const int x1 = std::max(x0 + 1, static_cast<int>(int64_t{ox + 1} * w / ow));
      uint64_t r = 0, g = 0, b = 0;
      for (int y = y0; y < y1; ++y) {
        const Pixel* row = picture.Row(y);
        for (int x = x0; x < x1; ++x) {
          r += (row[x] >> 16) & 0xFF;
          g += (row[x] >> 8) & 0xFF;
          b += row[x] & 0xFF;
        }
      }
      const uint64_t n = static_cast<uint64_t>(y1 - y0) * static_cast<uint64_t>(x1 - x0);
      uint8_t* o = &out[(static_cast<size_t>(oy) * ow + ox) * 4];
      o[0] = static_cast<uint8_t>((r + n / 2) / n);
      o[1] = static_cast<uint8_t>((g + n / 2) / n);
      o[2] = static_cast<uint8_t>((b + n / 2) / n);
      o[3] = 255;
    }
  }
}

}  // namespace sp::web
