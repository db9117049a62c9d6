// The popup menu and the click on the picture, driven as a user would:
// right click, arrow keys, Return, left click.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "recorder/recording_builder.h"
#include "tests/qt/player_fixture.h"

namespace sp::qt_test {
namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
// The picture's centre on the screen, clear of a menu opened near (10, 10).
constexpr int kCentreX = kScreenWidth / 2;
constexpr int kCentreY = kScreenHeight / 2;

constexpr Pixel kColours[] = {0xE02020, 0x20C020, 0x2040E0, 0xE0E020,
                              0x20E0E0, 0xE020E0, 0x808080, 0xF0A040};

// Frame k is one solid colour; the cursor stays in a corner.
recorder::Recording ColourRecording(int frames, int interval) {
  recorder::RecordingBuilder builder(*Solid(kFrameWidth, kFrameHeight, kColours[0]));
  builder.Interval(interval).FirstCursor(0, 0);
  for (int k = 1; k < frames; ++k) builder.AddFrame(*Solid(kFrameWidth, kFrameHeight, kColours[k]));
  return builder.Build();
}

using PlayerMenuTest = PlayerTest;

TEST_F(PlayerMenuTest, LoopChosenWhilePlayingRestartsTheRecordingAtItsEnd) {
  // Frames of two seconds, so that each one waited for stays long enough to
  // be seen on a slow machine.
  Launch(WritePlayer(ColourRecording(4, 2000)));
  ASSERT_FALSE(MainWindow().empty());
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[0], 30s));

  ASSERT_TRUE(OpenMenu(10, 10));
  // Ticks go on while the menu is open.
  EXPECT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[1], 30s));
  EXPECT_EQ(x_->VisibleWindows(player_->Pid()).size(), 2u) << "the menu closed by itself";
  x_->Keys({"Down", "Down", "Down", "Return"});  // "循环播放"

  // The last frame starts the next playback in the same tick, so after
  // frame 2 the next picture seen is frame 0 again.
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[2], 30s));
  EXPECT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[0], 30s)) << "no restart after the end";
  EXPECT_TRUE(player_->Running());
  EXPECT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[1], 30s));

  ASSERT_TRUE(OpenMenu(10, 10));
  x_->Keys({"Up", "Return"});  // "退出"
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(PlayerMenuTest, TheEndWhileTheMenuIsOpenEndsTheProgram) {
  Launch(WritePlayer(ColourRecording(3, 2500)));
  ASSERT_FALSE(MainWindow().empty());
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[0], 30s));
  ASSERT_TRUE(OpenMenu(10, 10));
  // The last frame comes about five seconds after frame 0, inside the
  // menu's loop; the menu closes with the program.
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 60s)) << "the end left the program running behind its menu";
  EXPECT_EQ(code, 0);
}

TEST_F(PlayerMenuTest, ClickOnThePicturePausesItAndASecondClickResumes) {
  // Frames of two seconds: nothing here depends on catching one frame, and
  // a slow machine still clicks well before the end.
  constexpr int kInterval = 2000;
  Launch(WritePlayer(ColourRecording(8, kInterval)));
  const std::string window = MainWindow();
  ASSERT_FALSE(window.empty());
  auto isFrame = [](uint32_t p) {
    return std::any_of(std::begin(kColours), std::end(kColours),
                       [&](Pixel c) { return ChannelDistance(c, p) <= 12; });
  };
  ASSERT_TRUE(WaitFor([&] { return isFrame(PixelAt(kCentreX, kCentreY)); }, 30s));
  x_->Click(kCentreX, kCentreY, 1);

  // Once the click has been handled, the frame shown stays for well over
  // an interval. The click is handled when the picture has held still for
  // a whole interval; a playing picture changes within one.
  uint32_t held = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        held = PixelAt(kCentreX, kCentreY);
        std::this_thread::sleep_for(std::chrono::milliseconds(kInterval + 500));
        return PixelAt(kCentreX, kCentreY) == held;
      },
      30s));
  ASSERT_TRUE(isFrame(held)) << std::hex << held << " is no frame's colour";
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
      30s))
      << std::hex << "held " << held << ", now " << now;
  // Resumed, the recording plays to its end and the program exits.
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 8 * std::chrono::milliseconds(kInterval) + 30s));
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace sp::qt_test

namespace sp::qt_test {
namespace {

// A right click of the kind xdotool makes: press and release at once, on
// the picture's corner, where the menu opens under the pointer with its
// first item there.
bool MenuStaysOpenAfterAQuickRightClick(XServer& x, Process& player, const std::string& main) {
  const auto before = x.Geometry(main);
  x.Xdotool({"mousemove", "5", "5", "click", "3"});
  if (!WaitFor([&] { return x.VisibleWindows(player.Pid()).size() == 2; }, 30s)) return false;
  // Had the release chosen the first item, full screen would be off and the
  // menu gone; a menu left alone stays.
  std::this_thread::sleep_for(1500ms);
  const auto after = x.Geometry(main);
  const bool stayed = x.VisibleWindows(player.Pid()).size() == 2 && before && after &&
                      after->width == before->width && after->height == before->height;
  x.Keys({"Escape"});
  WaitFor([&] { return x.VisibleWindows(player.Pid()).size() == 1; }, 30s);
  return stayed;
}

using PlayerRightClickTest = PlayerTest;

TEST_F(PlayerRightClickTest, AQuickRightClickOpensTheMenuAndLeavesItOpen) {
  recorder::RecordingBuilder builder(*Solid(kScreenWidth, kScreenHeight, kColours[0]));
  builder.NoCursor();
  Launch(WritePlayer(builder.Build()));  // frame 0 stays until closed
  const std::string main = MainWindow();
  ASSERT_FALSE(main.empty());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(MenuStaysOpenAfterAQuickRightClick(*x_, *player_, main));
  ASSERT_TRUE(OpenMenu(10, 10));
  x_->Keys({"Up", "Return"});  // "退出"
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(PlayerRightClickTest, AfterADismissedErrorBoxARightClickStillOpensTheMenu) {
  recorder::RecordingBuilder builder(*Solid(kScreenWidth, kScreenHeight, kColours[0]));
  builder.Interval(1000).NoCursor();
  builder.AddFrame(*Solid(kScreenWidth, kScreenHeight, kColours[1]));
  builder.AddFrame(*Solid(kScreenWidth, kScreenHeight, kColours[2]));
  const recorder::Recording recording = builder.Build();
  // Cut inside the last frame's block: one error box when it is read.
  std::ifstream in(SELFPLAY_STUB, std::ios::binary);
  const std::vector<uint8_t> stub((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::vector<uint8_t> file = recorder::MakeSelfPlaying(stub, recording);
  file.resize(file.size() - recording.frames.back().blocks.back().jpeg.size() / 2 - 12);
  const std::string path = workDir_ + "/Cut";
  ASSERT_TRUE(recorder::WriteFile(path, file));
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  Launch(path);
  const std::string main = MainWindow();
  ASSERT_FALSE(main.empty());
  ASSERT_TRUE(WaitFor([&] { return x_->VisibleWindows(player_->Pid()).size() == 2; }, 60s))
      << "no error box";
  x_->Keys({"Return"});
  ASSERT_TRUE(WaitFor([&] { return x_->VisibleWindows(player_->Pid()).size() == 1; }, 30s));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(MenuStaysOpenAfterAQuickRightClick(*x_, *player_, main));
  ASSERT_TRUE(OpenMenu(10, 10));
  x_->Keys({"Up", "Return"});  // "退出"
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code));
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace sp::qt_test
