#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

#include "platform/errors.h"
#include "recorder/images.h"

namespace sp::recorder {
namespace {

// libjpeg's fatal errors leave through longjmp and become a JpegError once
// no library frame is left on the stack.
struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
  int code = 0;
};

void OnFatalError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  manager->code = manager->base.msg_code;
  longjmp(manager->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

struct Compressor {
  jpeg_compress_struct cinfo{};
  ErrorManager error;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;

  ~Compressor() {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
  }
};

// Kept apart from EncodeJpeg so no object with a destructor lives in the
// frame that setjmp returns to twice.
bool Compress(Compressor& c, const Bitmap& bitmap, const Rect& area, int quality) {
  if (setjmp(c.error.jump)) return false;
  jpeg_create_compress(&c.cinfo);
  jpeg_mem_dest(&c.cinfo, &c.buffer, &c.size);
  c.cinfo.image_width = static_cast<JDIMENSION>(area.Width());
  c.cinfo.image_height = static_cast<JDIMENSION>(area.Height());
  // 0x00RRGGBB pixels lie in memory as B, G, R, 0 on a little-endian machine.
  c.cinfo.input_components = 4;
  c.cinfo.in_color_space = JCS_EXT_BGRX;
  // The defaults are the recorder's: JFIF 1.01, YCbCr with 2 x 2 luma
  // sampling, standard Huffman tables, one interleaved baseline scan.
  jpeg_set_defaults(&c.cinfo);
  jpeg_set_quality(&c.cinfo, quality, TRUE);
  c.cinfo.optimize_coding = FALSE;
  c.cinfo.restart_interval = 0;
  c.cinfo.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&c.cinfo, TRUE);
  while (c.cinfo.next_scanline < c.cinfo.image_height) {
    const int y = area.top + static_cast<int>(c.cinfo.next_scanline);
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<Pixel*>(bitmap.Row(y) + area.left));
    jpeg_write_scanlines(&c.cinfo, &row, 1);
  }
  jpeg_finish_compress(&c.cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const Bitmap& bitmap, const Rect& area, int quality) {
  const Rect r = area.IsEmpty() ? bitmap.Bounds() : area.Intersect(bitmap.Bounds());
  if (r.IsEmpty()) throw std::invalid_argument("EncodeJpeg: nothing to encode");
  Compressor c;
  c.cinfo.err = jpeg_std_error(&c.error.base);
  c.error.base.error_exit = OnFatalError;
  c.error.base.emit_message = OnMessage;
  if (!Compress(c, bitmap, r, quality)) throw JpegError(c.error.code);
  return std::vector<uint8_t>(c.buffer, c.buffer + c.size);
}

}  // namespace sp::recorder
