#pragma once

#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>

namespace sp::bench {

// libjpeg alone, as the anchor for decoding: one decompressor reused for
// every picture, the same quality settings as the player (integer DCT,
// smooth upsampling), decoding straight into 32-bit pixels. Where the pixels
// start moves libjpeg-turbo by up to 20% (a row on a 32-byte boundary is
// written with non-temporal stores, which miss the cache the next picture
// would have found warm), so they start where a Bitmap's do: 16 bytes past
// a 64-byte boundary, which is also libjpeg's fastest place here.
class LibjpegAnchor {
 public:
  LibjpegAnchor() {
    info_.err = jpeg_std_error(&error_);
    jpeg_create_decompress(&info_);
  }
  ~LibjpegAnchor() { jpeg_destroy_decompress(&info_); }
  LibjpegAnchor(const LibjpegAnchor&) = delete;
  LibjpegAnchor& operator=(const LibjpegAnchor&) = delete;

  // Decodes into the anchor's own pixels; trusted input only (libjpeg's
  // default error handler ends the process).
  void Decode(const std::vector<uint8_t>& jpeg) {
    jpeg_mem_src(&info_, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info_, TRUE);
    info_.out_color_space = JCS_EXT_BGRX;
    info_.dct_method = JDCT_ISLOW;
    info_.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&info_);
    const size_t width = info_.output_width;
    uint32_t* pixels = Reserve(width * info_.output_height);
    while (info_.output_scanline < info_.output_height) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels + width * info_.output_scanline);
      jpeg_read_scanlines(&info_, &row, 1);
    }
    jpeg_finish_decompress(&info_);
  }

 private:
  static constexpr size_t kAlignment = 64;
  static constexpr size_t kLead = 16;  // bytes past the boundary
  struct Free {
    void operator()(uint32_t* p) const { std::free(p); }
  };

  uint32_t* Reserve(size_t count) {
    if (count > capacity_) {
      const size_t bytes = (kLead + count * sizeof(uint32_t) + kAlignment - 1) / kAlignment * kAlignment;
      pixels_.reset(static_cast<uint32_t*>(std::aligned_alloc(kAlignment, bytes)));
      if (!pixels_) throw std::bad_alloc();
      capacity_ = count;
    }
    return pixels_.get() + kLead / sizeof(uint32_t);
  }

  jpeg_decompress_struct info_{};
  jpeg_error_mgr error_{};
  std::unique_ptr<uint32_t, Free> pixels_;
  size_t capacity_ = 0;
};

}  // namespace sp::bench
