// What a new user meets first: outputs that exist, files that are no
// recordings, lengths that agree, and the tool saying what it wrote.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/canvas.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/command_line.h"
#include "playback/frame_clock.h"
#include "tools/mp4_tracks.h"
#include "tools/pack.h"
#include "tools/png_io.h"

namespace sp::tool {
namespace {

using testing::ToolRun;

class FirstUse : public testing::ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    Bitmap screen(96, 64);
    recorder::FillTestPattern(screen, 5);
    recorder::RecordingBuilder builder(screen);
    builder.NoCursor().Interval(250).Sound(recorder::ToneWav(1.0));
    for (int k = 1; k < 5; ++k) {
      recorder::FillRect(screen, {8 * k, 8, 8 * k + 16, 24}, 0x103060 * k);
      builder.AddFrame(screen);
    }
    recording = Path("lesson.exe");
    bytes = recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build());
    WriteBytes(recording, bytes);
    WriteBytes(Path("stub"), recorder::ZeroStub());
    std::filesystem::create_directory(Path("pictures"));
    for (int k = 0; k < 3; ++k) {
      recorder::FillRect(screen, {0, 0, 10 * (k + 1), 10}, 0xFFFFFF);
      WritePng(Path("pictures/shot-" + std::to_string(k) + ".png"), screen);
    }
  }

  // Writes a file that any command would have to overwrite.
  std::string Existing(const std::string& name) const {
    const std::string path = Path(name);
    WriteBytes(path, {'o', 'l', 'd'});
    return path;
  }

  std::string recording;
  std::vector<uint8_t> bytes;
};

// Every command that writes a file refuses one that exists and keeps it
// as it was; with --force it writes.
TEST_F(FirstUse, EveryCommandThatWritesRefusesAnExistingOutputWithoutForce) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
      {"sound.wav", {"extract-sound", recording, "-o", Path("sound.wav")}},
      {"thumb.png", {"thumbnail", recording, Path("thumb.png")}},
      {"again.exe", {"repack", recording, "--stub", Path("stub"), "-o", Path("again.exe")}},
      {"packed.exe",
       {"pack", "--frames", Path("pictures"), "--interval", "200", "--stub", Path("stub"), "-o",
        Path("packed.exe")}},
  };
  for (const auto& [name, args] : commands) {
    SCOPED_TRACE(args[0]);
    const std::string output = Existing(name);
    const ToolRun refused = Run(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(output + " exists already; --force overwrites it"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadText(output), "old");

    std::vector<std::string> forced = args;
    forced.push_back("--force");
    const ToolRun written = Run(forced);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_GT(std::filesystem::file_size(output), 3u);
  }
  // export has refused all along; the rule is the same.
  const std::string video = Existing("lesson.gif");
  const ToolRun exported = Run({"export", recording, "--gif", video});
  EXPECT_EQ(exported.status, 1);
  EXPECT_NE(exported.err.find(video + " exists already; --force overwrites it"), std::string::npos)
      << exported.err;
}


// 250 ms plays as 6 ticks of 41 ms: info gives the length that plays, and
// pack says so before it packs, naming intervals that play as given.
TEST_F(FirstUse, LengthsAreWhatThePlayerPlays) {
  const ToolRun text = Run({"info", recording});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("5, every 250 ms (6 ticks of 41 ms), 0.98 s as played (1.00 s by the interval)"),
            std::string::npos)
      << text.out;
  const ToolRun json = Run({"info", "--json", recording});
  EXPECT_NE(json.out.find("\"durationSeconds\":0.984,\"headerDurationSeconds\":1.0"), std::string::npos)
      << json.out;

  const std::vector<std::string> pack = {"pack", "--frames", Path("pictures"), "--stub", Path("stub"), "-o"};
  std::vector<std::string> uneven = pack;
  uneven.insert(uneven.end(), {Path("uneven.exe"), "--interval", "250"});
  const ToolRun warned = Run(uneven);
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_NE(warned.err.find("warning: 250 ms plays as 6 ticks of 41 ms, 246 ms a frame"), std::string::npos)
      << warned.err;
  EXPECT_NE(warned.err.find("246 or 252 ms play exactly as given"), std::string::npos) << warned.err;
  std::vector<std::string> even = pack;
  even.insert(even.end(), {Path("even.exe"), "--interval", "246"});
  const ToolRun quiet = Run(even);
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
}

