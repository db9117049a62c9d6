#include "platform/jpeg_image.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>
#include <jerror.h>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define SELFPLAY_AVX2_CLEAR 1
#endif

#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace sp {

namespace {

// libjpeg's working memory for one picture (progressive coefficient buffers
// above all); past it the library fails with its own out-of-memory code.
constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;
// A progressive picture with more scans than this is hostile: each scan
// revisits the whole coefficient buffer.
constexpr int kMaxScans = 1000;
// Rows libjpeg hands out per call at most: one row group of the largest
// vertical sampling factor.
constexpr int kRowGroup = 4;

// Pixels land in memory as 0x??RRGGBB words, whatever the byte order.
constexpr J_COLOR_SPACE kPixelColorSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct ErrorManager {
  jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

// The data is handed over whole before the header is read, so there is
// nothing to open or close.
void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Called only when the data is used up: a picture cut off early ends with
// an end-of-image marker, as many as libjpeg asks for.
boolean FillInputBuffer(j_decompress_ptr info) {
  static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
  info->src->next_input_byte = kEndOfImage;
  info->src->bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  jpeg_source_mgr* source = info->src;
  if (count <= 0) return;
  if (static_cast<size_t>(count) >= source->bytes_in_buffer) {
    FillInputBuffer(info);
    return;
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<size_t>(count);
}

void MonitorProgress(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  if (info->input_scan_number > kMaxScans) ERREXIT1(info, JERR_IMAGE_TOO_BIG, kMaxScans);
}

// libjpeg fills the spare byte of each pixel with 0xFF; a Bitmap's is 0.
// out may be in. Four pixels a step, so that even the cheapest vectoriser
// takes the loop.
void ClearSpareBytes(Pixel* out, const Pixel* in, int width) {
  const int whole = width & ~3;
  for (int x = 0; x < whole; x += 4) {
    out[x] = in[x] & 0x00FFFFFFu;
    out[x + 1] = in[x + 1] & 0x00FFFFFFu;
    out[x + 2] = in[x + 2] & 0x00FFFFFFu;
    out[x + 3] = in[x + 3] & 0x00FFFFFFu;
  }
  for (int x = whole; x < width; ++x) out[x] = in[x] & 0x00FFFFFFu;
}

#ifdef SELFPLAY_AVX2_CLEAR
// The same, eight pixels a step. A row cleared in place costs what the
// instructions cost (the row is in the level-1 cache), and four pixels a
// step would take longer than copying the row out of a scratch.
__attribute__((target("avx2"))) void ClearSpareBytesAvx2(Pixel* out, const Pixel* in, int width) {
  const __m256i keep = _mm256_set1_epi32(0x00FFFFFF);
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_and_si256(pixels, keep));
  }
  for (; x < width; ++x) out[x] = in[x] & 0x00FFFFFFu;
}
#endif

void ClearRow(Pixel* out, const Pixel* in, int width) {
#ifdef SELFPLAY_AVX2_CLEAR
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    ClearSpareBytesAvx2(out, in, width);
    return;
  }
#endif
  ClearSpareBytes(out, in, width);
}

// libjpeg-turbo's colour conversion writes a row that starts on a 32-byte
// boundary with non-temporal stores, which bypass the cache, so reading it
// back to clear the spare bytes would go to memory. Such a row is written
// into a scratch row and copied from there; any other row is written in
// place and cleared while it is still in the level-1 cache. (A Bitmap keeps
// its rows off that boundary where the width allows.)
bool TakesStreamingStores(const Pixel* row) { return reinterpret_cast<uintptr_t>(row) % 32 == 0; }

// Where libjpeg writes the rows of a row group that are copied into the
// bitmap. Every scratch row starts 4 bytes past a 32-byte boundary, so it
// stays in the level-1 cache for the copy.
class RowScratch {
 public:
  void Reserve(int width) {
    constexpr size_t kLine = 32 / sizeof(Pixel);
    pitch_ = (static_cast<size_t>(width) + kLine - 1) / kLine * kLine;
    buffer_.resize(pitch_ * kRowGroup + 2 * kLine);
    const auto address = reinterpret_cast<uintptr_t>(buffer_.data());
    const size_t toLine = (32 - address % 32) % 32 / sizeof(Pixel);
    first_ = buffer_.data() + toLine + 1;
  }
  Pixel* Row(int i) { return first_ + pitch_ * static_cast<size_t>(i); }

