// thumbnail: what file managers show for a recording, and nothing at all
// for any other executable.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/canvas.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/png_io.h"
#include "tools/thumbnail.h"

namespace sp::tool {
namespace {

using testing::ToolRun;

// Frame k is filled with its own colour, with a test pattern in the
// top-left quarter so that the scaling is seen too.
constexpr Pixel kColours[] = {0x2060A0, 0xC03030, 0x30A040, 0xE0C020};

class Thumbnail : public testing::ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    Bitmap screen(320, 200);
    for (int k = 0; k < 4; ++k) {
      recorder::FillRect(screen, screen.Bounds(), kColours[k]);
      Bitmap corner(160, 100);
      recorder::FillTestPattern(corner, 3);
      screen.GetCanvas().Draw(0, 0, corner);
      if (k == 0) {
        recorder::CopyPixels(screen, keyFrame);
        builder = std::make_unique<recorder::RecordingBuilder>(screen);
        // 25 ticks of 40 ms: a frame plays 1,000 ms of its 1,020.
        builder->NoCursor().Interval(1020);
      } else {
        builder->AddFrame(screen);
      }
    }
    file = Path("lesson.exe");
    bytes = recorder::MakeSelfPlaying(recorder::ZeroStub(), builder->Build());
    WriteBytes(file, bytes);
  }

  Pixel CentreOf(const std::string& png) {
    Bitmap picture;
    ReadPng(png, picture);
    return picture.At(picture.Width() * 3 / 4, picture.Height() * 3 / 4);
  }

  Bitmap keyFrame;
  std::unique_ptr<recorder::RecordingBuilder> builder;
  std::vector<uint8_t> bytes;
  std::string file;
};

TEST_F(Thumbnail, TheKeyFrameScaledToFitTheSize) {
  const ToolRun run = Run({"thumbnail", file, Path("thumb.png"), "--size", "64"});
  ASSERT_EQ(run.status, 0) << run.err;
  Bitmap thumb;
  ReadPng(Path("thumb.png"), thumb);
  EXPECT_EQ(thumb.Width(), 64);
  EXPECT_EQ(thumb.Height(), 40);
  Bitmap expected;
  ScaleDown(keyFrame, 64, expected);
  EXPECT_LT(testing::Compare(thumb, expected).mean, testing::kJpegMeanError);

  // A size larger than the recording keeps the recording's own size.
  ASSERT_EQ(Run({"thumbnail", file, Path("big.png"), "-s", "1024"}).status, 0);
  Bitmap big;
  ReadPng(Path("big.png"), big);
  EXPECT_EQ(big.Width(), 320);
  EXPECT_EQ(big.Height(), 200);
}

TEST_F(Thumbnail, TheFrameShownAtAGivenTime) {
  auto colourAt = [&](const std::string& seconds) {
    // One picture written again and again, as a file manager does.
    const ToolRun run = Run({"thumbnail", file, Path("t.png"), "--time", seconds, "--force"});
    EXPECT_EQ(run.status, 0) << run.err;
    return CentreOf(Path("t.png"));
  };
  auto near = [](Pixel a, Pixel b) {
    for (int shift = 0; shift < 24; shift += 8) {
      if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 8) return false;
    }
    return true;
  };
  EXPECT_TRUE(near(colourAt("0"), kColours[0]));
  EXPECT_TRUE(near(colourAt("0.999"), kColours[0]));
  EXPECT_TRUE(near(colourAt("2.5"), kColours[2]));
  EXPECT_TRUE(near(colourAt("3"), kColours[3]));  // played time: 3 x 1,000 ms, not the intervals' 3,060
  EXPECT_TRUE(near(colourAt("600"), kColours[3]));  // past the end: the last frame
  EXPECT_EQ(Run({"thumbnail", file, Path("t.png"), "--time", "-1"}).status, 2);
  EXPECT_EQ(Run({"thumbnail", file, Path("t.png"), "--time", "soon"}).status, 2);
}

TEST_F(Thumbnail, WhatIsNoRecordingFailsAndWritesNothing) {
  // Any executable a file manager meets, short or long, and this very program.
  WriteBytes(Path("small.exe"), std::vector<uint8_t>(4096, 'M'));
  std::vector<uint8_t> large(PAYLOAD_OFFSET + 200000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  WriteBytes(Path("large.exe"), large);
  for (const std::string& input : {Path("small.exe"), Path("large.exe"), std::string(SELFPLAY_TOOL_PATH),
                                   Path("missing.exe")}) {
    const ToolRun run = RunProgram("thumbnail '" + input + "' '" + Path("out.png") + "'");
    EXPECT_EQ(run.status, 1) << input;
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(std::filesystem::exists(Path("out.png"))) << input;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().filename().string().find("out.png"), std::string::npos) << entry.path();
  }
}

TEST_F(Thumbnail, DamageLaterOnlyStopsTimesThatReachIt) {
  bytes.resize(bytes.size() - 40);  // into the last frame's block
  WriteBytes(file, bytes);
  EXPECT_EQ(Run({"thumbnail", file, Path("first.png")}).status, 0);
  const ToolRun run = Run({"thumbnail", file, Path("last.png"), "--time", "3"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("frame"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(Path("last.png")));
}

TEST(ScaleDown, KeepsTheShapeAndTheMeanAndNeverEnlarges) {
  Bitmap wide(1000, 10);
  recorder::FillRect(wide, wide.Bounds(), 0x808080);
  Bitmap out;
  ScaleDown(wide, 100, out);
  EXPECT_EQ(out.Width(), 100);
  EXPECT_EQ(out.Height(), 1);
  EXPECT_EQ(out.At(50, 0), 0x808080u);

  // Black and white columns average to grey.
  Bitmap stripes(64, 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) stripes.Set(x, y, x % 2 ? 0xFFFFFF : 0);
  }
  ScaleDown(stripes, 16, out);
  EXPECT_EQ(out.Width(), 16);
  EXPECT_EQ(out.At(7, 7), 0x808080u);

  Bitmap dot(1, 1);
  dot.Set(0, 0, 0x123456);
  ScaleDown(dot, 256, out);
  EXPECT_EQ(out.Width(), 1);
  EXPECT_EQ(out.At(0, 0), 0x123456u);
}

}  // namespace
}  // namespace sp::tool
