#pragma once

#include <array>
#include <cstdint>
#include <vector>

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
  // Takes the bytes from the stream's position to its end and decodes them
  // on first use (Decode, or drawing the icon), as the system's icons are:
  // a damaged picture is an error where it is drawn, not where it is read.
  // A picture that fails to decode leaves the icon empty.
  void LoadFromStreamDeferred(Stream& stream);
  // Decodes bytes taken by LoadFromStreamDeferred, if any are waiting.
  void Decode() const;

  bool IsEmpty() const { return empty_ && !pending_; }
  int Width() const { return kIconSize; }
  int Height() const { return kIconSize; }

  // 0x00RRGGBB colour (XOR) image and AND mask of the scaled picture, once
  // decoded.
  Pixel ColorAt(int x, int y) const { return color_[y * kIconSize + x]; }
  bool MaskAt(int x, int y) const { return mask_[y * kIconSize + x] != 0; }

 private:
  void LoadDecoded(Stream& stream) const;

  mutable bool empty_ = true;
  mutable bool pending_ = false;
  mutable std::vector<uint8_t> pendingBytes_;
  mutable std::array<Pixel, kIconSize * kIconSize> color_{};
  mutable std::array<uint8_t, kIconSize * kIconSize> mask_{};
};

}  // namespace sp
