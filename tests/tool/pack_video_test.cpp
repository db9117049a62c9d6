// pack --video: a video made by ffmpeg's own test sources, packed and
// played back headless.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/bitmap.h"
#include "platform/stream.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/shown_screen.h"
#include "tests/tool/tool_fixture.h"
#include "tools/command_line.h"
#include "tools/export.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/inspect.h"
#include "tools/pack.h"
#include "tools/png_io.h"

namespace sp::tool {
namespace {

using testing::ToolRun;

class PackFromVideo : public testing::ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    try {
      FindFfmpeg("ffmpeg");
      FindFfmpeg("ffprobe");
    } catch (const ToolError&) {
      GTEST_SKIP() << "ffmpeg is not installed (scripts/setup installs it)";
    }
    stub = Path("stub");
    WriteBytes(stub, recorder::ZeroStub());
  }

  // A 2-second 25 fps clip of ffmpeg's test card (a moving pattern and a
  // running counter), with a stereo 44,100 Hz tone unless silent.
  std::string MakeVideo(const std::string& name, bool withSound) {
    const std::string path = Path(name);
    std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y "
                          "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 ";
    if (withSound) command += "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 ";
    command += "-c:v libx264 -qp 0 -pix_fmt yuv444p ";
    if (withSound) command += "-c:a aac ";
    command += "'" + path + "' 2>'" + Path("make.log") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(Path("make.log"));
    return path;
  }

  // The test card as it stands at 0, 0.2, 0.4 ... s: frame_000.png ...
  void MakeReference(const std::string& folder) {
    std::filesystem::create_directory(folder);
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y "
                                "-f lavfi -i testsrc=size=160x120:rate=5:duration=2 -start_number 0 '" +
                                folder + "/frame_%03d.png'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  static double FreshJpegError(const Bitmap& picture) {
    Bitmap decoded;
    recorder::DecodeAsPlayer(recorder::EncodeJpeg(picture), decoded);
    return testing::Compare(decoded, picture).mean;
  }

  static RecordingInfo Inspect(const std::string& path) {
    FileStream file(path);
    return InspectRecording(file, InspectOptions{});
  }

  std::string stub;
};

