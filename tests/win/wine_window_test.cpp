// selfplay.exe under Wine on an X server of its own, driven as a user
// would: the cursor and blocks, the menu, the click on the picture, the
// sound file and device, the end, and the error box. Where the window
// appears, what it shows and the full-screen command are the window suite
// both stubs share (tests/qt/window_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/win/wine_fixture.h"

namespace sp::win_test {
namespace {

using qt_test::kScreenHeight;
using qt_test::kScreenWidth;
using qt_test::WaitFor;

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
constexpr int kLeft = (kScreenWidth - kFrameWidth) / 2;
constexpr int kTop = (kScreenHeight - kFrameHeight) / 2;

using WineWindowTest = WinePlayerTest;

TEST_F(WineWindowTest, CursorIsDrawnBlocksAreCompositedAndTheLastFrameEndsTheProgram) {
  constexpr Pixel kGrey = 0x808080;
  constexpr Pixel kRed = 0xE02020;
  recorder::RecordingBuilder builder(*Solid(kFrameWidth, kFrameHeight, kGrey));
  // Frame 1 shows for three seconds; frame 2 ends the recording.
  builder.Interval(3000).FirstCursor(40, 40);
  Bitmap next(kFrameWidth, kFrameHeight);
  recorder::FillRect(next, next.Bounds(), kGrey);
  recorder::FillRect(next, {200, 100, 280, 160}, kRed);
  builder.AddFrame(next, recorder::CursorPosition{40, 40});
  builder.AddFrame(next, recorder::CursorPosition{40, 40});
  LaunchWine(builder.Build());
  ASSERT_FALSE(MainWindow().empty());
  ASSERT_TRUE(WaitForPixel(kLeft + 10, kTop + 10, kGrey, 15s));

  // The arrow's black outline and white inside, over the grey frame.
  bool sawBlack = false;
  bool sawWhite = false;
  WaitFor(
      [&] {
        const auto shot = x_->Capture();
        if (!shot) return false;
        for (int y = 0; y < 32; ++y) {
          for (int x = 0; x < 32; ++x) {
            const uint32_t p = shot->At(kLeft + 40 + x, kTop + 40 + y);
            sawBlack |= ChannelDistance(p, 0x000000) <= 12;
            sawWhite |= ChannelDistance(p, 0xFFFFFF) <= 12;
          }
        }
        return sawBlack && sawWhite;
      },
      10s);
  EXPECT_TRUE(sawBlack && sawWhite) << "no cursor drawn";
  // Frame 1's block, pasted into the frame.
  EXPECT_TRUE(WaitForPixel(kLeft + 240, kTop + 130, kRed, 15s));
  EXPECT_TRUE(WaitForPixel(kLeft + 100, kTop + 130, kGrey, 1s));
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 30s));
  EXPECT_EQ(code, 0);
}

constexpr int kMenuFrameWidth = 640;
constexpr int kMenuFrameHeight = 480;
constexpr int kCentreX = kScreenWidth / 2;
constexpr int kCentreY = kScreenHeight / 2;
constexpr Pixel kColours[] = {0xE02020, 0x20C020, 0x2040E0, 0xE0E020,
                              0x20E0E0, 0xE020E0, 0x808080, 0xF0A040};

// Frame k is one solid colour; the cursor stays in a corner.
recorder::Recording ColourRecording(int frames, int interval) {
  recorder::RecordingBuilder builder(*Solid(kMenuFrameWidth, kMenuFrameHeight, kColours[0]));
  builder.Interval(interval).FirstCursor(0, 0);
  for (int k = 1; k < frames; ++k) {
    builder.AddFrame(*Solid(kMenuFrameWidth, kMenuFrameHeight, kColours[k]));
  }
  return builder.Build();
}

using WineMenuTest = WinePlayerTest;

TEST_F(WineMenuTest, LoopChosenWhilePlayingRestartsTheRecordingAtItsEnd) {
  LaunchWine(ColourRecording(4, 1500));
  const std::string main = MainWindow();
  ASSERT_FALSE(main.empty());
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[0], 15s));

  ASSERT_TRUE(OpenMenu(10, 10));
  // Ticks go on inside the menu's loop.
  EXPECT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[1], 10s));
  EXPECT_EQ(x_->VisibleWindows(player_->Pid()).size(), 2u) << "the menu closed by itself";
  x_->Keys({"Down", "Down", "Down", "Return"});  // "循环播放"

  // The last frame starts the next playback in the same tick, so after
  // frame 2 the next picture seen is frame 0 again.
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[2], 15s));
  EXPECT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[0], 10s)) << "no restart after the end";
  EXPECT_TRUE(player_->Running());
  EXPECT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[1], 10s));

  ASSERT_TRUE(OpenMenu(10, 10));
  x_->Keys({"Up", "Return"});  // "退出"
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 20s));
  EXPECT_EQ(code, 0);
}

