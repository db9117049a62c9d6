#include "platform/jpeg_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <jerror.h>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "tests/media/jpeg_writer.h"

namespace sp {
namespace {

using media_testing::FindMarker;
using media_testing::JpegColor;
using media_testing::JpegRecipe;
using media_testing::JpegScans;
using media_testing::MakeJpeg;
using media_testing::MakeSolidJpeg;
using media_testing::PatchFrameSize;

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kYellow = 0xFFFF00;
constexpr uint32_t kDarkGreen = 0x206020;

void Load(JpegImage& image, const std::vector<uint8_t>& bytes) {
  MemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.Seek(0, SeekOrigin::Begin);
  image.LoadFromStream(stream);
}

int ChannelDistance(Pixel a, Pixel b) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF)));
  }
  return worst;
}

// Runs f and returns the libjpeg code of the JpegError it raises (-1 when
// it raises none).
template <typename F>
int JpegErrorCode(F f) {
  try {
    f();
  } catch (const JpegError& e) {
    EXPECT_EQ(std::string(e.what()), "JPEG error #" + std::to_string(e.code()));
    return e.code();
  }
  return -1;
}

// Four 16 x 16 quadrants, aligned to the chroma blocks so that each
// quadrant's inside keeps its colour closely.
uint32_t Quadrants(int x, int y) {
  static const uint32_t kColors[4] = {kRed, kBlue, kYellow, kDarkGreen};
  return kColors[(y / 16) * 2 + x / 16];
}

TEST(JpegImageDecode, ColourPictureKeepsItsColours) {
  JpegImage image;
  Load(image, MakeJpeg({.width = 32, .height = 32}, Quadrants));
  EXPECT_EQ(image.Width(), 32);
  EXPECT_EQ(image.Height(), 32);

  Bitmap bitmap;
  image.AssignTo(bitmap);
  ASSERT_EQ(bitmap.Width(), 32);
  ASSERT_EQ(bitmap.Height(), 32);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      ASSERT_EQ(bitmap.At(x, y) >> 24, 0u) << x << "," << y;
      // Chroma is smoothed across quadrant edges; the insides are exact
      // up to quantisation.
      bool nearEdge = std::abs(x % 16 - 8) > 5 || std::abs(y % 16 - 8) > 5;
      if (!nearEdge) {
        EXPECT_LE(ChannelDistance(bitmap.At(x, y), Quadrants(x, y)), 10) << x << "," << y;
      }
    }
  }
}

TEST(JpegImageDecode, GreyPictureGivesEqualChannels) {
  JpegImage image;
  Load(image, MakeJpeg({.width = 24, .height = 8, .color = JpegColor::Grey},
                       [](int x, int) { return static_cast<uint32_t>(x * 10) << 8; }));
  Bitmap bitmap;
  image.AssignTo(bitmap);
  ASSERT_EQ(bitmap.Width(), 24);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 24; ++x) {
      Pixel p = bitmap.At(x, y);
      ASSERT_EQ(p >> 24, 0u);
      ASSERT_EQ((p >> 16) & 0xFF, (p >> 8) & 0xFF);
      ASSERT_EQ((p >> 8) & 0xFF, p & 0xFF);
      EXPECT_NEAR(static_cast<int>(p & 0xFF), x * 10, 6);
    }
  }
}

TEST(JpegImageDecode, ProgressivePictureDecodes) {
  JpegImage image;
  Load(image, MakeSolidJpeg({.width = 40, .height = 24, .scans = JpegScans::Progressive}, kBlue));
  Bitmap bitmap;
  image.AssignTo(bitmap);
  ASSERT_EQ(bitmap.Width(), 40);
  EXPECT_LE(ChannelDistance(bitmap.At(20, 12), kBlue), 6);
}

TEST(JpegImageDecode, ReadsFromTheStreamPosition) {
  std::vector<uint8_t> jpeg = MakeSolidJpeg({}, kRed);
  MemoryStream stream;
  stream.Write("junk", 4);
  stream.Write(jpeg.data(), jpeg.size());
  stream.Seek(4, SeekOrigin::Begin);
  JpegImage image;
  image.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
  Bitmap bitmap;
  image.AssignTo(bitmap);
  EXPECT_LE(ChannelDistance(bitmap.At(8, 8), kRed), 6);
}

