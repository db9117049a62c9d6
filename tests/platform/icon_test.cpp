#include "platform/icon.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/stream.h"
#include "tests/platform/ico_writer.h"

namespace sp {
namespace {

MemoryStream StreamOf(const std::vector<uint8_t>& bytes) {
  MemoryStream s;
  s.Write(bytes.data(), bytes.size());
  s.Seek(0, SeekOrigin::Begin);
  return s;
}

Icon Load(const test::IcoPicture& pic) {
  MemoryStream s = StreamOf(test::WriteIco(pic));
  Icon icon;
  icon.LoadFromStream(s);
  return icon;
}

// A 4-colour checker on 4 x 4 cells, a distinct mask pattern, so that a
// mirrored, shifted or mis-scaled read shows.
uint32_t Cell(int x, int y) { return static_cast<uint32_t>((x / 4 + 2 * (y / 4)) % 4); }
bool MaskPattern(int x, int y) { return (x + 3 * y) % 7 == 0; }
const std::vector<Pixel> kPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};  // as RGBQUAD B,G,R
Pixel Expected(int x, int y) {
  // The RGBQUAD 0x00RRGGBB read as a little-endian word is already a Pixel.
  return kPalette[Cell(x, y)];
}

void ExpectChecker(const Icon& icon) {
  ASSERT_FALSE(icon.IsEmpty());
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      ASSERT_EQ(icon.ColorAt(x, y), Expected(x, y)) << x << "," << y;
      ASSERT_EQ(icon.MaskAt(x, y), MaskPattern(x, y)) << x << "," << y;
    }
}

TEST(IconLoad, ReadsPaletteImagesOfOneFourAndEightBits) {
  for (int bits : {4, 8}) {
    test::IcoPicture pic;
    pic.bitCount = bits;
    pic.palette = kPalette;
    pic.value = Cell;
    pic.mask = MaskPattern;
    SCOPED_TRACE(bits);
    ExpectChecker(Load(pic));
  }
  // 1 bit: two colours, width 20 so rows need padding (3 bytes to 4).
  test::IcoPicture pic;
  pic.bitCount = 1;
  pic.width = 20;
  pic.height = 20;
  pic.palette = {0x000000, 0xFFFFFF};
  pic.value = [](int x, int y) { return static_cast<uint32_t>((x + y) % 2); };
  pic.mask = [](int x, int) { return x == 19; };
  Icon icon = Load(pic);
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      int sx = x * 20 / 32, sy = y * 20 / 32;
      ASSERT_EQ(icon.ColorAt(x, y), (sx + sy) % 2 ? 0xFFFFFFu : 0u) << x << "," << y;
      ASSERT_EQ(icon.MaskAt(x, y), sx == 19);
    }
}

TEST(IconLoad, ReadsTrueColourImagesAndIgnoresAlphaWhenAMaskIsThere) {
  for (int bits : {24, 32}) {
    test::IcoPicture pic;
    pic.bitCount = bits;
    pic.value = [](int x, int y) { return 0x7F000000u | kPalette[Cell(x, y)]; };
    pic.mask = MaskPattern;
    SCOPED_TRACE(bits);
    ExpectChecker(Load(pic));
  }
}

TEST(IconLoad, ThirtyTwoBitsWithoutMaskTakesTransparencyFromAlpha) {
  test::IcoPicture pic;
  pic.bitCount = 32;
  pic.withMask = false;
  pic.value = [](int x, int) { return x < 16 ? 0xFF123456u : 0x00ABCDEFu; };
  Icon icon = Load(pic);
  EXPECT_EQ(icon.ColorAt(3, 3), 0x123456u);
  EXPECT_FALSE(icon.MaskAt(3, 3));
  EXPECT_EQ(icon.ColorAt(20, 3), 0u);
  EXPECT_TRUE(icon.MaskAt(20, 3));
}

TEST(IconLoad, SixteenPixelIconIsScaledByNearestPixel) {
  test::IcoPicture pic;
  pic.width = pic.height = 16;
  pic.bitCount = 24;
  pic.value = [](int x, int y) { return static_cast<uint32_t>(y << 8 | x); };
  pic.mask = [](int x, int y) { return x == 0 && y == 15; };
  Icon icon = Load(pic);
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      ASSERT_EQ(icon.ColorAt(x, y), static_cast<Pixel>((y / 2) << 8 | x / 2));
      ASSERT_EQ(icon.MaskAt(x, y), x < 2 && y >= 30);
    }
}

TEST(IconLoad, ReadsFromTheStreamPosition) {
  test::IcoPicture pic;
  pic.bitCount = 8;
  pic.palette = kPalette;
  pic.value = Cell;
  pic.mask = MaskPattern;
  std::vector<uint8_t> bytes(7, 0xEE);
  auto ico = test::WriteIco(pic);
  bytes.insert(bytes.end(), ico.begin(), ico.end());
  MemoryStream s = StreamOf(bytes);
  s.Seek(7, SeekOrigin::Begin);
  Icon icon;
  icon.LoadFromStream(s);
  ExpectChecker(icon);
}

