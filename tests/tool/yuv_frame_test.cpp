// The 4:2:0 pictures export hands the encoder, converted tick by tick.
#include "tools/yuv_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/headless/headless_player.h"
#include "platform/bitmap.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/command_line.h"
#include "tools/ffmpeg_pipe.h"

namespace sp::tool {
namespace {

class Yuv : public testing::ToolTest {};

TEST_F(Yuv, MatchesFfmpegsOwnConversionOfAPaddedOddPicture) {
  try {
    FindFfmpeg("ffmpeg");
  } catch (const ToolError&) {
    GTEST_SKIP() << "no ffmpeg";
  }
  Bitmap picture(37, 21);
  recorder::FillTestPattern(picture, 9);
  recorder::FillRect(picture, {3, 3, 20, 12}, 0x20C040);
  Yuv420Frame frame(37, 21);
  frame.Convert(picture, picture.Bounds());
  ASSERT_EQ(frame.Width(), 38);
  ASSERT_EQ(frame.Height(), 22);

  const std::string raw = Path("in.raw");
  const std::string out = Path("out.yuv");
  WriteBytes(raw, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(picture.Data()),
                                       reinterpret_cast<const uint8_t*>(picture.Data() + 37 * 21)));
  const std::string command = "ffmpeg -v error -f rawvideo -pixel_format bgr0 -video_size 37x21 -i '" + raw +
                              "' -vf 'pad=ceil(iw/2)*2:ceil(ih/2)*2' -pix_fmt yuv420p -f rawvideo '" + out + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> theirs = ReadWholeFile(out);
  ASSERT_EQ(theirs.size(), frame.Bytes());
  const size_t luma = 38 * 22;
  int worstLuma = 0;
  int worstChroma = 0;
  double chromaSum = 0;
  for (size_t i = 0; i < theirs.size(); ++i) {
    const int e = std::abs(theirs[i] - frame.Data()[i]);
    (i < luma ? worstLuma : worstChroma) = std::max(i < luma ? worstLuma : worstChroma, e);
    if (i >= luma) chromaSum += e;
  }
  // The same matrix: luma differs by rounding only. ffmpeg filters chroma
  // over more than the 2 x 2 cell, which shows at sharp edges only.
  EXPECT_LE(worstLuma, 1);
  EXPECT_LE(worstChroma, 8);
  EXPECT_LT(chromaSum / static_cast<double>(theirs.size() - luma), 1.0);
}

TEST_F(Yuv, ConvertingWhatEachTickPresentedGivesTheWholeConversion) {
  // Frames that change bands and a cursor that moves every tick.
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 2);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).FirstCursor(5, 5);
  for (int k = 1; k < 5; ++k) {
    recorder::FillRect(screen, {8 * k, 4 * k, 8 * k + 13, 4 * k + 9}, 0x0000FF * k);
    builder.AddFrame(screen, recorder::CursorPosition{10 * k, 7 * k});
  }
  const std::string file = Path("clip.exe");
  WriteBytes(file, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));

  HeadlessSystem system;
  system.SetExecutablePath(file);
  system.SetTempPath(dir.string() + "/");
  system.SetScreenSize(64, 48);
  HeadlessPlayer player(system);
  ASSERT_TRUE(player.Created());
  Yuv420Frame dirtyOnly(64, 48);
  dirtyOnly.Convert(player.Picture(), player.Picture().Bounds());
  int handled = system.HandledMessages();
  for (int t = 0; t < 19 && !player.Closed(); ++t) {
    ASSERT_TRUE(player.Tick());
    ASSERT_EQ(system.HandledMessages(), handled + 1);
    handled = system.HandledMessages();
    dirtyOnly.Convert(player.Picture(), system.LastPresented());
    Yuv420Frame whole(64, 48);
    whole.Convert(player.Picture(), player.Picture().Bounds());
    ASSERT_EQ(std::vector<uint8_t>(dirtyOnly.Data(), dirtyOnly.Data() + dirtyOnly.Bytes()),
              std::vector<uint8_t>(whole.Data(), whole.Data() + whole.Bytes()))
        << "tick " << t;
  }
}

}  // namespace
}  // namespace sp::tool