TEST(JpegImageDecode, PictureCutAfterItsHeaderDecodes) {
  std::vector<uint8_t> jpeg = MakeSolidJpeg({.width = 32, .height = 32}, kRed);
  size_t sos = FindMarker(jpeg, 0xDA);
  ASSERT_LT(sos, jpeg.size());
  size_t headerEnd = sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
  jpeg.resize(headerEnd);

  JpegImage image;
  Load(image, jpeg);
  Bitmap bitmap;
  EXPECT_NO_THROW(image.AssignTo(bitmap));
  EXPECT_EQ(bitmap.Width(), 32);
  EXPECT_EQ(bitmap.Height(), 32);
}

TEST(JpegImageDecode, PictureCutInItsDataKeepsWhatArrived) {
  std::vector<uint8_t> jpeg =
      MakeJpeg({.width = 64, .height = 64}, [](int, int y) { return y < 32 ? kRed : kBlue; });
  const size_t sos = FindMarker(jpeg, 0xDA);
  ASSERT_LT(sos, jpeg.size());
  jpeg.resize(sos + (jpeg.size() - sos) / 2);
  JpegImage image;
  Load(image, jpeg);
  Bitmap bitmap;
  EXPECT_NO_THROW(image.AssignTo(bitmap));
  EXPECT_LE(ChannelDistance(bitmap.At(10, 10), kRed), 10);
}

TEST(JpegImageDecode, OneImageDecodesManyPicturesAlsoAfterErrors) {
  JpegImage image;
  Bitmap bitmap;
  const std::vector<uint8_t> red = MakeSolidJpeg({.width = 16, .height = 8}, kRed);
  const std::vector<uint8_t> grey =
      MakeSolidJpeg({.width = 8, .height = 24, .color = JpegColor::Grey}, 0x808080);
  const std::vector<uint8_t> garbage(100, 0x55);
  std::vector<uint8_t> tooBig = red;
  PatchFrameSize(tooBig, 20000, 20000);

  for (int round = 0; round < 3; ++round) {
    Load(image, red);
    image.AssignTo(bitmap);
    EXPECT_EQ(bitmap.Width(), 16);
    EXPECT_LE(ChannelDistance(bitmap.At(3, 3), kRed), 6);

    EXPECT_EQ(JpegErrorCode([&] { Load(image, garbage); }), JERR_NO_SOI);
    EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_NO_SOI);

    Load(image, grey);
    image.AssignTo(bitmap);
    EXPECT_EQ(bitmap.Width(), 8);
    EXPECT_EQ(bitmap.Height(), 24);
    EXPECT_LE(ChannelDistance(bitmap.At(4, 20), 0x808080), 4);

    Load(image, tooBig);
    EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_IMAGE_TOO_BIG);
  }
  // The same loaded picture assigned twice decodes twice.
  Load(image, red);
  Bitmap first;
  Bitmap second;
  image.AssignTo(first);
  image.AssignTo(second);
  EXPECT_EQ(second.Width(), 16);
  EXPECT_EQ(second.At(5, 5), first.At(5, 5));
}

// libjpeg's own decode of bytes into 0x00RRGGBB, with the player's settings.
std::vector<Pixel> ReferenceDecode(const std::vector<uint8_t>& bytes, int& width, int& height) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = TRUE;
  info.do_block_smoothing = TRUE;
  jpeg_start_decompress(&info);
  width = static_cast<int>(info.output_width);
  height = static_cast<int>(info.output_height);
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
  std::vector<Pixel> pixels;
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (int x = 0; x < width; ++x) {
      pixels.push_back(static_cast<Pixel>(row[x * 3]) << 16 | static_cast<Pixel>(row[x * 3 + 1]) << 8 |
                       row[x * 3 + 2]);
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}