TEST_F(WineMenuTest, ClickOnThePictureHoldsTheFrameAndASecondClickResumes) {
  LaunchWine(ColourRecording(8, 1000));
  const std::string window = MainWindow();
  ASSERT_FALSE(window.empty());
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[1], 15s));
  x_->Click(kCentreX, kCentreY, 1);

  // Once the click has landed, the frame stays for several intervals.
  std::this_thread::sleep_for(1500ms);
  const uint32_t held = PixelAt(kCentreX, kCentreY);
  ASSERT_TRUE(std::any_of(std::begin(kColours), std::end(kColours),
                          [&](Pixel c) { return ChannelDistance(c, held) <= 12; }))
      << std::hex << held << " is no frame's colour";
  const std::string title = x_->WindowName(window);
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(ChannelDistance(PixelAt(kCentreX, kCentreY), held), 0);
  }
  EXPECT_EQ(x_->WindowName(window), title);
  EXPECT_TRUE(player_->Running());

  x_->Click(kCentreX, kCentreY, 1);
  uint32_t now = held;
  EXPECT_TRUE(WaitFor(
      [&] {
        now = PixelAt(kCentreX, kCentreY);
        return ChannelDistance(now, held) > 40;
      },
      10s))
      << std::hex << "held " << held << ", now " << now;
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 30s));
  EXPECT_EQ(code, 0);
}

using WineSoundTest = WinePlayerTest;

TEST_F(WineSoundTest, SoundFileIsTheRecordedWavAndTheDevicePlaysIt) {
  // ALSA's default device writes what it is given to a file, so that the
  // test sees the waveaudio device play.
  const std::string home = workDir_ + "/home";
  const std::string played = workDir_ + "/played.raw";
  std::filesystem::create_directory(home);
  std::ofstream(home + "/.asoundrc") << "pcm.!default { type file slave.pcm \"null\" file \""
                                     << played << "\" format \"raw\" }\n";
  const std::vector<uint8_t> wav = recorder::ToneWav(1.0, 7);
  recorder::RecordingBuilder builder(*Solid(200, 150, 0x808080));
  builder.Interval(1000).Sound(wav);
  for (int k = 1; k < 4; ++k) builder.AddFrame(*Solid(200, 150, 0x202020 * k));
  // A name in Chinese: the player finds its own file through UTF-16 paths.
  LaunchWine(builder.Build(), "录像 Player.exe", {{"SELFPLAY_WINE_HOME", home}});
  const std::string main = MainWindow();
  ASSERT_FALSE(main.empty());
  // No box tells of a failed open or play.
  EXPECT_TRUE(WaitForSecondWindow(main, 2s).empty());
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 30s));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadAll(WindowsTempDir() + "/vexa.wav"), wav);
  EXPECT_GT(ReadAll(played).size(), 1000u) << "nothing reached the sound device";
}

using WineErrorTest = WinePlayerTest;

TEST_F(WineErrorTest, DamagedRecordingShowsTheErrorBoxWithTheStopIconAndTheTitle) {
  recorder::RecordingBuilder builder(*Solid(kFrameWidth, kFrameHeight, 0x808080));
  builder.Interval(1000).NoCursor();
  Bitmap next(kFrameWidth, kFrameHeight);
  recorder::FillTestPattern(next, 9);
  builder.AddFrame(next);
  builder.AddFrame(*Solid(kFrameWidth, kFrameHeight, 0x404040));
  recorder::Recording recording = builder.Build();
  // Frame 1's block claims more bytes than the file holds.
  std::vector<uint8_t> file = recorder::MakeSelfPlaying(ReadAll(SELFPLAY_STUB), recording);
  file.resize(file.size() - recording.frames.back().blocks.back().jpeg.size() - 40);
  const std::string exe = workDir_ + "/DAMAGED.EXE";
  ASSERT_TRUE(recorder::WriteFile(exe, file));
  const std::string script = workDir_ + "/run-under-wine";
  std::ofstream(script) << "#!/bin/sh\nexec '" << SELFPLAY_WINE_RUN << "' '" << exe << "'\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  Launch(script);

  const std::string main = MainWindow();
  ASSERT_FALSE(main.empty());
  const std::string box = WaitForSecondWindow(main, 20s);
  ASSERT_FALSE(box.empty()) << "no error box";
  // The title rule: the file name without its path, cut at its first full
  // stop, letters after the first in lower case.
  EXPECT_EQ(x_->WindowName(box), "Damaged");
  // The stop icon: a red disc.
  int red = 0;
  WaitFor(
      [&] {
        const auto g = x_->Geometry(box);
        const auto shot = x_->Capture();
        if (!g || !shot) return false;
        red = 0;
        for (int y = std::max(g->y, 0); y < std::min(g->y + g->height, shot->height); ++y) {
          for (int x = std::max(g->x, 0); x < std::min(g->x + g->width, shot->width); ++x) {
            const uint32_t p = shot->At(x, y);
            if ((p >> 16) > 0xB0 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60) ++red;
          }
        }
        return red > 50;
      },
      10s);
  EXPECT_GT(red, 50) << "no stop icon";
}

}  // namespace
}  // namespace sp::win_test
