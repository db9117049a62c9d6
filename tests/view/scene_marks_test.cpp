// Scene marks: the rule over the pixels each frame covers, and the same
// frames on the viewer's seek bar and in an exported video's chapters.

#include "playback/scene_marks.h"

#include <gtest/gtest.h>

#include <vector>

#include "../engine/engine_fixture.h"
#include "playback/seekable_playback.h"
#include "platform/stream.h"
#include "recorder/images.h"
#include "tools/inspect.h"
#include "tools/video_marks.h"

namespace sp::testing {
namespace {

TEST(SceneMarkRuleTest, HalfTheScreenChangesTheScene) {
  // Frames 200 ms apart; a screen of 100 pixels.
  EXPECT_TRUE(SceneMarkFrames(std::vector<int64_t>{10, 49, 0, 20}, 100, 200).empty());
  EXPECT_EQ(SceneMarkFrames(std::vector<int64_t>{10, 50, 0, 20}, 100, 200), std::vector<int32_t>{2});
  EXPECT_TRUE(SceneMarkFrames(std::vector<int64_t>{100, 100}, 0, 200).empty());
}

TEST(SceneMarkRuleTest, RunsOfChangesAreMarkedOnceAtTheirStartAndMarksKeepTheirDistance) {
  constexpr int64_t kFrameMs = 200;
  std::vector<int64_t> covered(2000, 0);
  auto change = [&](int64_t ms) { covered[static_cast<size_t>(ms / kFrameMs) - 1] = 100; };
  // A moving test picture: every frame for two minutes, from 1 s on.
  for (int64_t ms = 1000; ms <= 120'800; ms += kFrameMs) change(ms);
  // Changes 2.6 s apart go on the run.
  change(123'400);
  change(126'000);
  // 3.2 s later a new run; 3.4 s after that another, too close to its mark.
  change(129'200);
  change(132'600);
  // 5.4 s later, 8.8 s after the last mark: a new scene.
  change(138'000);
  // Two runs far apart.
  change(200'000);
  change(200'200);
  change(300'000);
  const std::vector<int32_t> marks = SceneMarkFrames(covered, 100, kFrameMs);
  EXPECT_EQ(marks, (std::vector<int32_t>{5, 646, 690, 1000, 1500}));
  // The default spacing, and marks never closer than it.
  const SceneMarkRule rule;
  for (size_t i = 1; i < marks.size(); ++i) {
    EXPECT_GE((marks[i] - marks[i - 1]) * kFrameMs, rule.minGapMilliseconds);
  }
}

class SceneMarksTest : public EngineTest {};

// The seek bar's marks are the exported chapters' starts, frame for frame:
// whole repaints, blocks reaching out of the screen (clipped), blocks just
// under and over half the screen, cursor changes (no scene), runs.
TEST_F(SceneMarksTest, ViewerMarksAreTheExportedChapters) {
  constexpr int kW = 200;
  constexpr int kH = 100;
  Bitmap screen(kW, kH);
  recorder::FillTestPattern(screen, 3);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(1000).FirstCursor(10, 10);
  auto block = [](Rect r, uint32_t seed) {
    Bitmap picture(r.right - r.left, r.bottom - r.top);
    recorder::FillTestPattern(picture, seed);
    return recorder::Block{r, recorder::EncodeJpeg(picture), {}, {}};
  };
  std::vector<int32_t> expected;
  for (int k = 1; k < 60; ++k) {
    std::vector<recorder::Block> blocks;
    std::vector<uint8_t> icon;
    switch (k) {
      case 3: blocks.push_back(block({0, 0, kW, kH}, 1)); expected.push_back(k); break;
      case 5: blocks.push_back(block({0, 0, kW, kH}, 2)); break;  // on the run from frame 3
      case 12: blocks.push_back(block({0, 0, 100, 100}, 3)); expected.push_back(k); break;  // half
      case 20: blocks.push_back(block({0, 0, 99, 100}, 4)); break;  // just under half
      case 24: blocks.push_back(block({-101, 0, 99, 100}, 5)); break;  // the screen, more than half outside
      case 30: icon = recorder::MakeIconFile(recorder::TextCursor()); break;
      case 31: blocks.push_back(block({100, 0, 200, 60}, 6));
               blocks.push_back(block({100, 60, 200, 100}, 7)); expected.push_back(k); break;
      case 34: blocks.push_back(block({0, 0, kW, kH}, 8)); break;  // a new run, too soon after 31
      case 45: blocks.push_back(block({0, 0, kW, kH}, 9)); expected.push_back(k); break;
      default: blocks.push_back(block({10, 10, 40, 30}, 100 + k)); break;
    }
    builder.AddFrameBlocks(std::move(blocks), recorder::CursorPosition{k, k}, icon);
  }
  Write(builder.Build());

  auto playback = SeekablePlayback::Open(exePath);
  const std::vector<int32_t> marks = SceneMarkFrames(*playback);
  EXPECT_EQ(marks, expected);

  FileStream file(exePath);
  const tool::RecordingInfo info = tool::InspectRecording(file);
  const int64_t frameMs = playback->MillisecondsOf(playback->TickOfFrame(1));
  const std::vector<tool::Chapter> chapters =
      tool::SceneChapters(info.coveredPerFrame, int64_t{kW} * kH, frameMs, playback->DurationMilliseconds() + 1);
  std::vector<int32_t> chapterFrames;
  for (size_t i = 1; i < chapters.size(); ++i) {
    chapterFrames.push_back(static_cast<int32_t>(chapters[i].startMs / frameMs));
    EXPECT_EQ(chapters[i].startMs % frameMs, 0);
  }
  EXPECT_EQ(chapterFrames, marks);
}

}  // namespace
}  // namespace sp::testing