 private:
  std::vector<Pixel> buffer_;
  size_t pitch_ = 0;
  Pixel* first_ = nullptr;
};

bool IsSupportedColorSpace(const jpeg_decompress_struct& info) {
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      return info.num_components == 1;
    case JCS_YCbCr:
    case JCS_RGB:
      return info.num_components == 3;
    default:
      return false;  // CMYK, YCCK and unknown layouts
  }
}

}  // namespace

struct JpegImage::Decoder {
  jpeg_decompress_struct info{};
  ErrorManager error{};
  jpeg_source_mgr source{};
  jpeg_progress_mgr progress{};
  // info holds the parsed header of the loaded data and waits in libjpeg's
  // ready state for the decode.
  bool headerRead = false;
  int failedCode = 0;
  RowScratch scratch;

  Decoder() {
    info.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = ErrorExit;
    error.pub.emit_message = IgnoreMessage;
    error.pub.output_message = IgnoreOutput;
    source.init_source = InitSource;
    source.fill_input_buffer = FillInputBuffer;
    source.skip_input_data = SkipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
    progress.progress_monitor = MonitorProgress;
    if (!Guarded([this] {
          jpeg_create_decompress(&info);
          info.mem->max_memory_to_use = kMaxDecoderMemory;
        })) {
      throw JpegError(failedCode);
    }
    info.src = &source;
    info.progress = &progress;
  }

  ~Decoder() { jpeg_destroy_decompress(&info); }

  // Runs body, which calls libjpeg, inside a setjmp scope. A libjpeg error
  // leaves body by longjmp, so body holds nothing with a destructor. On an
  // error the decompressor is reset for the next picture, failedCode holds
  // libjpeg's message code, and the result is false.
  template <typename Body>
  bool Guarded(Body body) {
    if (setjmp(error.jump) != 0) {
      failedCode = error.pub.msg_code;
      jpeg_abort_decompress(&info);
      headerRead = false;
      return false;
    }
    body();
    return true;
  }

  void ThrowIfFailed(bool ok) const {
    if (!ok) throw JpegError(failedCode);
  }

  void ReadHeader(const std::vector<uint8_t>& data) {
    jpeg_abort_decompress(&info);
    headerRead = false;
    ForgetTables();
    ThrowIfFailed(Guarded([this, &data] {
      source.next_input_byte = data.data();
      source.bytes_in_buffer = data.size();
      jpeg_read_header(&info, TRUE);
    }));
    if (const int missing = MissingTable()) {
      jpeg_abort_decompress(&info);
      throw JpegError(missing);
    }
    headerRead = true;
  }

  // libjpeg keeps the tables of the pictures before: a picture that leaves
  // one out would decode with whatever the last picture defined, so the
  // same block would look different after a seek than after playing. Each
  // table kept is marked (no quantizer of 0, a Huffman table's unused
  // count set) and a picture that uses a marked or absent one is refused,
  // as a decompressor of its own would refuse it.
  void ForgetTables() {
    for (JQUANT_TBL* table : info.quant_tbl_ptrs) {
      if (table) std::fill(std::begin(table->quantval), std::end(table->quantval), UINT16{0});
    }
    for (JHUFF_TBL* table : info.dc_huff_tbl_ptrs) {
      if (table) table->bits[0] = 1;
    }
    for (JHUFF_TBL* table : info.ac_huff_tbl_ptrs) {
      if (table) table->bits[0] = 1;
    }
  }

  // libjpeg's message code for the first table the picture's first scan or
  // components use without defining it; 0 when there is none.
  int MissingTable() const {
    for (int c = 0; c < info.num_components; ++c) {
      const int n = info.comp_info[c].quant_tbl_no;
      const JQUANT_TBL* table = n >= 0 && n < NUM_QUANT_TBLS ? info.quant_tbl_ptrs[n] : nullptr;
      if (!table || std::all_of(std::begin(table->quantval), std::end(table->quantval),
                                [](UINT16 q) { return q == 0; })) {
        return JERR_NO_QUANT_TABLE;
      }
    }
    if (info.arith_code) return 0;
    auto missing = [](JHUFF_TBL* const* tables, int n) {
      return n < 0 || n >= NUM_HUFF_TBLS || !tables[n] || tables[n]->bits[0] != 0;
    };
    // A progressive picture's first scan is a DC or an AC one; its
    // refinements decode without tables.
    const bool dc = !info.progressive_mode || (info.Ss == 0 && info.Ah == 0);
    const bool ac = !info.progressive_mode || (info.Ss > 0 && info.Ah == 0);
    for (int i = 0; i < info.comps_in_scan; ++i) {
      const jpeg_component_info* component = info.cur_comp_info[i];
      if ((dc && missing(info.dc_huff_tbl_ptrs, component->dc_tbl_no)) ||
          (ac && missing(info.ac_huff_tbl_ptrs, component->ac_tbl_no))) {
        return JERR_NO_HUFF_TABLE;
      }
    }
    return 0;
  }

