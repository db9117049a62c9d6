#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/bitmap.h"

namespace sp::test {

// Little-endian appends to a byte buffer.
struct Bytes {
  std::vector<uint8_t>& out;
  void Byte(uint8_t v) { out.push_back(v); }
  void UInt16(uint16_t v) {
    Byte(static_cast<uint8_t>(v));
    Byte(static_cast<uint8_t>(v >> 8));
  }
  void UInt32(uint32_t v) {
    UInt16(static_cast<uint16_t>(v));
    UInt16(static_cast<uint16_t>(v >> 16));
  }
  void Int32(int32_t v) { UInt32(static_cast<uint32_t>(v)); }
  void Append(const std::vector<uint8_t>& v) { out.insert(out.end(), v.begin(), v.end()); }
};

// Describes one icon image; value(x, y) is a palette index for 1, 4 and 8
// bits per pixel and 0xAARRGGBB otherwise. Row 0 is the top.
struct IcoPicture {
  int width = 32;
  int height = 32;
  int bitCount = 4;
  std::vector<Pixel> palette;
  std::function<uint32_t(int, int)> value = [](int, int) { return 0u; };
  std::function<bool(int, int)> mask = [](int, int) { return false; };
  bool withMask = true;
};

// A one-image .ico file: directory, entry, BITMAPINFOHEADER DIB with the
// rows bottom-up and padded to 4 bytes, XOR image then AND mask.
inline std::vector<uint8_t> WriteIco(const IcoPicture& p) {
  auto stride = [](int width, int bits) { return (width * bits + 31) / 32 * 4; };
  std::vector<uint8_t> dib;
  Bytes w{dib};
  w.UInt32(40);
  w.Int32(p.width);
  w.Int32(p.height * 2);
  w.UInt16(1);
  w.UInt16(static_cast<uint16_t>(p.bitCount));
  w.UInt32(0);
  w.UInt32(0);
  w.Int32(0);
  w.Int32(0);
  w.UInt32(static_cast<uint32_t>(p.palette.size()));
  w.UInt32(0);
  for (Pixel c : p.palette) w.UInt32(c);  // RGBQUAD bytes B, G, R, 0

  for (int y = p.height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(stride(p.width, p.bitCount)));
    for (int x = 0; x < p.width; ++x) {
      uint32_t v = p.value(x, y);
      if (p.bitCount <= 8) {
        int bit = x * p.bitCount;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - p.bitCount - bit % 8));
      } else {
        uint8_t* q = row.data() + x * (p.bitCount / 8);
        q[0] = static_cast<uint8_t>(v);
        q[1] = static_cast<uint8_t>(v >> 8);
        q[2] = static_cast<uint8_t>(v >> 16);
        if (p.bitCount == 32) q[3] = static_cast<uint8_t>(v >> 24);
      }
    }
    w.Append(row);
  }
  if (p.withMask) {
    for (int y = p.height - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(stride(p.width, 1)));
      for (int x = 0; x < p.width; ++x) {
        if (p.mask(x, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      w.Append(row);
    }
  }

  std::vector<uint8_t> file;
  Bytes f{file};
  f.UInt16(0);
  f.UInt16(1);
  f.UInt16(1);
  f.Byte(static_cast<uint8_t>(p.width));  // 256 wraps to 0, as the format wants
  f.Byte(static_cast<uint8_t>(p.height));
  f.Byte(0);
  f.Byte(0);
  f.UInt16(1);
  f.UInt16(static_cast<uint16_t>(p.bitCount));
  f.UInt32(static_cast<uint32_t>(dib.size()));
  f.UInt32(22);
  f.Append(dib);
  return file;
}

}  // namespace sp::test
