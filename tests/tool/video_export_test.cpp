// export --video and --gif through ffmpeg, checked with ffprobe.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/command_line.h"
#include "tools/export.h"
#include "tools/ffmpeg_pipe.h"

namespace sp::tool {
namespace {

using testing::ToolRun;

bool HaveProgram(const std::string& name) {
  try {
    FindFfmpeg(name);
    return true;
  } catch (const ToolError&) {
    return false;
  }
}

std::string Capture(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
  std::string text;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) text += buffer;
  return text;
}

class VideoExport : public testing::ToolTest {
 protected:
  // 6 frames of 200 ms: 25 ticks of 40 ms after frame 0, with 1.5 s of sound.
  void SetUp() override {
    ToolTest::SetUp();
    Bitmap screen(90, 64);  // odd width: the video is padded to even sides
    recorder::FillTestPattern(screen, 4);
    recorder::RecordingBuilder builder(screen);
    builder.Interval(200).Sound(recorder::ToneWav(1.5)).FirstCursor(0, 0);
    for (int k = 1; k < 6; ++k) {
      recorder::FillRect(screen, {10 * k, 10, 10 * k + 8, 18}, 0xFF0000);
      builder.AddFrame(screen, recorder::CursorPosition{12 * k, 8 * k});
    }
    file = Path("clip.exe");
    WriteBytes(file, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));
  }

  std::string Probe(const std::string& path, const std::string& entries, const std::string& stream) {
    return Capture("ffprobe -v error -count_frames -select_streams " + stream + " -show_entries " + entries +
                   " -of default=noprint_wrappers=1:nokey=1 '" + path + "' 2>&1");
  }

  std::string file;
};

TEST_F(VideoExport, AVideoHoldsEveryTickAtTheTickRateWithTheSound) {
  if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) GTEST_SKIP() << "no ffmpeg";
  const std::string video = Path("clip.mp4");
  const ToolRun run = Run({"export", file, "--video", video});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");

  EXPECT_EQ(Probe(video, "stream=nb_read_frames", "v:0"), "26\n");
  EXPECT_EQ(Probe(video, "stream=width,height", "v:0"), "90\n64\n");
  EXPECT_EQ(Probe(video, "stream=r_frame_rate", "v:0"), "25/1\n");
  EXPECT_EQ(Probe(video, "stream=codec_type", "a:0"), "audio\n");
  // The sound is cut where the picture ends, at 26 ticks of 40 ms.
  const double duration = std::stod(Capture("ffprobe -v error -show_entries format=duration -of "
                                            "default=noprint_wrappers=1:nokey=1 '" + video + "'"));
  EXPECT_NEAR(duration, 1.04, 0.1);
}

TEST_F(VideoExport, AGifHoldsEveryTick) {
  if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) GTEST_SKIP() << "no ffmpeg";
  const std::string gif = Path("clip.gif");
  const ToolRun run = Run({"export", file, "--gif", gif, "--frames", Path("frames")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Probe(gif, "stream=codec_name", "v:0"), "gif\n");
  EXPECT_EQ(Probe(gif, "stream=nb_read_frames", "v:0"), "26\n");
  EXPECT_TRUE(std::filesystem::exists(Path("frames/frame_00005.png")));
}

TEST_F(VideoExport, WithoutFfmpegTheMessageNamesTheDebianPackage) {
  try {
    FindFfmpeg("selfplay-no-such-ffmpeg");
    FAIL() << "found a program that does not exist";
  } catch (const ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("Debian package \"ffmpeg\""), std::string::npos) << e.what();
  }
  const ToolRun run = RunProgram("export '" + file + "' --video '" + Path("x.mp4") + "'", "PATH=/nonexistent");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"ffmpeg\""), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST_F(VideoExport, AFailingFfmpegIsReportedWithItsOwnWords) {
  if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  const ToolRun run = Run({"export", file, "--video", Path("no-such-folder/clip.mp4")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ffmpeg failed to write"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace sp::tool
