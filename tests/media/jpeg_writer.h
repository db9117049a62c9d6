#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

// Test pictures made with libjpeg's own compressor, so the decoder is
// checked against the reference encoder rather than against itself.
namespace sp::media_testing {

enum class JpegColor { Rgb, Grey, Cmyk };

enum class JpegScans {
  Baseline,
  Progressive,  // libjpeg's standard progression
  // One scan per coefficient band and bit plane: over a thousand scans.
  Exhaustive,
};

struct JpegRecipe {
  int width = 16;
  int height = 16;
  JpegColor color = JpegColor::Rgb;
  JpegScans scans = JpegScans::Baseline;
  int quality = 95;
  // The luminance's sampling factors against the chroma's 1 x 1: 2 x 2 is
  // libjpeg's default (4:2:0), 2 x 1 is 4:2:2, 1 x 1 is 4:4:4.
  int lumaWide = 2;
  int lumaHigh = 2;
};

// pixel(x, y) is 0x00RRGGBB; a grey picture takes the green byte, a CMYK
// picture writes the bytes as C, M, Y and K = 0.
inline std::vector<uint8_t> MakeJpeg(const JpegRecipe& recipe,
                                     const std::function<uint32_t(int, int)>& pixel) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&info, &out, &outSize);

  info.image_width = static_cast<JDIMENSION>(recipe.width);
  info.image_height = static_cast<JDIMENSION>(recipe.height);
  switch (recipe.color) {
    case JpegColor::Rgb:
      info.input_components = 3;
      info.in_color_space = JCS_RGB;
      break;
    case JpegColor::Grey:
      info.input_components = 1;
      info.in_color_space = JCS_GRAYSCALE;
      break;
    case JpegColor::Cmyk:
      info.input_components = 4;
      info.in_color_space = JCS_CMYK;
      break;
  }
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, recipe.quality, TRUE);
  if (recipe.color == JpegColor::Rgb) {
    info.comp_info[0].h_samp_factor = recipe.lumaWide;
    info.comp_info[0].v_samp_factor = recipe.lumaHigh;
  }

  std::vector<jpeg_scan_info> script;
  if (recipe.scans == JpegScans::Progressive) jpeg_simple_progression(&info);
  if (recipe.scans == JpegScans::Exhaustive) {
    constexpr int kTopBit = 6;
    script.push_back({info.num_components, {0, 1, 2, 3}, 0, 0, 0, 0});
    for (int c = 0; c < info.num_components; ++c) {
      for (int band = 1; band < 64; ++band) {
        script.push_back({1, {c}, band, band, 0, kTopBit});
        for (int bit = kTopBit; bit > 0; --bit) {
          script.push_back({1, {c}, band, band, bit, bit - 1});
        }
      }
    }
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());
  }

  jpeg_start_compress(&info, TRUE);
  const int components = info.input_components;
  std::vector<JSAMPLE> row(static_cast<size_t>(recipe.width) * components);
  while (info.next_scanline < info.image_height) {
    const int y = static_cast<int>(info.next_scanline);
    for (int x = 0; x < recipe.width; ++x) {
      const uint32_t p = pixel(x, y);
      JSAMPLE* s = row.data() + static_cast<size_t>(x) * components;
      if (components == 1) {
        s[0] = static_cast<JSAMPLE>(p >> 8);
      } else {
        s[0] = static_cast<JSAMPLE>(p >> 16);
        s[1] = static_cast<JSAMPLE>(p >> 8);
        s[2] = static_cast<JSAMPLE>(p);
        if (components == 4) s[3] = 0;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + outSize);
  std::free(out);
  return bytes;
}

inline std::vector<uint8_t> MakeSolidJpeg(const JpegRecipe& recipe, uint32_t pixel) {
  return MakeJpeg(recipe, [pixel](int, int) { return pixel; });
}

// The offset of the first marker 0xFF code, or bytes.size().
inline size_t FindMarker(const std::vector<uint8_t>& bytes, uint8_t code) {
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == code) return i;
  }
  return bytes.size();
}

// Rewrites the frame header's size: in SOF0..SOF2 the height follows the
// marker, its length and the sample precision, then the width.
inline void PatchFrameSize(std::vector<uint8_t>& bytes, int width, int height) {
  size_t sof = FindMarker(bytes, 0xC0);
  if (sof == bytes.size()) sof = FindMarker(bytes, 0xC2);
  bytes.at(sof + 5) = static_cast<uint8_t>(height >> 8);
  bytes.at(sof + 6) = static_cast<uint8_t>(height);
  bytes.at(sof + 7) = static_cast<uint8_t>(width >> 8);
  bytes.at(sof + 8) = static_cast<uint8_t>(width);
}

}  // namespace sp::media_testing
