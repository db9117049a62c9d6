#include "platform/bitmap.h"

#include <algorithm>

#include "platform/canvas.h"

namespace sp {

Pixel ColorToPixel(Color c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

Color PixelToColor(Pixel p) {
  return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
}

Bitmap::Bitmap() = default;

Bitmap::Bitmap(int width, int height) { Resize(width, height, Fill::kWhiteRest); }

Bitmap::~Bitmap() = default;

void Bitmap::SetWidth(int width) { Resize(width, height_, Fill::kWhiteRest); }
void Bitmap::SetHeight(int height) { Resize(width_, height, Fill::kWhiteRest); }
void Bitmap::SetSize(int width, int height) { Resize(width, height, Fill::kWhiteRest); }
void Bitmap::SetSizeForOverwrite(int width, int height) { Resize(width, height, Fill::kNone); }

void Bitmap::Resize(int width, int height, Fill fill) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;

  decltype(pixels_) pixels;
  if (width > 0 && height > 0) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (fill == Fill::kNone) {
      pixels.resize(count);
    } else {
      pixels.assign(count, kWhitePixel);
    }
    if (fill == Fill::kWhiteRest && !IsEmpty()) {
      int keepWidth = std::min(width, width_);
      int keepHeight = std::min(height, height_);
      for (int y = 0; y < keepHeight; ++y) {
        std::copy_n(Row(y), keepWidth, pixels.data() + static_cast<size_t>(y) * width);
      }
    }
  }
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
  // Everything is new to whoever presents it; the old dirty area may lie
  // outside the new bounds.
  dirty_ = IsEmpty() ? Rect{} : Bounds();
}

Canvas& Bitmap::GetCanvas() {
  if (!canvas_) canvas_ = std::make_unique<Canvas>(*this);
  return *canvas_;
}

void Bitmap::MarkDirty(const Rect& r) {
  if (IsEmpty()) return;
  dirty_ = dirty_.Union(r.Intersect(Bounds()));
}

Rect Bitmap::TakeDirty() {
  Rect r = dirty_;
  dirty_ = {};
  return r;
}

}  // namespace sp