// Every pixel of the bitmap is libjpeg's, with a zero high byte, whatever
// the width (rows are cleared eight pixels a step and then one by one) and
// however the bitmap was sized or filled before. Rows that start on a
// 32-byte boundary take another way through the decoder than the rest; the
// sizes give both.
TEST(JpegImageDecode, EveryPixelIsLibjpegsWhateverTheSizeAndTheBitmapBefore) {
  JpegImage image;
  Bitmap bitmap;
  auto pattern = [](int x, int y) {
    return static_cast<uint32_t>((x * 37 + y * 11) & 0xFF) << 16 | static_cast<uint32_t>((x * y) & 0xFF) << 8 |
           static_cast<uint32_t>((y * 53) & 0xFF);
  };
  const JpegColor colors[] = {JpegColor::Rgb, JpegColor::Grey};
  const int sides[][2] = {{1, 1}, {3, 7}, {5, 19}, {17, 4}, {33, 33}, {63, 2}, {33, 33}, {130, 41}};
  int rowsOnTheBoundary = 0;
  int rowsOffIt = 0;
  for (JpegColor color : colors) {
    for (const auto& side : sides) {
      const auto bytes = MakeJpeg({.width = side[0], .height = side[1], .color = color, .quality = 80}, pattern);
      // Whatever was there before: a picture of the same size the second
      // time 33 x 33 comes round, another size otherwise.
      bitmap.GetCanvas().brush.color = 0x00563412;
      bitmap.GetCanvas().FillRect(bitmap.Bounds());
      Load(image, bytes);
      image.AssignTo(bitmap);
      int width = 0;
      int height = 0;
      const std::vector<Pixel> expected = ReferenceDecode(bytes, width, height);
      ASSERT_EQ(bitmap.Width(), width);
      ASSERT_EQ(bitmap.Height(), height);
      for (int y = 0; y < height; ++y) {
        ++(reinterpret_cast<uintptr_t>(bitmap.Row(y)) % 32 == 0 ? rowsOnTheBoundary : rowsOffIt);
        for (int x = 0; x < width; ++x) {
          ASSERT_EQ(bitmap.At(x, y), expected[static_cast<size_t>(y) * width + x])
              << side[0] << "x" << side[1] << " at " << x << "," << y;
        }
      }
    }
  }
  EXPECT_GT(rowsOnTheBoundary, 0);
  EXPECT_GT(rowsOffIt, 0);
}

// Any part decodes to exactly the pixels of the whole picture there, with
// every sampling, progressive too, at any rows and columns: cropped on both
// sides, on one, or not at all.
TEST(JpegImageDecode, APartIsExactlyThatPartOfTheWholePicture) {
  JpegImage image;
  Bitmap whole;
  Bitmap part;
  auto pattern = [](int x, int y) {
    return static_cast<uint32_t>((x * 29 + y * 7) & 0xFF) << 16 | static_cast<uint32_t>((x ^ y) * 5 & 0xFF) << 8 |
           static_cast<uint32_t>((y * y + x) & 0xFF);
  };
  const JpegRecipe recipes[] = {
      {.width = 77, .height = 53, .quality = 80},
      {.width = 80, .height = 45, .quality = 80, .lumaWide = 2, .lumaHigh = 1},
      {.width = 61, .height = 34, .quality = 80, .lumaWide = 1, .lumaHigh = 1},
      {.width = 70, .height = 50, .quality = 80, .lumaWide = 1, .lumaHigh = 2},
      {.width = 66, .height = 41, .scans = JpegScans::Progressive, .quality = 80},
      {.width = 59, .height = 27, .color = JpegColor::Grey, .quality = 80},
  };
  for (const JpegRecipe& recipe : recipes) {
    const auto bytes = MakeJpeg(recipe, pattern);
    Load(image, bytes);
    image.AssignTo(whole);
    for (int top = 0; top < recipe.height; top += 7) {
      for (int bottom = top + 1; bottom <= recipe.height; bottom += 11) {
        for (int left = 0; left < recipe.width; left += 9) {
          for (int right = left + 1; right <= recipe.width; right += 13) {
            const Rect wanted{left, top, right, bottom};
            image.AssignPartTo(part, wanted);
            ASSERT_EQ(part.Width(), right - left);
            ASSERT_EQ(part.Height(), bottom - top);
            for (int y = 0; y < part.Height(); ++y) {
              ASSERT_TRUE(std::equal(part.Row(y), part.Row(y) + part.Width(), whole.Row(top + y) + left))
                  << recipe.width << "x" << recipe.height << " sampled " << recipe.lumaWide << "x" << recipe.lumaHigh
                  << ", part " << left << "," << top << " to " << right << "," << bottom << ", row " << top + y;
            }
          }
        }
      }
    }
  }
  // Past the picture the part is clamped to it.
  Load(image, MakeJpeg({.width = 8, .height = 8}, pattern));
  image.AssignPartTo(part, {-4, 5, 100, 100});
  EXPECT_EQ(part.Width(), 8);
  EXPECT_EQ(part.Height(), 3);
  image.AssignPartTo(part, {0, 9, 8, 12});
  EXPECT_TRUE(part.IsEmpty());
}

