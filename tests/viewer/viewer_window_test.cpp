// selfplay-view under an X server of its own: opened from the command line,
// driven by keys, seen through screenshots and the window's title and size.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "payload/layout.h"
#include "recorder/recording_builder.h"
#include "tests/qt/player_fixture.h"

namespace sp::qt_test {
namespace {

// Frame k of the test recordings is one solid colour of its own.
Pixel ColourOf(int k) {
  static const Pixel colours[] = {0xD03030, 0x30B030, 0x3050D0, 0xD0B020, 0x20B0C0,
                                  0xB030B0, 0xF08020, 0x808080, 0x60D080, 0x2040A0};
  return colours[k % 10];
}

// One frame a second, no cursor: what the picture shows is the frame alone.
recorder::Recording SolidFrames(int frames) {
  auto first = Solid(320, 240, ColourOf(0));
  recorder::RecordingBuilder builder(*first);
  builder.NoCursor().Interval(1000);
  for (int k = 1; k < frames; ++k) builder.AddFrame(*Solid(320, 240, ColourOf(k)));
  return builder.Build();
}

class ViewerTest : public PlayerTest {
 protected:
  // Starts the viewer on `file` through a script, as a user's shell would.
  void LaunchViewer(const std::string& file) {
    const std::string script = workDir_ + "/view.sh";
    std::ofstream(script) << "#!/bin/sh\nexec '" << SELFPLAY_VIEW << "' '" << file << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    Launch(script);
    window_ = MainWindow();
    ASSERT_FALSE(window_.empty()) << "no viewer window";
  }

  void Key(const std::string& key) { x_->Xdotool({"key", "--window", window_, key}); }

  bool WaitForTitle(const std::string& part, std::chrono::milliseconds timeout = 15s) {
    return WaitFor([&] { return x_->WindowName(window_).find(part) != std::string::npos; }, timeout);
  }

  // A point of the picture away from the messages drawn over it.
  uint32_t PicturePixel() { return PixelAt(480, 150); }
  bool WaitForFrame(int k, std::chrono::milliseconds timeout = 20s) {
    return WaitForPixel(480, 150, ColourOf(k), timeout);
  }

  std::string window_;
};

TEST_F(ViewerTest, KeysPauseSeekSpeedAndFullScreen) {
  const std::string file = WritePlayer(SolidFrames(20), "Lesson");
  LaunchViewer(file);
  ASSERT_TRUE(WaitForTitle("Lesson")) << x_->WindowName(window_);
  ASSERT_TRUE(WaitForFrame(0)) << std::hex << PicturePixel();

  // Paused at the start, Right moves 5 s: the picture is frame 5's.
  Key("space");
  Key("Home");
  ASSERT_TRUE(WaitForFrame(0)) << std::hex << PicturePixel();
  Key("Right");
  ASSERT_TRUE(WaitForFrame(5)) << std::hex << PicturePixel();
  // Paused, it stays there.
  std::this_thread::sleep_for(2500ms);
  EXPECT_LE(ChannelDistance(PicturePixel(), ColourOf(5)), 12) << std::hex << PicturePixel();

  // Playing again moves on; Space pauses where it stands.
  Key("space");
  ASSERT_TRUE(WaitFor([&] { return ChannelDistance(PicturePixel(), ColourOf(5)) > 12; }, 20s));
  Key("space");
  std::this_thread::sleep_for(500ms);
  const uint32_t paused = PicturePixel();
  std::this_thread::sleep_for(2500ms);
  EXPECT_LE(ChannelDistance(PicturePixel(), paused), 12);

  Key("plus");
  EXPECT_TRUE(WaitForTitle("1.25x")) << x_->WindowName(window_);

  Key("f");
  EXPECT_TRUE(WaitFor(
      [&] {
        const auto g = x_->Geometry(window_);
        return g && g->width == kScreenWidth && g->height == kScreenHeight;
      },
      15s));
  Key("Escape");
  EXPECT_TRUE(WaitFor(
      [&] {
        const auto g = x_->Geometry(window_);
        return g && g->width < kScreenWidth;
      },
      15s));
}

TEST_F(ViewerTest, BarePayloadOpensFromTheCommandLine) {
  const std::string file = workDir_ + "/lesson.payload";
  ASSERT_TRUE(recorder::WriteFile(file, recorder::WritePayload(SolidFrames(4), 0)));
  LaunchViewer(file);
  EXPECT_TRUE(WaitForTitle("lesson.payload")) << x_->WindowName(window_);
  EXPECT_TRUE(WaitForFrame(0) || WaitForFrame(1)) << std::hex << PicturePixel();
}

TEST_F(ViewerTest, HelpListsTheKeys) {
  const ToolResult r = RunTool({SELFPLAY_VIEW, "--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* key : {"Space", "Left / Right", "Shift+Left", "Home / End", ", / .", "[ / ]",
                          "- / +", "F, double click", "Esc", "M"}) {
    EXPECT_NE(r.out.find(key), std::string::npos) << key;
  }
}

TEST_F(ViewerTest, VersionAndAWrongCommandLineAreAnsweredWithoutAWindow) {
  const ToolResult version = RunTool({SELFPLAY_VIEW, "--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("selfplay-view ", 0), 0u) << version.out;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{SELFPLAY_VIEW, "--speed", "9", "x.exe"},
        std::vector<std::string>{SELFPLAY_VIEW, "--bogus"}}) {
    const ToolResult wrong = RunTool(args);
    EXPECT_EQ(wrong.exitCode, 2) << args[1];
  }
}

}  // namespace
}  // namespace sp::qt_test
