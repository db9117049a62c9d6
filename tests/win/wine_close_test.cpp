// How selfplay.exe ends under Wine: the end of the recording, "退出" and
// Alt+F4 end the program whatever loop runs when they come, the popup
// menu's included.
#include <gtest/gtest.h>

#include "recorder/recording_builder.h"
#include "tests/win/wine_fixture.h"

namespace sp::win_test {
namespace {

using qt_test::kScreenHeight;
using qt_test::kScreenWidth;

constexpr int kCentreX = kScreenWidth / 2;
constexpr int kCentreY = kScreenHeight / 2;
constexpr Pixel kColours[] = {0xE02020, 0x20C020, 0x2040E0};

// Frame k is one solid colour; the cursor stays in a corner.
recorder::Recording ColourRecording(int frames, int interval) {
  recorder::RecordingBuilder builder(*Solid(640, 480, kColours[0]));
  builder.Interval(interval).FirstCursor(0, 0);
  for (int k = 1; k < frames; ++k) builder.AddFrame(*Solid(640, 480, kColours[k]));
  return builder.Build();
}

using WineCloseTest = WinePlayerTest;

TEST_F(WineCloseTest, TheEndWhileTheMenuIsOpenEndsTheProgram) {
  LaunchWine(ColourRecording(3, 2500));
  ASSERT_FALSE(MainWindow().empty());
  ASSERT_TRUE(WaitForPixel(kCentreX, kCentreY, kColours[0], 15s));
  ASSERT_TRUE(OpenMenu(10, 10));
  // The last frame comes about five seconds after frame 0, inside the
  // menu's loop; the menu closes with the program.
  int code = -1;
  const bool ended = WaitForExit(&code, 30s);
  EXPECT_TRUE(ended) << "the end left the program running behind its menu";
  if (!ended) {
    // As the user would: the menu away, then "退出", then Alt+F4.
    x_->Keys({"Escape"});
    if (!WaitForExit(&code, 5s) && OpenMenu(10, 10)) {
      x_->Keys({"Up", "Return"});
      if (!WaitForExit(&code, 5s)) {
        x_->Keys({"alt+F4"});
        EXPECT_TRUE(WaitForExit(&code, 10s)) << "neither 退出 nor Alt+F4 ended it";
      }
    }
  }
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace sp::win_test
