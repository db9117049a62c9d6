#include "platform/canvas.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/clip.h"
#include "platform/icon.h"

namespace sp {

namespace {

// Copies the mapped pixels of source into target. When both are one bitmap
// the source pixels are gathered first, so overlapping areas copy as if
// from an untouched picture.
void Blit(Bitmap& target, const BlitMap& map, const Bitmap& source) {
  if (map.IsEmpty()) return;
  const int width = map.dest.Width();
  const int height = map.dest.Height();

  auto copyRow = [&](Pixel* out, const Pixel* in) {
    if (map.contiguousX) {
      std::memmove(out, in + map.sourceX.front(), static_cast<size_t>(width) * sizeof(Pixel));
    } else {
      for (int i = 0; i < width; ++i) out[i] = in[map.sourceX[i]];
    }
  };

  if (&target == &source) {
    std::vector<Pixel> gathered(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int j = 0; j < height; ++j) {
      copyRow(gathered.data() + static_cast<size_t>(j) * width, source.Row(map.sourceY[j]));
    }
    for (int j = 0; j < height; ++j) {
      std::memcpy(target.Row(map.dest.top + j) + map.dest.left,
                  gathered.data() + static_cast<size_t>(j) * width,
                  static_cast<size_t>(width) * sizeof(Pixel));
    }
  } else {
    for (int j = 0; j < height; ++j) {
      copyRow(target.Row(map.dest.top + j) + map.dest.left, source.Row(map.sourceY[j]));
    }
  }
  target.MarkDirty(map.dest);
}

}  // namespace

void Canvas::Draw(int x, int y, const Bitmap& source) {
  if (source.IsEmpty()) return;
  Box whole = Box::Of(source.Bounds());
  Blit(target_, ClipBlit(Box::At(x, y, source.Width(), source.Height()), target_.Bounds(), whole,
                         source.Bounds()),
       source);
}

void Canvas::Draw(int x, int y, const Icon& icon) {
  icon.Decode();
  if (icon.IsEmpty()) return;
  const Rect iconBounds{0, 0, kIconSize, kIconSize};
  BlitMap map = ClipBlit(Box::At(x, y, kIconSize, kIconSize), target_.Bounds(),
                         Box::Of(iconBounds), iconBounds);
  if (map.IsEmpty()) return;
  for (int j = 0; j < map.dest.Height(); ++j) {
    Pixel* row = target_.Row(map.dest.top + j) + map.dest.left;
    int sy = map.sourceY[j];
    for (int i = 0; i < map.dest.Width(); ++i) {
      int sx = map.sourceX[i];
      Pixel keep = icon.MaskAt(sx, sy) ? kWhitePixel : 0;
      row[i] = ((row[i] & keep) ^ icon.ColorAt(sx, sy)) & kWhitePixel;
    }
  }
  target_.MarkDirty(map.dest);
}

void Canvas::StretchDraw(const Rect& dest, const Bitmap& source) {
  if (source.IsEmpty()) return;
  Blit(target_,
       ClipBlit(Box::Of(dest), target_.Bounds(), Box::Of(source.Bounds()), source.Bounds()),
       source);
}

void Canvas::CopyRect(const Rect& dest, const Canvas& source, const Rect& sourceRect) {
  const Bitmap& from = source.Target();
  if (from.IsEmpty()) return;
  Blit(target_, ClipBlit(Box::Of(dest), target_.Bounds(), Box::Of(sourceRect), from.Bounds()),
       from);
}

void Canvas::FillRect(const Rect& r) {
  // A clear brush is GDI's hollow brush: filling with it paints nothing.
  if (brush.style == BrushStyle::Clear) return;
  Rect visible = ClipBox(Box::Of(r), target_.Bounds());
  if (visible.IsEmpty()) return;
  Pixel p = ColorToPixel(brush.color);
  for (int y = visible.top; y < visible.bottom; ++y) {
    std::fill_n(target_.Row(y) + visible.left, visible.Width(), p);
  }
  target_.MarkDirty(visible);
}

}  // namespace sp
