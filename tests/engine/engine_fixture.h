#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/play_form.h"
#include "platform/bitmap.h"
#include "platform/icon.h"
#include "app/headless/headless_player.h"
#include "platform/headless/headless_system.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace sp::testing {

// A private directory per test, holding the self-playing file and serving
// as the temporary directory.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "engine-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    exePath = (dir / "LESSON1.EXE").string();
    SetUpSystem();
  }

  void SetUpSystem() {
    system.SetTempPath(dir.string());
    system.SetScreenSize(1024, 768);
    system.SetExecutablePath(exePath);
  }

  // A new back end with nothing recorded, for one more case in a loop.
  void FreshSystem() {
    player.reset();
    system = HeadlessSystem();
    SetUpSystem();
  }

  void TearDown() override {
    player.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  void Write(const recorder::Recording& recording,
             std::vector<recorder::ItemMark>* marks = nullptr) {
    fileBytes = recorder::MakeSelfPlaying(recorder::ZeroStub(), recording, marks);
    ASSERT_TRUE(recorder::WriteFile(exePath, fileBytes));
  }

  void WriteBytes(const std::vector<uint8_t>& bytes) {
    fileBytes = bytes;
    ASSERT_TRUE(recorder::WriteFile(exePath, fileBytes));
  }

  TPlayForm& Play(const recorder::Recording& recording, ShowPlayer show = ShowPlayer::kNow) {
    Write(recording);
    return Start(show);
  }

  TPlayForm& Start(ShowPlayer show = ShowPlayer::kNow) {
    player.reset();
    player = std::make_unique<HeadlessPlayer>(system, show);
    EXPECT_TRUE(player->Created());
    return player->GetForm();
  }

  const Bitmap& Picture() const { return player->Picture(); }

  void Ticks(int n) {
    for (int i = 0; i < n; ++i) system.Tick();
  }

  std::vector<std::string> Messages() const { return system.MessageTexts(); }

  std::filesystem::path dir;
  std::string exePath;
  std::vector<uint8_t> fileBytes;
  HeadlessSystem system;
  std::unique_ptr<HeadlessPlayer> player;
};

// What the player decodes a JPEG item into. Engine tests compare the
// picture with this, and composite their expectations with Canvas: a fair
// reference here, because these tests check where and when pictures are
// placed, not how they are decoded or blitted, and both of those are pinned
// on their own against references that do not come from our code: the
// decoder against libjpeg-turbo's djpeg output (tests/media/
// jpeg_reference_test.cpp, and through the player in
// described_values_test.cpp), the blits and the icon draw against the
// copy, stretch and AND/XOR rules worked out by hand (tests/platform/).
inline void Decode(const std::vector<uint8_t>& jpeg, Bitmap& out) {
  MemoryStream bytes;
  bytes.Write(jpeg.data(), jpeg.size());
  bytes.Seek(0, SeekOrigin::Begin);
  JpegImage image;
  image.LoadFromStream(bytes);
  image.AssignTo(out);
}

// The rectangle r of `picture` equals `expected` placed at (left, top).
inline ::testing::AssertionResult SamePixels(const Bitmap& picture, int left, int top,
                                             const Bitmap& expected) {
  for (int y = 0; y < expected.Height(); ++y) {
    for (int x = 0; x < expected.Width(); ++x) {
      int px = left + x;
      int py = top + y;
      if (px < 0 || py < 0 || px >= picture.Width() || py >= picture.Height()) continue;
      if (picture.At(px, py) != expected.At(x, y)) {
        return ::testing::AssertionFailure()
               << "pixel (" << px << ", " << py << ") is " << std::hex << picture.At(px, py)
               << ", expected " << expected.At(x, y);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult SameBitmap(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    return ::testing::AssertionFailure() << a.Width() << "x" << a.Height() << " against "
                                         << b.Width() << "x" << b.Height();
  }
  return SamePixels(a, 0, 0, b);
}

// 96 x 64, a frame every tick, four frames: frame 0 a test pattern, then a
// band of colour * k at y = 12 k in frame k, the cursor one pixel further
// down and right each frame from (x, y).
inline recorder::Recording FourBandFrames(uint32_t seed, Pixel colour, int x, int y) {
  Bitmap picture(96, 64);
  recorder::FillTestPattern(picture, seed);
  recorder::RecordingBuilder builder(picture);
  builder.Interval(40).FirstCursor(x, y);
  for (int k = 1; k <= 3; ++k) {
    recorder::FillRect(picture, {0, k * 12, 96, k * 12 + 10}, colour * k);
    builder.AddFrame(picture, recorder::CursorPosition{x + k, y + k});
  }
  return builder.Build();
}

// Where the recorder wrote `item` ("key frame", "frame 2: block 0", ...).
inline int64_t OffsetOf(const std::vector<recorder::ItemMark>& marks, const std::string& item) {
  for (const recorder::ItemMark& mark : marks) {
    if (mark.item == item) return mark.offset;
  }
  ADD_FAILURE() << "no item " << item;
  return 0;
}

inline void LoadIcon(const std::vector<uint8_t>& file, Icon& icon) {
  MemoryStream bytes;
  bytes.Write(file.data(), file.size());
  bytes.Seek(0, SeekOrigin::Begin);
  icon.LoadFromStream(bytes);
}

}  // namespace sp::testing