  // Refuses what must not be decoded, before libjpeg or the bitmap sizes
  // anything by the picture.
  void CheckHeader(int maxWidth, int maxHeight) {
    int code = 0;
    if (!IsSupportedColorSpace(info)) {
      code = JERR_CONVERSION_NOTIMPL;
    } else if (info.image_width == 0 || info.image_height == 0 ||
               info.image_width > static_cast<JDIMENSION>(std::min(kMaxImageSide, maxWidth)) ||
               info.image_height > static_cast<JDIMENSION>(std::min(kMaxImageSide, maxHeight))) {
      code = JERR_IMAGE_TOO_BIG;
    }
    if (code != 0) {
      jpeg_abort_decompress(&info);
      headerRead = false;
      throw JpegError(code);
    }
  }
};

JpegImage::JpegImage() : decoder_(std::make_unique<Decoder>()) {}

JpegImage::~JpegImage() = default;

void JpegImage::LoadFromStream(Stream& stream) {
  int64_t remaining = std::max<int64_t>(stream.Remaining(), 0);
  width_ = 0;
  height_ = 0;
  // resize keeps the capacity, so a buffer reused for every block of a
  // recording stops allocating once it has seen the largest one.
  data_.resize(static_cast<size_t>(remaining));
  stream.ReadBuffer(data_.data(), data_.size());
  decoder_->ReadHeader(data_);
  width_ = static_cast<int>(decoder_->info.image_width);
  height_ = static_cast<int>(decoder_->info.image_height);
}

void JpegImage::SetMaxSize(int width, int height) {
  maxWidth_ = std::clamp(width, 0, kMaxImageSide);
  maxHeight_ = std::clamp(height, 0, kMaxImageSide);
}

void JpegImage::AssignTo(Bitmap& bitmap) { AssignPartTo(bitmap, {0, 0, kMaxImageSide, kMaxImageSide}); }

void JpegImage::AssignPartTo(Bitmap& bitmap, const Rect& wanted) {
  const Size picture = StartDecode();
  Rect part = wanted.Intersect({0, 0, picture.width, picture.height});
  if (part.right <= part.left || part.bottom <= part.top) part = {0, 0, 0, 0};
  try {
    // Every row is written below, or made white when the decode stops.
    bitmap.SetSizeForOverwrite(part.right - part.left, part.bottom - part.top);
  } catch (...) {
    AbortDecode();
    throw;
  }
  DecodeInto(part, bitmap, 0, 0);
}

void JpegImage::DrawPart(Bitmap& target, int x, int y, const Rect& wanted) {
  const Size picture = StartDecode();
  Rect part = wanted.Intersect({0, 0, picture.width, picture.height});
  // Clipped to the target as well, in the picture's coordinates.
  part = part.Intersect({-x, -y, target.Width() - x, target.Height() - y});
  if (part.right <= part.left || part.bottom <= part.top) part = {0, 0, 0, 0};
  const Rect written{x + part.left, y + part.top, x + part.right, y + part.bottom};
  DecodeInto(part, target, written.left, written.top);
  target.MarkDirty(written);
}

void JpegImage::Check() {
  StartDecode();
  // An empty part: the rows are only entropy decoded, but for the last.
  Bitmap none;
  DecodeInto({0, 0, 0, 0}, none, 0, 0);
}