// A damaged recording: beside the header's totals, what can be played.
TEST_F(FirstUse, InfoOnADamagedRecordingSaysWhatPlays) {
  std::vector<uint8_t> cut = bytes;
  cut.resize(cut.size() - 40);  // inside the last frame's record
  WriteBytes(Path("cut.exe"), cut);
  const ToolRun text = Run({"info", Path("cut.exe")});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("playable    4 of 5 frames, 0.74 s, up to the damage"), std::string::npos) << text.out;
  const ToolRun json = Run({"info", "--json", Path("cut.exe")});
  EXPECT_NE(json.out.find("\"playableFrames\":4,\"playableSeconds\":0.738"), std::string::npos) << json.out;
}

// pack puts the Windows player in front when it is built, and says so.
TEST_F(FirstUse, PackSaysWhichPlayerItWroteAndHowToGetTheOther) {
  // This program beside a Windows stub of its own: an MZ header leading to
  // a PE header for x64.
  std::filesystem::create_directory(Path("bin"));
  std::filesystem::copy_file(SELFPLAY_TOOL_PATH, Path("bin/selfplay-tool"));
  std::vector<uint8_t> stub = recorder::ZeroStub();
  stub[0] = 'M';
  stub[1] = 'Z';
  stub[0x3C] = 0x40;
  const uint8_t pe[] = {'P', 'E', 0, 0, 0x64, 0x86};
  std::copy(std::begin(pe), std::end(pe), stub.begin() + 0x40);
  WriteBytes(Path("bin/selfplay.exe"), stub);
  const std::string command = "'" + Path("bin/selfplay-tool") + "' pack --frames '" + Path("pictures") +
                              "' --interval 240 -o '" + Path("talk") + "' 2>'" + Path("err") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(Path("err"));
  const std::string said = ReadText(Path("err"));
  EXPECT_NE(said.find(Path("talk") + " holds the Windows player"), std::string::npos) << said;
  EXPECT_NE(said.find("--for linux writes the Linux player"), std::string::npos) << said;
}


// One wording for a file that is not there, is a folder, or holds no
// recording, whichever command reads it; a damaged recording is named by
// its damage instead.
TEST_F(FirstUse, EveryCommandNamesAFileThatIsNotARecordingAlike) {
  WriteBytes(Path("small.exe"), std::vector<uint8_t>(4096, 'x'));
  std::filesystem::create_directory(Path("folder"));
  std::vector<uint8_t> inSound = bytes;
  inSound.resize(PAYLOAD_OFFSET + 9000);
  WriteBytes(Path("in-sound.exe"), inSound);
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {Path("missing.exe"), ": No such file or directory"},
      {Path("small.exe"),
       ": is not a recording (lead word: the file of 4,096 bytes ends before the payload offset 495,616)"},
      {Path("in-sound.exe"), ": lead word: the lead word points the video stream at offset "},
  };
  for (const auto& [input, words] : inputs) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", input}, {"export", input, "--frames", Path("frames")},
          {"thumbnail", input, Path("t.png")}, {"extract-sound", input, "-o", Path("s.wav")}}) {
      SCOPED_TRACE(args[0] + " " + input);
      const ToolRun run = Run(args);
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("selfplay-tool " + args[0] + ": " + input + words), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find("no recording"), std::string::npos) << run.err;
    }
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"thumbnail", Path("folder"), Path("out")},
                                               {"extract-sound", Path("folder"), "-o", Path("out")}}) {
    const ToolRun run = Run(args);
    EXPECT_NE(run.err.find(Path("folder") + ": Is a directory"), std::string::npos) << run.err;
  }
}


