#pragma once

#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <vector>

#include <jpeglib.h>

namespace sp::bench {

// libjpeg alone, as the anchor for decoding: one decompressor reused for
// every picture, the same quality settings as the player (integer DCT,
// smooth upsampling), decoding straight into 32-bit 0x00RRGGBB pixels.
class LibjpegAnchor {
 public:
  LibjpegAnchor() {
    info_.err = jpeg_std_error(&error_);
    jpeg_create_decompress(&info_);
  }
  ~LibjpegAnchor() { jpeg_destroy_decompress(&info_); }
  LibjpegAnchor(const LibjpegAnchor&) = delete;
  LibjpegAnchor& operator=(const LibjpegAnchor&) = delete;

  // Decodes into pixels, which it sizes; trusted input only (libjpeg's
  // default error handler ends the process).
  void Decode(const std::vector<uint8_t>& jpeg, std::vector<uint32_t>& pixels) {
    jpeg_mem_src(&info_, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info_, TRUE);
    info_.out_color_space = JCS_EXT_BGRX;
    info_.dct_method = JDCT_ISLOW;
    info_.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&info_);
    const size_t width = info_.output_width;
    pixels.resize(width * info_.output_height);
    while (info_.output_scanline < info_.output_height) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels.data() + width * info_.output_scanline);
      jpeg_read_scanlines(&info_, &row, 1);
    }
    jpeg_finish_decompress(&info_);
  }

 private:
  jpeg_decompress_struct info_{};
  jpeg_error_mgr error_{};
};

}  // namespace sp::bench