Size JpegImage::StartDecode() {
  Decoder& d = *decoder_;
  if (!d.headerRead) d.ReadHeader(data_);
  d.CheckHeader(maxWidth_, maxHeight_);

  jpeg_decompress_struct& info = d.info;
  info.out_color_space = kPixelColorSpace;
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = TRUE;
  info.do_block_smoothing = TRUE;
  info.scale_num = 1;
  info.scale_denom = 1;
  info.quantize_colors = FALSE;

  // A progressive picture is read whole here, so its failures come before
  // anything takes its size.
  d.ThrowIfFailed(d.Guarded([&info] { jpeg_start_decompress(&info); }));
  return {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
}

void JpegImage::AbortDecode() {
  jpeg_abort_decompress(&decoder_->info);
  decoder_->headerRead = false;
}

void JpegImage::DecodeInto(const Rect& part, Bitmap& target, int x, int y) {
  Decoder& d = *decoder_;
  jpeg_decompress_struct& info = d.info;
  const int pictureWidth = static_cast<int>(info.output_width);
  const int pictureHeight = static_cast<int>(info.output_height);
  const int width = part.right - part.left;
  const int height = part.bottom - part.top;

  // Columns: libjpeg decodes from an iMCU boundary at or left of the column
  // asked for. Smooth upsampling blends each column with its neighbours',
  // so the edge columns of a cropped decode differ from the whole picture's;
  // a margin on each side keeps them out of the part.
  constexpr int kCropMargin = 16;
  const bool cropped = width > 0 && width < pictureWidth;
  JDIMENSION decodedLeft = 0;
  if (cropped) {
    decodedLeft = static_cast<JDIMENSION>(std::max(part.left - kCropMargin, 0));
    JDIMENSION decodedWidth = static_cast<JDIMENSION>(std::min(part.right + kCropMargin, pictureWidth)) - decodedLeft;
    d.ThrowIfFailed(d.Guarded([&] { jpeg_crop_scanline(&info, &decodedLeft, &decodedWidth); }));
  }
  const int fromColumn = part.left - static_cast<int>(decodedLeft);

  try {
    d.scratch.Reserve(static_cast<int>(info.output_width));
  } catch (...) {
    AbortDecode();
    throw;
  }
  auto rowOf = [&target, x, y](int i) { return target.Row(y + i) + x; };

  // Rows above this one are decoded and hold 0x00RRGGBB. Volatile: it is
  // read after libjpeg may have left by longjmp.
  volatile int finished = 0;
  const bool ok = d.Guarded([&] {
    // Rows above the part are skipped: whole row groups are only entropy
    // decoded, and libjpeg-turbo's skip gives the rows after it the same
    // pixels as a decode from the first row (smooth upsampling included).
    if (part.top > 0) jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(part.top));
    JSAMPROW rows[kRowGroup];
    bool viaScratch[kRowGroup];
    while (static_cast<int>(info.output_scanline) < part.bottom) {
      const int first = static_cast<int>(info.output_scanline) - part.top;
      const int count = std::min(kRowGroup, height - first);
      for (int i = 0; i < count; ++i) {
        Pixel* row = rowOf(first + i);
        viaScratch[i] = cropped || TakesStreamingStores(row);
        rows[i] = reinterpret_cast<JSAMPROW>(viaScratch[i] ? d.scratch.Row(i) : row);
      }
      const int done = static_cast<int>(jpeg_read_scanlines(&info, rows, count));
      if (done == 0) break;
      for (int i = 0; i < done; ++i) {
        Pixel* row = rowOf(first + i);
        ClearRow(row, viaScratch[i] ? d.scratch.Row(i) + fromColumn : row, width);
      }
      finished = first + done;
    }
    // Below the part, the data is read through to the last row, which is
    // decoded into the scratch: a skip to the very end would read nothing,
    // and a picture that fails down there must fail here too.
    if (part.bottom < pictureHeight && static_cast<int>(info.output_scanline) == part.bottom) {
      jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(pictureHeight - 1 - part.bottom));
      rows[0] = reinterpret_cast<JSAMPROW>(d.scratch.Row(0));
      jpeg_read_scanlines(&info, rows, 1);
    }
    // Whatever follows the last row (trailing markers, junk) is not read:
    // the picture is complete, and the abort readies the next one.
    jpeg_abort_decompress(&info);
  });
  d.headerRead = false;
  // A decode cut short leaves white below what it wrote, as a bitmap newly
  // sized always has.
  for (int i = finished; i < height; ++i) std::fill_n(rowOf(i), width, kWhitePixel);
  d.ThrowIfFailed(ok);
}

}  // namespace sp