// Drawing a part onto a picture gives what assigning the whole picture to a
// bitmap and drawing that part of it would, clipped at every side, and
// marks just what it wrote.
TEST(JpegImageDecode, DrawingAPartIsDrawingThatPartOfTheDecodedPicture) {
  JpegImage image;
  auto pattern = [](int x, int y) {
    return static_cast<uint32_t>((x * 13 + y * 3) & 0xFF) << 16 | static_cast<uint32_t>((x + y) * 9 & 0xFF) << 8 |
           static_cast<uint32_t>((x * y) & 0xFF);
  };
  const auto bytes = MakeJpeg({.width = 70, .height = 44, .quality = 80}, pattern);
  Load(image, bytes);
  Bitmap whole;
  image.AssignTo(whole);
  struct Case {
    int x, y;
    Rect part;
  };
  const Case cases[] = {
      {10, 5, {0, 0, 70, 44}},   {-20, -9, {0, 0, 70, 44}}, {30, 20, {17, 3, 52, 40}},
      {-3, 11, {5, 8, 66, 30}},  {0, 0, {60, 40, 90, 90}},  {100, 0, {0, 0, 70, 44}},
  };
  for (const Case& c : cases) {
    Bitmap expected(50, 40);
    Bitmap drawn(50, 40);
    expected.GetCanvas().brush.color = 0x00123456;
    expected.GetCanvas().FillRect(expected.Bounds());
    drawn.GetCanvas().brush.color = 0x00123456;
    drawn.GetCanvas().FillRect(drawn.Bounds());
    const Rect part = c.part.Intersect(whole.Bounds());
    for (int y = part.top; y < part.bottom; ++y) {
      for (int x = part.left; x < part.right; ++x) {
        const int tx = c.x + x;
        const int ty = c.y + y;
        if (tx >= 0 && ty >= 0 && tx < expected.Width() && ty < expected.Height()) expected.Set(tx, ty, whole.At(x, y));
      }
    }
    drawn.TakeDirty();
    image.DrawPart(drawn, c.x, c.y, c.part);
    const Rect written = Rect{c.x + part.left, c.y + part.top, c.x + part.right, c.y + part.bottom}.Intersect(drawn.Bounds());
    const Rect dirty = drawn.TakeDirty();
    if (written.right > written.left && written.bottom > written.top) {
      EXPECT_EQ(dirty, written) << c.x << "," << c.y;
    } else {
      EXPECT_TRUE(dirty.right <= dirty.left || dirty.bottom <= dirty.top) << c.x << "," << c.y;
    }
    for (int y = 0; y < 40; ++y) {
      ASSERT_TRUE(std::equal(drawn.Row(y), drawn.Row(y) + 50, expected.Row(y))) << c.x << "," << c.y << " row " << y;
    }
  }
}

