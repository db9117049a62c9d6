// Folders and batches: info and export over many files, JSON lines, jobs,
// outputs that are never overwritten, captions, chapters and salvage.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/command_line.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/info_report.h"
#include "tools/video_marks.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ToolRun;

bool HaveFfmpeg() {
  try {
    FindFfmpeg("ffmpeg");
    FindFfmpeg("ffprobe");
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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

constexpr const char* kCaption = "第一课 <b> & more";

class Batch : public testing::ToolTest {
 protected:
  // 6 frames of 200 ms (1.04 s of pictures) with 0.3 s of sound; frame 3
  // repaints the whole screen.
  std::vector<uint8_t> Clip(int seed) {
    Bitmap screen(90, 64);
    recorder::FillTestPattern(screen, seed);
    recorder::RecordingBuilder builder(screen);
    recorder::CaptionStyle caption;
    caption.text = kCaption;
    caption.x = 2;
    caption.y = 40;
    caption.fontSize = 9;
    caption.fontName = "DejaVu Sans";
    builder.Interval(200).Sound(recorder::ToneWav(0.3)).FirstCursor(0, 0).Caption(caption);
    for (int k = 1; k < 6; ++k) {
      if (k == 3) {
        recorder::FillTestPattern(screen, seed + 17);
      } else {
        recorder::FillRect(screen, {10 * k, 10, 10 * k + 8, 18}, 0xFF0000);
      }
      builder.AddFrame(screen, recorder::CursorPosition{12 * k, 8 * k});
    }
    return recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build());
  }

  // good/a.exe, good/deeper/b.bin, good/cut.exe (its last frames cut off)
  // and a text file that is no recording.
  void MakeFolder() {
    fs::create_directories(dir / "good/deeper");
    WriteBytes(Path("good/a.exe"), Clip(3));
    WriteBytes(Path("good/deeper/b.bin"), Clip(5));
    std::vector<uint8_t> cut = Clip(7);
    cut.resize(cut.size() - 300);
    WriteBytes(Path("good/cut.exe"), cut);
    WriteBytes(Path("good/notes.txt"), std::vector<uint8_t>(600000, 'x'));
  }

  std::string Probe(const std::string& path, const std::string& what) {
    return Capture("ffprobe -v error " + what + " -of default=noprint_wrappers=1:nokey=1 '" + path + "' 2>&1");
  }
};

TEST_F(Batch, InfoJsonGivesOneLineForEveryRecordingInAFolderAndFailsOnTheDamagedOne) {
  MakeFolder();
  const ToolRun run = Run({"info", "--json", Path("good")});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  int damaged = 0;
  for (const std::string& line : lines) {
    const json object = json::parse(line);
    ASSERT_TRUE(object.is_object());
    EXPECT_TRUE(object["file"].get<std::string>().find("notes.txt") == std::string::npos);
    EXPECT_EQ(object["frameCount"], 6);
    EXPECT_EQ(object["caption"]["text"], kCaption);
    if (!object["damage"].is_null()) {
      ++damaged;
      EXPECT_EQ(object["file"], Path("good/cut.exe"));
    }
  }
  EXPECT_EQ(damaged, 1);
  EXPECT_NE(run.err.find("3 files, 2 succeeded, 1 failed"), std::string::npos) << run.err;

  // Named files are taken whatever they hold; the text file fails too.
  const ToolRun named = Run({"info", "--json", "-j", "2", Path("good/a.exe"), Path("good/notes.txt")});
  EXPECT_EQ(named.status, 1);
  EXPECT_EQ(Lines(named.out).size(), 2u);
  const ToolRun good = Run({"info", Path("good/a.exe"), Path("good/deeper/b.bin")});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_NE(good.err.find("2 files, 2 succeeded, 0 failed"), std::string::npos) << good.err;
}

TEST_F(Batch, ExportToAFolderInTwoJobsWritesTheGoodVideosAndNeverOverwritesThem) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  MakeFolder();
  const std::string out = Path("videos");
  ToolRun run = Run({"export", Path("good"), "--out-dir", out, "-j", "2", "--progress", "json"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(fs::exists(Path("videos/a.mp4")));
  EXPECT_TRUE(fs::exists(Path("videos/b.mp4")));
  EXPECT_FALSE(fs::exists(Path("videos/cut.mp4")));
  EXPECT_NE(run.err.find("3 files, 2 succeeded, 1 failed"), std::string::npos) << run.err;
  // Every progress line is a JSON object; each file starts and ends.
  int starts = 0;
  int ends = 0;
  for (const std::string& line : Lines(run.err)) {
    if (line.empty() || line[0] != '{') continue;
    const json object = json::parse(line);
    starts += object["event"] == "start";
    ends += object["event"] == "done";
  }
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(ends, 3);
  EXPECT_EQ(Probe(Path("videos/a.mp4"), "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"),
            "26\n");

  const auto written = fs::last_write_time(Path("videos/a.mp4"));
  // The same batch again passes over what it wrote, and overwrites nothing.
  run = Run({"export", Path("good/a.exe"), Path("good/deeper/b.bin"), "--out-dir", out, "-j", "2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("skipped: " + Path("videos/a.mp4") + " exists already; --force writes it again"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("b.mp4 exists already"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("2 files, 2 succeeded, 0 failed; 2 skipped, as their outputs exist already"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(fs::last_write_time(Path("videos/a.mp4")), written);
  run = Run({"export", Path("good/a.exe"), "--out-dir", out, "--force"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("skipped"), std::string::npos) << run.err;
  // A named output is no batch to finish: it is refused.
  run = Run({"export", Path("good/a.exe"), "--video", Path("videos/a.mp4")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("a.mp4 exists already; --force overwrites it"), std::string::npos) << run.err;

  // Two inputs of one name would write one output: the second fails.
  fs::create_directories(dir / "other");
  fs::copy_file(Path("good/a.exe"), Path("other/a.exe"));
  run = Run({"export", Path("good/a.exe"), Path("other/a.exe"), "--out-dir", Path("twice"), "--format", "gif"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is the output of"), std::string::npos) << run.err;
}

TEST_F(Batch, AVideoWithCaptionsHoldsASubtitleTrackChaptersAndTheWholePicture) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  WriteBytes(Path("clip.exe"), Clip(3));
  const std::string video = Path("clip.mp4");
  ToolRun run = Run({"export", Path("clip.exe"), "--video", video, "--captions"});
  ASSERT_EQ(run.status, 0) << run.err;

  const std::string vtt = ReadText(Path("clip.vtt"));
  EXPECT_EQ(vtt.rfind("WEBVTT\n", 0), 0u) << vtt;
  EXPECT_NE(vtt.find("第一课 &lt;b&gt; &amp; more"), std::string::npos) << vtt;
  EXPECT_EQ(Probe(video, "-select_streams s:0 -show_entries stream=codec_name"), "mov_text\n");
  // Frame 0 and the repainted frame 3 (0.6 s) start chapters.
  EXPECT_EQ(Probe(video, "-show_entries chapter=start_time"), "0.000000\n0.600000\n");
  // 0.3 s of sound do not shorten 26 ticks of 40 ms; the sound is padded.
  EXPECT_EQ(Probe(video, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"), "26\n");
  const double audio = std::stod(Probe(video, "-select_streams a:0 -show_entries stream=duration"));
  EXPECT_NEAR(audio, 1.04, 0.1);

  run = Run({"export", Path("clip.exe"), "--webm", Path("web.webm"), "--captions"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Probe(Path("web.webm"), "-show_entries stream=codec_name"), "vp9\nopus\nwebvtt\n");

  run = Run({"export", Path("clip.exe"), "--gif", Path("clip.gif"), "--captions"});
  EXPECT_EQ(run.status, 2) << "captions belong to a video";
}

TEST_F(Batch, SalvageExportsADamagedRecordingUpToItsDamageAndSaysWhatWasLeftOut) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  std::vector<uint8_t> cut = Clip(4);
  cut.resize(cut.size() - 300);
  WriteBytes(Path("cut.exe"), cut);
  ToolRun run = Run({"export", Path("cut.exe"), "--video", Path("cut.mp4")});
  EXPECT_EQ(run.status, 1);
  run = Run({"export", Path("cut.exe"), "--video", Path("cut.mp4"), "--salvage", "--force"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("salvaged: frames "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" to 5 were left out"), std::string::npos) << run.err;
  const int frames =
      std::stoi(Probe(Path("cut.mp4"), "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"));
  EXPECT_GT(frames, 1);
  EXPECT_LT(frames, 26);
  // The sound ends with the picture.
  const double audio = std::stod(Probe(Path("cut.mp4"), "-select_streams a:0 -show_entries stream=duration"));
  EXPECT_NEAR(audio, frames * 0.04, 0.25);
}

// A value no recorder writes (a block of no bytes) stops the player where it
// is read, as the file's end would: the sound stops there too.
TEST_F(Batch, SalvageOfARecordingStoppedByABadValueEndsTheSoundWithThePicture) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 7);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).Sound(recorder::ToneWav(1.0)).NoCursor();
  for (int k = 1; k < 6; ++k) {
    if (k == 3) {
      builder.AddFrameBlocks({recorder::Block{{0, 0, 16, 16}, {}, std::nullopt, std::nullopt}});
    } else {
      recorder::FillRect(screen, {8 * k, 8, 8 * k + 8, 16}, 0x00FF00);
      builder.AddFrame(screen);
    }
  }
  WriteBytes(Path("bad.exe"), recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));
  ToolRun run = Run({"export", Path("bad.exe"), "--video", Path("bad.mp4")});
  EXPECT_EQ(run.status, 1) << "the player stopped early: not a whole export";
  EXPECT_NE(run.err.find("the player stopped at frame 3: 录像文件已损坏 (frame 3: block 0: JPEG size 0"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("; --salvage exports what plays before it"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("bad.mp4")));
  run = Run({"export", Path("bad.exe"), "--video", Path("bad.mp4"), "--salvage"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(" to 5 were left out"), std::string::npos) << run.err;
  const int frames =
      std::stoi(Probe(Path("bad.mp4"), "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"));
  EXPECT_GT(frames, 1);
  EXPECT_LT(frames, 26);
  const double audio = std::stod(Probe(Path("bad.mp4"), "-select_streams a:0 -show_entries stream=duration"));
  EXPECT_NEAR(audio, frames * 0.04, 0.25);
}

TEST_F(Batch, SalvageSkipsABlockThatDoesNotDecodeAndGoesOn) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 6);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).Sound(recorder::ToneWav(1.0)).NoCursor();
  for (int k = 1; k < 6; ++k) {
    if (k == 2) {
      builder.AddFrameBlocks({recorder::Block{{0, 0, 16, 16}, std::vector<uint8_t>(200, 0x55), std::nullopt, std::nullopt}});
    } else {
      recorder::FillRect(screen, {8 * k, 8, 8 * k + 8, 16}, 0x00FF00);
      builder.AddFrame(screen);
    }
  }
  WriteBytes(Path("broken.exe"), recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));
  ToolRun run = Run({"export", Path("broken.exe"), "--video", Path("broken.mp4")});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(fs::exists(Path("broken.mp4"))) << "a failed export leaves no partial video";
  run = Run({"export", Path("broken.exe"), "--video", Path("broken.mp4"), "--salvage"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("salvaged: frame 2: block 0: JPEG of 200 bytes"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the block was skipped"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("left out:"), std::string::npos) << run.err;
  EXPECT_EQ(Probe(Path("broken.mp4"), "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"),
            "26\n");
  const double audio = std::stod(Probe(Path("broken.mp4"), "-select_streams a:0 -show_entries stream=duration"));
  EXPECT_NEAR(audio, 1.04, 0.1);
}

// The caption is drawn into every picture: its track is there for those who
// want it, but no player shows it by default on top of the picture.
TEST_F(Batch, TheSubtitleTrackIsNotShownByDefault) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  WriteBytes(Path("clip.exe"), Clip(3));
  for (const char* video : {"--video", "--webm"}) {
    const std::string out = Path(std::string(video[2] == 'v' ? "clip.mp4" : "web.webm"));
    const ToolRun run = Run({"export", Path("clip.exe"), video, out, "--captions"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Probe(out, "-select_streams s:0 -show_entries stream_disposition=default"), "0\n") << video;
  }
}

// A salvaged video ends where the damage stopped the picture: so do its
// last chapter and its container.
TEST_F(Batch, SalvagedChaptersEndWhereThePictureEnds) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  // 12 frames of 200 ms, frame 3 a new scene; the file is cut inside frame 8.
  auto build = [](int frames) {
    Bitmap screen(64, 48);
    recorder::FillTestPattern(screen, 2);
    recorder::RecordingBuilder builder(screen);
    builder.Interval(200).Sound(recorder::ToneWav(3.0)).NoCursor();
    for (int k = 1; k < frames; ++k) {
      if (k == 3) {
        recorder::FillTestPattern(screen, 9);
      } else {
        recorder::FillRect(screen, {4 * k, 8, 4 * k + 8, 16}, 0x00FF00);
      }
      builder.AddFrame(screen);
    }
    return recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build());
  };
  std::vector<uint8_t> cut = build(12);
  cut.resize(build(8).size() + 10);
  WriteBytes(Path("cut.exe"), cut);
  const ToolRun run = Run({"export", Path("cut.exe"), "--video", Path("cut.mp4"), "--salvage"});
  ASSERT_EQ(run.status, 0) << run.err;
  const double picture = std::stod(Probe(Path("cut.mp4"), "-select_streams v:0 -show_entries stream=duration"));
  EXPECT_LT(picture, 1.7);
  const std::vector<std::string> ends = Lines(Probe(Path("cut.mp4"), "-show_entries chapter=end_time"));
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_NEAR(std::stod(ends.back()), picture, 0.05);
  const double container = std::stod(Probe(Path("cut.mp4"), "-show_entries format=duration"));
  EXPECT_NEAR(container, picture, 0.1);
}

TEST_F(Batch, ManyFilesNeedAnOutputFolder) {
  WriteBytes(Path("a.exe"), Clip(1));
  WriteBytes(Path("b.exe"), Clip(2));
  EXPECT_EQ(Run({"export", Path("a.exe"), Path("b.exe"), "--video", Path("x.mp4")}).status, 2);
  EXPECT_EQ(Run({"export", Path("a.exe"), "--out-dir", Path("o"), "--video", Path("x.mp4")}).status, 2);
  EXPECT_EQ(Run({"export", Path("a.exe"), "--out-dir", Path("o"), "--format", "avi"}).status, 2);
  EXPECT_EQ(Run({"export", Path("a.exe"), "--out-dir", Path("o"), "--format", "png", "--captions"}).status, 2);
  EXPECT_EQ(Run({"info", Path("a.exe"), "--progress", "xml"}).status, 2);
  fs::create_directories(dir / "empty");
  const ToolRun none = Run({"info", "--json", Path("empty")});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no recordings found"), std::string::npos) << none.err;
}

TEST(InfoJsonLine, TextFromARecordingStaysOneValidLine) {
  RecordingInfo info;
  info.caption.emplace();
  info.caption->CaptionText = std::string("say \"hi\"\n\x01 \xFF\xFE");
  info.warnings = {"tab\there"};
  const std::string line = InfoJson(info);
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  const json object = json::parse(line);
  // Bytes that are no UTF-8 become U+FFFD.
  EXPECT_EQ(object["caption"]["text"], "say \"hi\"\n\x01 \xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(object["warnings"][0], "tab\there");
  EXPECT_TRUE(object["damage"].is_null());
}

TEST(SceneChapters, StartAtFrameZeroAndAtFramesCoveringMostOfTheScreen) {
  // Frames 1..4 of a 100-pixel screen at 200 ms a frame, 1 s in all.
  EXPECT_TRUE(SceneChapters({10, 20, 49, 0}, 100, 200, 1000).empty());
  // Frame 4 comes 0.4 s after frame 2: on the same run of changes.
  const std::vector<Chapter> chapters = SceneChapters({10, 50, 0, 100}, 100, 200, 1000);
  ASSERT_EQ(chapters.size(), 2u);
  EXPECT_EQ(chapters[0].startMs, 0);
  EXPECT_EQ(chapters[0].endMs, 400);
  EXPECT_EQ(chapters[1].startMs, 400);
  EXPECT_EQ(chapters[1].endMs, 1000);
  // 10 s apart they are two scenes.
  const std::vector<Chapter> apart = SceneChapters({10, 50, 0, 100}, 100, 5000, 25000);
  ASSERT_EQ(apart.size(), 3u);
  EXPECT_EQ(apart[1].startMs, 10000);
  EXPECT_EQ(apart[2].startMs, 20000);
  EXPECT_EQ(apart[2].endMs, 25000);
  EXPECT_NE(FfmetadataChapters({{0, 5, "a=b;c"}}).find("title=a\\=b\\;c\n"), std::string::npos);
}

TEST(WebVtt, OneCueForTheWholeVideoWithMarkupEscaped) {
  EXPECT_EQ(WebVttCaption("a<b>&c", 3723004), "WEBVTT\n\n00:00:00.000 --> 01:02:03.004\na&lt;b&gt;&amp;c\n");
}

}  // namespace
}  // namespace sp::tool