TEST_F(PackFromVideo, PicturesAtTheIntervalAndClassicSoundRoundTrip) {
  const std::string video = MakeVideo("capture.mp4", true);
  const std::string out = Path("capture.exe");
  const ToolRun run = Run({"pack", "--video", video, "--interval", "200", "--stub", stub, "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;

  const RecordingInfo info = Inspect(out);
  EXPECT_FALSE(info.damage) << info.damage->message;
  EXPECT_EQ(info.header->FrameWidth, 160);
  EXPECT_EQ(info.header->FrameHeight, 120);
  EXPECT_EQ(info.header->FrameInterval, 200);
  EXPECT_EQ(info.FrameCount(), 10);  // 2 s at one picture per 200 ms
  ASSERT_TRUE(info.sound);
  EXPECT_EQ(info.sound->wav.formatTag, 1);
  EXPECT_EQ(info.sound->wav.channels, 1);
  EXPECT_EQ(info.sound->wav.sampleRate, 11025u);
  EXPECT_EQ(info.sound->wav.bitsPerSample, 8);
  EXPECT_NEAR(info.sound->wav.DurationSeconds(), 2.0, 0.1);

  // What the player shows at frame k is the test card at k x 200 ms.
  MakeReference(Path("reference"));
  ExportOptions options;
  options.path = out;
  options.framesFolder = Path("shown");
  options.progress = ProgressBar::Output::Never;
  ASSERT_EQ(Export(options).frames, 10);
  for (int k = 0; k < 10; ++k) {
    char shownName[40], referenceName[40];
    std::snprintf(shownName, sizeof shownName, "shown/frame_%05d.png", k);
    std::snprintf(referenceName, sizeof referenceName, "reference/frame_%03d.png", k);
    Bitmap shown, reference;
    ReadPng(Path(shownName), shown);
    ReadPng(Path(referenceName), reference);
    ASSERT_EQ(shown.Width(), reference.Width());
    // The test card is sharp and colourful: allow what one JPEG of it loses,
    // and a little for the video's own colour conversion.
    EXPECT_LT(testing::Compare(shown, reference).mean, FreshJpegError(reference) + 1.0) << "frame " << k;
    if (k > 0) {
      // Neighbours differ (the counter runs), so the match above is not luck.
      Bitmap before;
      std::snprintf(referenceName, sizeof referenceName, "reference/frame_%03d.png", k - 1);
      ReadPng(Path(referenceName), before);
      EXPECT_GT(testing::Compare(shown, before).mean, testing::Compare(shown, reference).mean);
    }
  }
}

TEST_F(PackFromVideo, KeptSoundFormatAndSilentVideos) {
  const std::string video = MakeVideo("capture.mp4", true);
  const std::string kept = Path("kept.exe");
  ToolRun run = Run({"pack", "--video", video, "--interval", "500", "--keep-sound-format", "--stub", stub,
                     "-o", kept});
  ASSERT_EQ(run.status, 0) << run.err;
  RecordingInfo info = Inspect(kept);
  ASSERT_TRUE(info.sound);
  EXPECT_EQ(info.FrameCount(), 4);
  EXPECT_EQ(info.sound->wav.channels, 2);
  EXPECT_EQ(info.sound->wav.sampleRate, 44100u);
  EXPECT_EQ(info.sound->wav.bitsPerSample, 16);

  const std::string silent = MakeVideo("silent.mp4", false);
  run = Run({"pack", "--video", silent, "--interval", "1000", "--stub", stub, "-o", Path("silent.exe")});
  ASSERT_EQ(run.status, 0) << run.err;
  info = Inspect(Path("silent.exe"));
  EXPECT_FALSE(info.sound);
  EXPECT_EQ(info.FrameCount(), 2);
}

TEST_F(PackFromVideo, WhatIsNoVideoFailsAndWritesNothing) {
  WriteBytes(Path("notes.mp4"), {'n', 'o', 't', ' ', 'a', ' ', 'v', 'i', 'd', 'e', 'o'});
  const std::string out = Path("out.exe");
  ToolRun run = Run({"pack", "--video", Path("notes.mp4"), "--interval", "200", "--stub", stub, "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("notes.mp4"), std::string::npos) << run.err;
  run = Run({"pack", "--video", Path("missing.mp4"), "--interval", "200", "--stub", stub, "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(std::filesystem::exists(out));

  // Pictures and a video at once, or a sound format to keep without a video, are usage errors.
  run = Run({"pack", "--video", "a.mp4", "--frames", dir.string(), "--interval", "200", "-o", out});
  EXPECT_EQ(run.status, 2);
  run = Run({"pack", "--frames", dir.string(), "--keep-sound-format", "--interval", "200", "-o", out});
  EXPECT_EQ(run.status, 2);
}


// A lossy capture of a screen that stands still: its pictures differ by the
// codec's noise (every fifth one is coded afresh), which is no change. Only
// the frame where a box appears carries blocks, and the file is smaller
// than one that sends the noise.
TEST_F(PackFromVideo, AFrozenScreenInALossyVideoGivesIdleFrames) {
  const std::string video = Path("frozen.mp4");
  const std::string command =
      "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=192x128:rate=25 "
      "-vf \"trim=end_frame=1,loop=loop=75:size=1,setpts=N/25/TB,"
      "drawbox=x=40:y=40:w=30:h=20:color=red:t=fill:enable='gte(t,1.5)'\" -frames:v 75 "
      "-c:v libx264 -crf 23 -g 5 -pix_fmt yuv420p '" + video + "' 2>'" + Path("make.log") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(Path("make.log"));

  const std::string out = Path("frozen.exe");
  const ToolRun run = Run({"pack", "--video", video, "--interval", "200", "--stub", stub, "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  const RecordingInfo info = Inspect(out);
  ASSERT_EQ(info.FrameCount(), 15);
  int64_t withBlocks = 0;
  for (int32_t blocks : info.blocksPerFrame) withBlocks += blocks > 0;
  EXPECT_LE(withBlocks, 2) << "the box at 1.5 s, and at most its neighbour";
  EXPECT_GT(info.blocksPerFrame[7], 0) << "frame 7 (1.4 s) or 8 shows the box";

  // The same pictures packed against every difference.
  std::filesystem::create_directory(Path("pictures"));
  ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -i '" + video +
                         "' -vf fps=fps=5 -pix_fmt rgb24 -start_number 0 '" + Path("pictures/p_%03d.png") + "'")
                            .c_str()),
            0);
  PackOptions exact;
  exact.framesFolder = Path("pictures");
  exact.interval = 200;
  exact.stub = stub;
  exact.output = Path("exact.exe");
  Pack(exact, ProgressBar::Output::Never);
  const RecordingInfo noisy = Inspect(exact.output);
  std::printf("frozen lossy video: %lld bytes with noise tolerance, %lld without; frames with blocks %lld, %d\n",
              static_cast<long long>(info.fileSize), static_cast<long long>(noisy.fileSize),
              static_cast<long long>(withBlocks), noisy.blocks.framesWithBlocks);
  EXPECT_GT(noisy.blocks.framesWithBlocks, 4);
  EXPECT_LT(info.fileSize - PAYLOAD_OFFSET, (noisy.fileSize - PAYLOAD_OFFSET) * 3 / 4);
}

}  // namespace
}  // namespace sp::tool
