#include "tools/png_io.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "platform/bitmap.h"
#include "platform/jpeg_image.h"
#include "tools/command_line.h"

namespace sp::tool {

void ReadPng(const std::string& path, Bitmap& bitmap) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    throw ToolError(path + ": not a readable PNG (" + image.message + ")");
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
      image.height > kMaxImageSide) {
    png_image_free(&image);
    throw ToolError(path + ": a PNG of " + std::to_string(image.width) + " x " +
                    std::to_string(image.height) + " pixels is outside 1 to " +
                    std::to_string(kMaxImageSide) + " a side");
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    throw ToolError(path + ": the PNG does not decode (" + image.message + ")");
  }
  const int width = static_cast<int>(image.width);
  const int height = static_cast<int>(image.height);
  bitmap.SetSize(width, height);
  const uint8_t* p = rgba.data();
  for (int y = 0; y < height; ++y) {
    Pixel* row = bitmap.Row(y);
    for (int x = 0; x < width; ++x, p += 4) {
      const unsigned a = p[3];
      auto over_white = [a](unsigned c) { return (c * a + 255 * (255 - a) + 127) / 255; };
      row[x] = over_white(p[0]) << 16 | over_white(p[1]) << 8 | over_white(p[2]);
    }
  }
  bitmap.MarkAllDirty();
}

void WritePng(const std::string& path, const Bitmap& bitmap) {
  if (bitmap.IsEmpty()) throw ToolError(path + ": nothing to write, the picture is empty");
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.Width());
  image.height = static_cast<png_uint_32>(bitmap.Height());
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 3);
  uint8_t* p = rgb.data();
  for (int y = 0; y < bitmap.Height(); ++y) {
    const Pixel* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      *p++ = static_cast<uint8_t>(row[x] >> 16);
      *p++ = static_cast<uint8_t>(row[x] >> 8);
      *p++ = static_cast<uint8_t>(row[x]);
    }
  }
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) {
    throw ToolError(path + ": cannot write the PNG (" + image.message + ")");
  }
}

}  // namespace sp::tool