// Loads bytes into an icon that already holds the checker; the load must
// fail with the given error and keep the picture.
template <typename ErrorType>
void ExpectRejected(const std::vector<uint8_t>& bytes) {
  test::IcoPicture pic;
  pic.palette = kPalette;
  pic.value = Cell;
  pic.mask = MaskPattern;
  Icon icon = Load(pic);
  MemoryStream s = StreamOf(bytes);
  EXPECT_THROW(icon.LoadFromStream(s), ErrorType);
  ExpectChecker(icon);
}

std::vector<uint8_t> GoodIco() {
  test::IcoPicture pic;
  pic.palette = kPalette;
  pic.value = Cell;
  pic.mask = MaskPattern;
  return test::WriteIco(pic);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(IconRejectsDirectory, BadHeadersAndEntries) {
  ExpectRejected<StreamReadError>({});
  ExpectRejected<StreamReadError>({0, 0, 1, 0});
  auto b = GoodIco();
  b[2] = 2;  // cursor file type
  ExpectRejected<InvalidIconError>(b);
  b = GoodIco();
  b[4] = 0;  // no entries
  ExpectRejected<InvalidIconError>(b);
  b = GoodIco();
  b[0] = 1;  // reserved word
  ExpectRejected<InvalidIconError>(b);
  b = GoodIco();
  b.resize(12);  // entry cut off
  ExpectRejected<InvalidIconError>(b);
  b = GoodIco();
  Put32(b, 18, static_cast<uint32_t>(b.size()));  // image offset at the very end
  ExpectRejected<InvalidIconError>(b);
  b = GoodIco();
  Put32(b, 18, 0xFFFFFFF0u);
  ExpectRejected<InvalidIconError>(b);
}

TEST(IconRejectsImage, TruncatedPngAndMalformedDibs) {
  auto good = GoodIco();
  // Cut anywhere inside the image, including inside the AND mask.
  for (size_t cut : {size_t{22}, size_t{30}, size_t{62}, size_t{200}, good.size() - 1}) {
    auto b = good;
    b.resize(cut);
    SCOPED_TRACE(cut);
    ExpectRejected<InvalidIconError>(b);
  }
  auto b = good;
  const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::copy(png, png + 8, b.begin() + 22);
  ExpectRejected<InvalidIconError>(b);

  auto patched = [&](size_t at, uint32_t v) {
    auto c = good;
    Put32(c, 22 + at, v);
    return c;
  };
  ExpectRejected<InvalidIconError>(patched(0, 12));           // core header
  ExpectRejected<InvalidIconError>(patched(0, 0x7FFFFFFF));   // header past the end
  ExpectRejected<InvalidIconError>(patched(4, 0));            // zero width
  ExpectRejected<InvalidIconError>(patched(4, 0x80000000u));  // negative width
  ExpectRejected<InvalidIconError>(patched(4, 0x7FFFFFFF));   // rows beyond the data
  ExpectRejected<InvalidIconError>(patched(8, 0x7FFFFFFE));
  ExpectRejected<InvalidIconError>(patched(8, 0xFFFFFFC0u));  // top-down height
  ExpectRejected<InvalidIconError>(patched(12, 16u << 16 | 1));  // 16 bits per pixel
  ExpectRejected<InvalidIconError>(patched(16, 1));           // RLE compression
  ExpectRejected<InvalidIconError>(patched(32, 0xFFFFFFFF));  // palette beyond the data

  // Garbage after a valid directory.
  std::vector<uint8_t> garbage(good.begin(), good.begin() + 22);
  for (int i = 0; i < 300; ++i) garbage.push_back(static_cast<uint8_t>(i * 37 + 11));
  ExpectRejected<InvalidIconError>(garbage);
}

TEST(IconRejectsImage, EverySingleByteDamageLoadsOrRaises) {
  // Each byte of every header field and some of the pixel data, set to
  // values that hit signs, zero and size limits; run under the sanitizers
  // this is where an unchecked offset shows.
  auto good = GoodIco();
  for (size_t at = 0; at < good.size(); at += at < 120 ? 1 : 37) {
    for (uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      auto b = good;
      b[at] = v;
      MemoryStream s = StreamOf(b);
      Icon icon;
      try {
        icon.LoadFromStream(s);
      } catch (const InvalidIconError&) {
        EXPECT_TRUE(icon.IsEmpty());
      }
    }
  }
}

TEST(IconDeferredLoad, DecodesOnFirstUseAndFailsThereOnce) {
  // A good picture taken without decoding reads the same once used.
  MemoryStream good = StreamOf(GoodIco());
  Icon icon;
  icon.LoadFromStreamDeferred(good);
  EXPECT_FALSE(icon.IsEmpty());
  EXPECT_EQ(icon.Width(), kIconSize);
  icon.Decode();
  ExpectChecker(icon);

  // A damaged one is taken without a word and fails where it is used; the
  // icon is then empty, and a later use draws nothing and raises nothing.
  auto bad = GoodIco();
  bad[2] = 2;
  MemoryStream s = StreamOf(bad);
  icon.LoadFromStreamDeferred(s);
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_FALSE(icon.IsEmpty());
  EXPECT_THROW(icon.Decode(), InvalidIconError);
  EXPECT_TRUE(icon.IsEmpty());
  EXPECT_NO_THROW(icon.Decode());
}

}  // namespace
}  // namespace sp