// --version for each program; help on stdout with status 0, mistakes on
// stderr with status 2; values completed in every shell.
TEST_F(FirstUse, VersionsHelpAndCompletedValues) {
  ToolRun run = RunProgram("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("selfplay-tool ", 0), 0u) << run.out;
  const std::string demo = "'" SELFPLAY_MAKE_DEMO_PATH "'";
  const std::string outputs = " >'" + Path("o") + "' 2>'" + Path("e") + "'";
  EXPECT_EQ(std::system((demo + " --version" + outputs).c_str()), 0);
  EXPECT_EQ(ReadText(Path("o")).rfind("selfplay-make-demo ", 0), 0u);
  EXPECT_EQ(std::system((demo + " --help" + outputs).c_str()), 0);
  EXPECT_NE(ReadText(Path("o")).find("usage: selfplay-make-demo STUB OUTPUT"), std::string::npos);
  EXPECT_EQ(ReadText(Path("e")), "");
  EXPECT_EQ(WEXITSTATUS(std::system((demo + outputs).c_str())), 2);
  EXPECT_NE(ReadText(Path("e")).find("usage:"), std::string::npos);

  // Every row of the overall help starts its summary in one column.
  run = Run({"help"});
  size_t column = std::string::npos;
  for (const char* name : {"info", "completion", "help"}) {
    const size_t row = run.out.find("\n  " + std::string(name) + " ");
    ASSERT_NE(row, std::string::npos) << name;
    const size_t summary = run.out.find_first_not_of(' ', row + 3 + std::string(name).size()) - row;
    if (column == std::string::npos) column = summary;
    EXPECT_EQ(summary, column) << name;
  }

  const std::string bash = Run({"completion", "bash"}).out;
  EXPECT_NE(bash.find("--format) COMPREPLY=($(compgen -W 'mp4 webm gif png html'"), std::string::npos);
  EXPECT_NE(bash.find("--for) COMPREPLY=($(compgen -W 'windows linux'"), std::string::npos);
  EXPECT_NE(bash.find("--progress) COMPREPLY=($(compgen -W 'json'"), std::string::npos);
  EXPECT_NE(bash.find("compgen -W 'bash zsh fish'"), std::string::npos);
  EXPECT_NE(Run({"completion", "zsh"}).out.find(":(mp4 webm gif png html)"), std::string::npos);
  EXPECT_NE(Run({"completion", "zsh"}).out.find("'1:bash|zsh|fish:(bash zsh fish)'"), std::string::npos);
  EXPECT_NE(Run({"completion", "fish"}).out.find("-l for -x -a 'windows linux'"), std::string::npos);
  EXPECT_NE(Run({"completion", "fish"}).out.find("completion' -a 'bash zsh fish'"), std::string::npos);
}


TEST(FrameClock, IntervalsThatAreNoWholeNumberOfTicksAndTheirNeighbours) {
  EXPECT_EQ(FrameClock(250).FrameMilliseconds(), 246);
  EXPECT_EQ(FrameClock(250).MillisecondsOfFrame(639), 157'194);
  EXPECT_EQ(FrameClock(250).MillisecondsOfFrame(0), 0);
  EXPECT_EQ(FrameClock(39).FrameMilliseconds(), 0);
  EXPECT_FALSE(ExactIntervalsNear(40));
  EXPECT_FALSE(ExactIntervalsNear(246));
  EXPECT_FALSE(ExactIntervalsNear(39));
  const auto near = ExactIntervalsNear(81);  // 2 ticks of 40 ms
  ASSERT_TRUE(near);
  EXPECT_EQ(near->below, 80);
  EXPECT_EQ(near->above, 82);
  EXPECT_TRUE(ExactIntervalsNear(INT32_MAX));  // no search runs past the end
}

// The subtitle flag is cleared in ffmpeg's own files; anything else, cut or
// foreign, is left as it is.
TEST_F(FirstUse, SubtitleFlagsOfFilesThatAreNoMp4AreLeftAlone) {
  std::vector<uint8_t> boxes = {0, 0, 0, 8, 'f', 't', 'y', 'p', 0, 0, 0, 40, 'm', 'o', 'o', 'v',
                                0, 0, 0, 99, 't', 'r', 'a', 'k'};  // a trak larger than its moov
  boxes.resize(48, 0xFF);
  WriteBytes(Path("odd.mp4"), boxes);
  EXPECT_NO_THROW(DisableSubtitleTracks(Path("odd.mp4")));
  EXPECT_EQ(ReadWholeFile(Path("odd.mp4")), boxes);
  WriteBytes(Path("empty.mp4"), {});
  EXPECT_NO_THROW(DisableSubtitleTracks(Path("empty.mp4")));
  EXPECT_THROW(DisableSubtitleTracks(Path("missing.mp4")), ToolError);
}

}  // namespace
}  // namespace sp::tool
