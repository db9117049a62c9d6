#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

// libjpeg's own decompressor, used directly so the recorder's output is
// checked without the player's decoder.
namespace sp::recorder::testing {

struct DecodedJpeg {
  bool ok = false;
  int width = 0;
  int height = 0;
  int components = 0;
  int lumaSampling[2] = {0, 0};  // h, v
  int chromaSampling[2] = {0, 0};
  bool progressive = false;
  bool arithmetic = false;
  unsigned restartInterval = 0;
  bool jfif = false;
  int jfifVersion[2] = {0, 0};
  uint16_t lumaQuant[64] = {};    // natural order
  uint16_t chromaQuant[64] = {};
  uint8_t dcLumaBits[17] = {};
  uint8_t acLumaBits[17] = {};
  std::vector<uint8_t> rgb;       // width * height * 3
};

namespace detail {
struct Error {
  jpeg_error_mgr base;
  jmp_buf jump;
};
inline void Fail(j_common_ptr c) { longjmp(reinterpret_cast<Error*>(c->err)->jump, 1); }
inline void Quiet(j_common_ptr, int) {}

inline bool Run(jpeg_decompress_struct& d, const std::vector<uint8_t>& bytes, DecodedJpeg& out,
                Error& error) {
  if (setjmp(error.jump)) return false;
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d, TRUE);
  out.width = static_cast<int>(d.image_width);
  out.height = static_cast<int>(d.image_height);
  out.components = d.num_components;
  out.progressive = d.progressive_mode;
  out.arithmetic = d.arith_code;
  out.restartInterval = d.restart_interval;
  out.jfif = d.saw_JFIF_marker;
  out.jfifVersion[0] = d.JFIF_major_version;
  out.jfifVersion[1] = d.JFIF_minor_version;
  if (d.num_components == 3) {
    out.lumaSampling[0] = d.comp_info[0].h_samp_factor;
    out.lumaSampling[1] = d.comp_info[0].v_samp_factor;
    out.chromaSampling[0] = d.comp_info[1].h_samp_factor;
    out.chromaSampling[1] = d.comp_info[1].v_samp_factor;
  }
  for (int i = 0; i < 64; ++i) {
    if (d.quant_tbl_ptrs[0]) out.lumaQuant[i] = d.quant_tbl_ptrs[0]->quantval[i];
    if (d.quant_tbl_ptrs[1]) out.chromaQuant[i] = d.quant_tbl_ptrs[1]->quantval[i];
  }
  for (int i = 0; i < 17; ++i) {
    if (d.dc_huff_tbl_ptrs[0]) out.dcLumaBits[i] = d.dc_huff_tbl_ptrs[0]->bits[i];
    if (d.ac_huff_tbl_ptrs[0]) out.acLumaBits[i] = d.ac_huff_tbl_ptrs[0]->bits[i];
  }
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out.rgb.data() + static_cast<size_t>(d.output_scanline) * out.width * 3;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  return true;
}
}  // namespace detail

inline DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& bytes) {
  DecodedJpeg out;
  jpeg_decompress_struct d{};
  detail::Error error;
  d.err = jpeg_std_error(&error.base);
  error.base.error_exit = detail::Fail;
  error.base.emit_message = detail::Quiet;
  out.ok = detail::Run(d, bytes, out, error);
  jpeg_destroy_decompress(&d);
  return out;
}

}  // namespace sp::recorder::testing