// Header failures: LoadFromStream already raises.
TEST(JpegImageHeaderFails, GarbageAndEmptyDataAreNotJpeg) {
  JpegImage image;
  EXPECT_EQ(JpegErrorCode([&] { Load(image, std::vector<uint8_t>(64, 0x55)); }), JERR_NO_SOI);
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(JpegErrorCode([&] { Load(image, {}); }), JERR_NO_SOI);
  EXPECT_EQ(JpegErrorCode([&] { Load(image, {0xFF, 0xD8}); }), JERR_NO_IMAGE);
}

TEST(JpegImageHeaderFails, ZeroSidedFrameIsEmpty) {
  std::vector<uint8_t> jpeg = MakeSolidJpeg({}, kRed);
  PatchFrameSize(jpeg, 16, 0);
  JpegImage image;
  EXPECT_EQ(JpegErrorCode([&] { Load(image, jpeg); }), JERR_EMPTY_IMAGE);
}

// Frame failures: the header reads, the decode is refused or fails.
TEST(JpegImageFrameFails, HugeHeaderIsRefusedBeforeDecoding) {
  std::vector<uint8_t> jpeg = MakeSolidJpeg({}, kRed);
  PatchFrameSize(jpeg, 20000, 20000);
  JpegImage image;
  Load(image, jpeg);
  EXPECT_EQ(image.Width(), 20000);
  Bitmap bitmap(5, 5);
  EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_IMAGE_TOO_BIG);
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Height(), 5);
}

TEST(JpegImageFrameFails, SideLimitIsInclusive) {
  std::vector<uint8_t> jpeg = MakeSolidJpeg({}, kRed);
  JpegImage image;
  Bitmap bitmap;
  PatchFrameSize(jpeg, kMaxImageSide + 1, 8);
  Load(image, jpeg);
  EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_IMAGE_TOO_BIG);
  PatchFrameSize(jpeg, kMaxImageSide, 8);
  Load(image, jpeg);
  EXPECT_NO_THROW(image.AssignTo(bitmap));
  EXPECT_EQ(bitmap.Width(), kMaxImageSide);
}

TEST(JpegImageFrameFails, SetMaxSizeRefusesLargerPictures) {
  JpegImage image;
  image.SetMaxSize(16, 16);
  Bitmap bitmap;
  Load(image, MakeSolidJpeg({.width = 16, .height = 16}, kRed));
  EXPECT_NO_THROW(image.AssignTo(bitmap));
  Load(image, MakeSolidJpeg({.width = 17, .height = 8}, kRed));
  EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_IMAGE_TOO_BIG);
  Load(image, MakeSolidJpeg({.width = 8, .height = 17}, kRed));
  EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_IMAGE_TOO_BIG);
  EXPECT_EQ(bitmap.Width(), 16);
}

TEST(JpegImageFrameFails, CmykIsRefused) {
  JpegImage image;
  Load(image, MakeSolidJpeg({.color = JpegColor::Cmyk}, 0x102030));
  Bitmap bitmap;
  EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_CONVERSION_NOTIMPL);
  EXPECT_TRUE(bitmap.IsEmpty());
}

TEST(JpegImageFrameFails, EndlessScansAreCut) {
  JpegImage image;
  Load(image, MakeSolidJpeg({.scans = JpegScans::Exhaustive}, kRed));
  Bitmap bitmap;
  EXPECT_EQ(JpegErrorCode([&] { image.AssignTo(bitmap); }), JERR_IMAGE_TOO_BIG);
}

TEST(JpegImageFrameFails, ProgressivePictureBeyondTheMemoryBudgetFails) {
  // The coefficients of a 16384 x 16384 progressive picture need more than
  // a gigabyte; the decode fails before the bitmap is sized.
  std::vector<uint8_t> jpeg = MakeSolidJpeg({.scans = JpegScans::Progressive}, kRed);
  PatchFrameSize(jpeg, kMaxImageSide, kMaxImageSide);
  JpegImage image;
  Load(image, jpeg);
  Bitmap bitmap;
  EXPECT_GT(JpegErrorCode([&] { image.AssignTo(bitmap); }), 0);
  EXPECT_TRUE(bitmap.IsEmpty());
}

}  // namespace
}  // namespace sp
