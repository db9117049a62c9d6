#include <string_view>

#include "recorder/byte_writer.h"
#include "recorder/images.h"

namespace sp::recorder {
namespace {

constexpr int kSide = 32;
constexpr uint32_t kImageBytes = 40 + 16 * 4 + 512 + 128;  // 744
constexpr uint8_t kBlackIndex = 0;
constexpr uint8_t kWhiteIndex = 15;

// The standard Windows 16-colour palette as R, G, B.
constexpr uint8_t kPalette[16][3] = {
    {0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

// Every pixel transparent: mask 1 over black leaves the screen unchanged.
CursorPicture Transparent() {
  CursorPicture p;
  p.colorIndex.fill(kBlackIndex);
  p.mask.fill(1);
  return p;
}

void Paint(CursorPicture& p, int x, int y, uint8_t color, uint8_t mask) {
  p.colorIndex[y * kSide + x] = color;
  p.mask[y * kSide + x] = mask;
}

}  // namespace

std::vector<uint8_t> MakeIconFile(const CursorPicture& picture) {
  std::vector<uint8_t> out;
  out.reserve(22 + kImageBytes);
  ByteWriter w(out);
  // Icon directory and its one entry.
  w.UInt16(0);
  w.UInt16(1);
  w.UInt16(1);
  w.Byte(kSide);
  w.Byte(kSide);
  w.Byte(4);  // the colour count the recorder writes, though the palette holds 16
  w.Byte(0);
  w.UInt16(0);
  w.UInt16(0);
  w.UInt32(kImageBytes);
  w.UInt32(22);
  // BITMAPINFOHEADER: the height counts the colour image and the mask.
  w.UInt32(40);
  w.Int32(kSide);
  w.Int32(2 * kSide);
  w.UInt16(1);
  w.UInt16(4);
  w.UInt32(0);
  w.UInt32(512 + 128);
  w.Zeros(16);
  for (const auto& rgb : kPalette) {
    w.Byte(rgb[2]);
    w.Byte(rgb[1]);
    w.Byte(rgb[0]);
    w.Byte(0);
  }
  // Both images run bottom-up; the left pixel is in the high bits.
  for (int y = kSide - 1; y >= 0; --y) {
    for (int x = 0; x < kSide; x += 2) {
      const uint8_t left = picture.colorIndex[y * kSide + x] & 0x0F;
      const uint8_t right = picture.colorIndex[y * kSide + x + 1] & 0x0F;
      w.Byte(static_cast<uint8_t>(left << 4 | right));
    }
  }
  for (int y = kSide - 1; y >= 0; --y) {
    for (int x = 0; x < kSide; x += 8) {
      uint8_t bits = 0;
      for (int i = 0; i < 8; ++i) {
        if (picture.mask[y * kSide + x + i]) bits |= static_cast<uint8_t>(0x80 >> i);
      }
      w.Byte(bits);
    }
  }
  return out;
}

CursorPicture ArrowCursor() {
  // The classic arrow with its top-left corner at the hot spot:
  // 'X' black outline, '.' white inside.
  static constexpr std::string_view kShape[] = {
      "X",           "XX",          "X.X",         "X..X",       "X...X",
      "X....X",      "X.....X",     "X......X",    "X.......X",  "X........X",
      "X.....XXXXX", "X..X..X",     "X.X X..X",    "XX  X..X",   "X    X..X",
      "     X..X",   "      X..X",  "      X..X",  "       XX",
  };
  CursorPicture p = Transparent();
  for (int y = 0; y < static_cast<int>(std::size(kShape)); ++y) {
    for (int x = 0; x < static_cast<int>(kShape[y].size()); ++x) {
      if (kShape[y][x] == 'X') Paint(p, x, y, kBlackIndex, 0);
      if (kShape[y][x] == '.') Paint(p, x, y, kWhiteIndex, 0);
    }
  }
  return p;
}

CursorPicture TextCursor() {
  // An I-beam centred in the icon, every pixel inverting the screen.
  CursorPicture p = Transparent();
  constexpr int kCentre = 15;
  constexpr int kTop = 8;
  constexpr int kBottom = 24;
  for (int y = kTop + 1; y < kBottom; ++y) Paint(p, kCentre, y, kWhiteIndex, 1);
  for (int dx = 1; dx <= 3; ++dx) {
    Paint(p, kCentre - dx, kTop, kWhiteIndex, 1);
    Paint(p, kCentre + dx, kTop, kWhiteIndex, 1);
    Paint(p, kCentre - dx, kBottom, kWhiteIndex, 1);
    Paint(p, kCentre + dx, kBottom, kWhiteIndex, 1);
  }
  return p;
}

}  // namespace sp::recorder
