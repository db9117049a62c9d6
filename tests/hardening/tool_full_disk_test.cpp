// The tool's writing commands on a full disk (a file-size limit, SIGXFSZ
// ignored, for the program and the ffmpeg it starts): a clear error naming
// the output, exit status 1, and nothing left under the output's name.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/test_media.h"
#include "tests/hardening/realistic_recording.h"
#include "tests/tool/tool_fixture.h"
#include "tools/png_io.h"

namespace sp::tool::testing {
namespace {

namespace fs = std::filesystem;

class ToolFullDisk : public ToolTest {
 protected:
  // `blocks` of 512 bytes for any one file, as sh's ulimit -f counts.
  ToolRun RunFull(const std::string& arguments, int blocks) const {
    return RunProgram(arguments, "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + ";");
  }

  void WriteRecording(const std::string& name, double soundSeconds, int frames = 24) const {
    hardening::RealisticShape shape;
    shape.frames = frames;
    shape.soundSeconds = soundSeconds;
    WriteBytes(Path(name), recorder::MakeSelfPlaying(recorder::ZeroStub(),
                                                     hardening::MakeRealisticRecording(11, shape)));
  }

  // The run failed, said so naming `output`, and left nothing of it, nor
  // a file on the side, in the folder.
  void ExpectRefusedAndGone(const ToolRun& run, const std::string& output,
                            const std::vector<std::string>& before) const {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(output), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(output)) << output;
    std::vector<std::string> after;
    for (const auto& entry : fs::directory_iterator(dir)) after.push_back(entry.path().filename().string());
    std::sort(after.begin(), after.end());
    std::vector<std::string> expected = before;
    for (const char* name : {"program.out", "program.err"}) {
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(after, expected);
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
  }
};

TEST_F(ToolFullDisk, PackAndRepackLeaveNoPartOfTheExecutable) {
  fs::create_directories(Path("pictures"));
  Bitmap screen(96, 64);
  for (int k = 0; k < 3; ++k) {
    recorder::FillTestPattern(screen, static_cast<uint32_t>(k + 1));
    WritePng(Path("pictures/shot-" + std::to_string(k) + ".png"), screen);
  }
  WriteBytes(Path("stub"), recorder::ZeroStub());
  WriteRecording("lesson.exe", 0.5);
  const std::vector<std::string> before = Names();

  // The executable is the stub's 495,616 bytes and more.
  const ToolRun pack = RunFull("pack --frames '" + Path("pictures") + "' --interval 200 --stub '" + Path("stub") +
                                   "' -o '" + Path("packed.exe") + "'",
                               400);
  ExpectRefusedAndGone(pack, Path("packed.exe"), before);
  const ToolRun repack =
      RunFull("repack '" + Path("lesson.exe") + "' --stub '" + Path("stub") + "' -o '" + Path("re.exe") + "'", 400);
  ExpectRefusedAndGone(repack, Path("re.exe"), before);

  // A device is written as it is, never replaced.
  const ToolRun full = RunProgram("repack '" + Path("lesson.exe") + "' --stub '" + Path("stub") + "' -o /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("/dev/full"), std::string::npos) << full.err;
  struct stat device {};
  ASSERT_EQ(::stat("/dev/full", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode));
}

TEST_F(ToolFullDisk, ExtractSoundAndThumbnailLeaveNoPartOfTheirOutput) {
  WriteRecording("talk.exe", 8.0);  // about 88 KB of sound
  WriteRecording("silent.exe", 0);
  const std::vector<std::string> before = Names();

  const ToolRun sound = RunFull("extract-sound '" + Path("talk.exe") + "' -o '" + Path("talk.wav") + "'", 100);
  ExpectRefusedAndGone(sound, Path("talk.wav"), before);

  // A silent recording: the picture is the only file written.
  const ToolRun thumb =
      RunFull("thumbnail '" + Path("silent.exe") + "' '" + Path("thumb.png") + "' --size 256", 1);
  ExpectRefusedAndGone(thumb, Path("thumb.png"), before);
}

TEST_F(ToolFullDisk, ExportLeavesNoPartOfItsVideoOrFrames) {
  WriteRecording("lesson.exe", 0, 96);  // silent: the outputs are the only files written
  const std::vector<std::string> before = Names();

  const ToolRun video = RunFull("export '" + Path("lesson.exe") + "' --video '" + Path("lesson.mp4") + "'", 8);
  ExpectRefusedAndGone(video, Path("lesson.mp4"), before);

  const ToolRun frames = RunFull("export '" + Path("lesson.exe") + "' --frames '" + Path("frames") + "'", 8);
  ExpectRefusedAndGone(frames, Path("frames"), before);
}

}  // namespace
}  // namespace sp::tool::testing
