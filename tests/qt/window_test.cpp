// The player's window on a real X server without a window manager: where
// it appears, what it shows, how the full-screen command changes it. One
// suite for both stubs: each test program names its stub and that stub's
// tolerances in the header SELFPLAY_WINDOW_BACKEND (qt_window_backend.h,
// wine_window_backend.h).
#include <gtest/gtest.h>

#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include SELFPLAY_WINDOW_BACKEND

namespace sp::qt_test {
namespace {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
// Where a 320 x 240 recording sits, centred on the 1024 x 768 screen.
constexpr int kLeft = (kScreenWidth - kFrameWidth) / 2;
constexpr int kTop = (kScreenHeight - kFrameHeight) / 2;
constexpr int kHalfWidth = kScreenWidth / 2;
constexpr int kHalfHeight = kScreenHeight / 2;

// Our own decoder is a fair reference here: this test checks what the
// window presents, and the decoder's output is pinned separately against
// libjpeg-turbo's djpeg (tests/media/jpeg_reference_test.cpp); the Windows
// build's decoder against the same pixels (tests/win/jpeg_parity_test.cpp).
std::unique_ptr<Bitmap> DecodeKeyFrame(const recorder::Recording& recording) {
  MemoryStream stream;
  stream.Write(recording.keyFrame.data(), recording.keyFrame.size());
  stream.Seek(0, SeekOrigin::Begin);
  JpegImage jpeg;
  jpeg.LoadFromStream(stream);
  auto decoded = std::make_unique<Bitmap>();
  jpeg.AssignTo(*decoded);
  return decoded;
}

recorder::Recording PatternRecording() {
  Bitmap key(kFrameWidth, kFrameHeight);
  recorder::FillTestPattern(key, 3);
  recorder::RecordingBuilder builder(key);
  builder.NoCursor();
  return builder.Build();  // frame 0 only: it stays until the window is closed
}

using PlayerWindowTest = WindowBackendTest;

TEST_F(PlayerWindowTest, FrameZeroIsCentredOnAWhiteBorderlessWindowOverTheWholeScreen) {
  const recorder::Recording recording = PatternRecording();
  const auto expected = DecodeKeyFrame(recording);
  LaunchStub(recording);
  const std::string window = MainWindow();
  ASSERT_FALSE(window.empty());
  const auto g = x_->Geometry(window);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->x, 0);
  EXPECT_EQ(g->y, 0);
  EXPECT_EQ(g->width, kScreenWidth);
  EXPECT_EQ(g->height, kScreenHeight);
  EXPECT_EQ(x_->WindowName(window), "PlayForm");

  // The picture is the platform decoder's output, pixel for pixel.
  std::optional<Screenshot> shot;
  int mismatches = -1;
  WaitFor(
      [&] {
        shot = x_->Capture();
        if (!shot) return false;
        mismatches = 0;
        for (int y = 0; y < kFrameHeight; ++y) {
          for (int x = 0; x < kFrameWidth; ++x) {
            if (shot->At(kLeft + x, kTop + y) != expected->At(x, y)) ++mismatches;
          }
        }
        return mismatches == 0;
      },
      30s);
  EXPECT_EQ(mismatches, 0);
  ASSERT_TRUE(shot);
  for (int x = 0; x < kScreenWidth; x += 37) {
    EXPECT_EQ(shot->At(x, 0), kWhitePixel);
    EXPECT_EQ(shot->At(x, kScreenHeight - 1), kWhitePixel);
  }
  EXPECT_EQ(shot->At(kLeft - 1, kTop + 10), kWhitePixel);
  EXPECT_EQ(shot->At(kLeft + kFrameWidth, kTop + 10), kWhitePixel);
  EXPECT_EQ(shot->At(kLeft + 10, kTop + kFrameHeight), kWhitePixel);

  // Alt+F4, the system's close command, ends the program normally.
  x_->Xdotool({"mousemove", "500", "400"});
  x_->Keys({"alt+F4"});
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(PlayerWindowTest, FullScreenOffGivesAHalfScreenWindowAndOnGivesTheScreenBack) {
  const recorder::Recording recording = PatternRecording();
  const auto expected = DecodeKeyFrame(recording);
  const uint32_t centre = expected->At(kFrameWidth / 2, kFrameHeight / 2);
  LaunchStub(recording);
  ASSERT_FALSE(MainWindow().empty());
  ASSERT_TRUE(WaitForPixel(kLeft + kFrameWidth / 2, kTop + kFrameHeight / 2, centre, 30s, 0));

  ASSERT_TRUE(OpenMenu(10, 10));
  x_->Keys({"Down", "Return"});  // "全屏幕"
  std::optional<WindowGeometry> g;
  const bool halved = WaitFor(
      [&] {
        const auto windows = x_->VisibleWindows(player_->Pid());
        g = windows.empty() ? std::nullopt : x_->Geometry(windows.front());
        // A stub may show the new window at a default size first and size
        // it a moment later: only a half-screen client area, in a frame of
        // the system's where it draws one, counts.
        return g && g->width >= kHalfWidth && g->width <= kHalfWidth + kFrameSlackWidth &&
               g->height >= kHalfHeight && g->height <= kHalfHeight + kFrameSlackHeight;
      },
      30s);
  ASSERT_TRUE(halved) << (g ? std::to_string(g->width) + "x" + std::to_string(g->height) : "none");
  const std::string windowed = x_->VisibleWindows(player_->Pid()).front();
  EXPECT_EQ(x_->WindowName(windowed), "PlayForm");
  // The window at the form's normal position; the client area inside the
  // frame (equal sides and bottom, the caption on top).
  EXPECT_EQ(g->x, 197);
  EXPECT_EQ(g->y, 196);
  const int border = (g->width - kHalfWidth) / 2;
  const int clientLeft = g->x + border;
  const int clientTop = g->y + g->height - kHalfHeight - border;
  // The picture re-laid in the smaller window.
  EXPECT_TRUE(WaitForPixel(clientLeft + (kHalfWidth - kFrameWidth) / 2 + kFrameWidth / 2,
                           clientTop + (kHalfHeight - kFrameHeight) / 2 + kFrameHeight / 2, centre,
                           30s, 0));
  EXPECT_TRUE(WaitForPixel(clientLeft + 5, clientTop + 5, kWhitePixel, 30s, 0));

  ASSERT_TRUE(OpenMenu(clientLeft + 10, clientTop + 10));
  x_->Keys({"Down", "Return"});
  const bool whole = WaitFor(
      [&] {
        const auto windows = x_->VisibleWindows(player_->Pid());
        g = windows.empty() ? std::nullopt : x_->Geometry(windows.front());
        return g && g->x == 0 && g->y == 0 && g->width == kScreenWidth &&
               g->height == kScreenHeight;
      },
      30s);
  EXPECT_TRUE(whole);
  EXPECT_TRUE(WaitForPixel(kLeft + kFrameWidth / 2, kTop + kFrameHeight / 2, centre, 30s, 0));

  ASSERT_TRUE(OpenMenu(10, 10));
  x_->Keys({"Up", "Return"});  // "退出"
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code));
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace sp::qt_test
