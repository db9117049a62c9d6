#pragma once

#include <array>
#include <cstdint>

#include "platform/bitmap.h"

namespace sp {

class Stream;

// The system icon size: every icon is drawn at 32 x 32.
constexpr int kIconSize = 32;

// A Windows icon file (.ico) read from a stream.
class Icon {
 public:
  // Reads from the stream's position to its end: icon directory of type 1,
  // the image of its first entry (1, 4, 8, 24 or 32 bits per pixel with
  // AND mask), scaled to 32 x 32 by nearest pixel when it is of another
  // size. Anything it cannot read raises InvalidIconError and leaves the
  // icon as it was.
  void LoadFromStream(Stream& stream);

  bool IsEmpty() const { return empty_; }
  int Width() const { return kIconSize; }
  int Height() const { return kIconSize; }

  // 0x00RRGGBB colour (XOR) image and AND mask of the scaled picture.
  Pixel ColorAt(int x, int y) const { return color_[y * kIconSize + x]; }
  bool MaskAt(int x, int y) const { return mask_[y * kIconSize + x] != 0; }

 private:
  bool empty_ = true;
  std::array<Pixel, kIconSize * kIconSize> color_{};
  std::array<uint8_t, kIconSize * kIconSize> mask_{};
};

}  // namespace sp
