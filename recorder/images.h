#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"

namespace sp::recorder {

// A JPEG as the recorder writes it: baseline JFIF, quality 90, 4:2:0,
// standard tables, one interleaved scan. `area` picks a rectangle of the
// bitmap (the whole bitmap when empty).
std::vector<uint8_t> EncodeJpeg(const Bitmap& bitmap, const Rect& area = {}, int quality = 90);

// A 766-byte 32 x 32 icon file with 16 colours. Each pixel is an index into
// the standard 16-colour palette; mask 1 is the AND-mask bit.
struct CursorPicture {
  std::array<uint8_t, 32 * 32> colorIndex{};  // row 0 is the top
  std::array<uint8_t, 32 * 32> mask{};
};
std::vector<uint8_t> MakeIconFile(const CursorPicture& picture);

CursorPicture ArrowCursor();  // black outline, white inside, the rest transparent
CursorPicture TextCursor();   // an I-beam of mask-1 white pixels: draws by inverting

}  // namespace sp::recorder
