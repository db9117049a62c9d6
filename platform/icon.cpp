#include "platform/icon.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/stream.h"

namespace sp {

namespace {

// .ico layout: a 6-byte directory (reserved, type, count), 16-byte entries
// (width, height, colour count, reserved, planes, bit count, bytes in
// resource, image offset from the start of the file), then each image as a
// DIB whose height counts the colour (XOR) image and the AND mask together.
constexpr int64_t kDirectorySize = 6;
constexpr int64_t kEntrySize = 16;
constexpr int64_t kInfoHeaderSize = 40;
constexpr uint16_t kIconType = 1;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

// The bytes of one stored image, with every access range-checked by the
// caller against size().
struct ImageBytes {
  std::vector<uint8_t> data;
  int64_t size() const { return static_cast<int64_t>(data.size()); }
  const uint8_t* at(int64_t offset) const { return data.data() + offset; }
};

// A DIB row's length in bytes: bits padded to a multiple of 32.
int64_t Stride(int64_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

struct Decoded {
  std::array<Pixel, kIconSize * kIconSize> color{};
  std::array<uint8_t, kIconSize * kIconSize> mask{};
};

Decoded DecodeDib(const ImageBytes& image) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (image.size() >= 8 && std::memcmp(image.at(0), kPngSignature, 8) == 0) {
    throw InvalidIconError();
  }
  if (image.size() < kInfoHeaderSize) throw InvalidIconError();

  // The header may be a later, longer version; the palette follows it.
  const int64_t headerSize = U32(image.at(0));
  const int64_t width = I32(image.at(4));
  const int64_t doubleHeight = I32(image.at(8));
  const int bitCount = U16(image.at(14));
  const uint32_t compression = U32(image.at(16));
  const uint32_t colorsUsed = U32(image.at(32));
  if (headerSize < kInfoHeaderSize || headerSize > image.size()) throw InvalidIconError();
  if (width <= 0 || doubleHeight < 2 || compression != 0) throw InvalidIconError();
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
    throw InvalidIconError();
  }
  const int64_t height = doubleHeight / 2;

  int64_t paletteCount = 0;
  if (bitCount <= 8) paletteCount = colorsUsed != 0 ? colorsUsed : int64_t{1} << bitCount;
  const int64_t paletteOffset = headerSize;
  const int64_t colorOffset = paletteOffset + paletteCount * 4;
  const int64_t colorStride = Stride(width, bitCount);
  const int64_t maskStride = Stride(width, 1);
  if (colorOffset > image.size()) throw InvalidIconError();
  // Divisions, not products, so that a huge width and height cannot overflow.
  if (height > (image.size() - colorOffset) / colorStride) throw InvalidIconError();
  const int64_t maskOffset = colorOffset + colorStride * height;
  // A 32-bit image may come without AND mask; its alpha then tells what is
  // transparent.
  const bool hasMask = height <= (image.size() - maskOffset) / maskStride;
  if (!hasMask && bitCount != 32) throw InvalidIconError();

  Decoded out;
  for (int y = 0; y < kIconSize; ++y) {
    // Rows are stored bottom-up.
    const int64_t sourceRow = height - 1 - y * height / kIconSize;
    const uint8_t* colorRow = image.at(colorOffset + sourceRow * colorStride);
    const uint8_t* maskRow = hasMask ? image.at(maskOffset + sourceRow * maskStride) : nullptr;
    for (int x = 0; x < kIconSize; ++x) {
      const int64_t sx = x * width / kIconSize;
      Pixel color = 0;
      bool transparent = false;
      if (bitCount <= 8) {
        const int64_t bit = sx * bitCount;
        const int shift = 8 - bitCount - static_cast<int>(bit % 8);
        const int64_t index = (colorRow[bit / 8] >> shift) & ((1 << bitCount) - 1);
        // An index beyond the palette shows black.
        if (index < paletteCount) {
          const uint8_t* q = image.at(paletteOffset + index * 4);
          color = static_cast<Pixel>(q[2]) << 16 | static_cast<Pixel>(q[1]) << 8 | q[0];
        }
      } else {
        const uint8_t* q = colorRow + sx * (bitCount / 8);
        color = static_cast<Pixel>(q[2]) << 16 | static_cast<Pixel>(q[1]) << 8 | q[0];
        if (!hasMask && q[3] == 0) {
          transparent = true;
          color = 0;
        }
      }
      if (hasMask) transparent = (maskRow[sx / 8] >> (7 - sx % 8)) & 1;
      out.color[y * kIconSize + x] = color;
      out.mask[y * kIconSize + x] = transparent ? 1 : 0;
    }
  }
  return out;
}

}  // namespace

void Icon::LoadFromStream(Stream& stream) {
  LoadDecoded(stream);
  pending_ = false;
  pendingBytes_.clear();
}

void Icon::LoadFromStreamDeferred(Stream& stream) {
  const int64_t total = stream.Remaining();
  std::vector<uint8_t> bytes(static_cast<size_t>(total));
  if (stream.Read(bytes.data(), bytes.size()) != bytes.size()) throw StreamReadError();
  pendingBytes_ = std::move(bytes);
  pending_ = true;
}

void Icon::Decode() const {
  if (!pending_) return;
  MemoryStream bytes;
  bytes.Write(pendingBytes_.data(), pendingBytes_.size());
  bytes.Seek(0, SeekOrigin::Begin);
  pending_ = false;
  pendingBytes_.clear();
  empty_ = true;
  LoadDecoded(bytes);
}

void Icon::LoadDecoded(Stream& stream) const {
  const int64_t base = stream.Position();
  const int64_t total = stream.Remaining();
  // The whole rest of the stream belongs to the icon, whatever it uses.
  struct ConsumeRest {
    Stream& s;
    ~ConsumeRest() { s.Seek(0, SeekOrigin::End); }
  } consume{stream};

  if (total < kDirectorySize) throw StreamReadError();
  uint8_t directory[kDirectorySize];
  stream.ReadBuffer(directory, sizeof directory);
  if (U16(directory) != 0 || U16(directory + 2) != kIconType || U16(directory + 4) == 0) {
    throw InvalidIconError();
  }
  if (total < kDirectorySize + kEntrySize) throw InvalidIconError();
  uint8_t entry[kEntrySize];
  stream.ReadBuffer(entry, sizeof entry);

  // The DIB header, not the entry's width and height bytes, gives the
  // picture's size; the stored size may overstate what the file holds.
  const int64_t imageSize = U32(entry + 8);
  const int64_t imageOffset = U32(entry + 12);
  if (imageOffset >= total) throw InvalidIconError();
  ImageBytes image;
  image.data.resize(static_cast<size_t>(std::min(imageSize, total - imageOffset)));
  stream.Seek(base + imageOffset, SeekOrigin::Begin);
  if (stream.Read(image.data.data(), image.data.size()) != image.data.size()) {
    throw InvalidIconError();
  }

  Decoded decoded = DecodeDib(image);
  color_ = decoded.color;
  mask_ = decoded.mask;
  empty_ = false;
}

}  // namespace sp
