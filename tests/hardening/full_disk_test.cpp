// The player's sound file on a full disk: one box for the sound, the picture
// plays on to its end, and no part of the file is left to pass for the
// recording's sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "playback/sound_device.h"
#include "recorder/payload_writer.h"
#include "tests/hardening/file_size_limit.h"
#include "tests/hardening/headless_run.h"
#include "tests/hardening/realistic_recording.h"

namespace sp::hardening {
namespace {

namespace fs = std::filesystem;

TEST(FullDisk, SoundFileCutShortIsReportedRemovedAndThePicturePlaysOn) {
  ScratchDir dir("full-disk");
  RealisticShape shape;
  shape.frames = 12;
  shape.soundSeconds = 3.0;  // a WAV of about 33 KB
  const std::string exe = dir.File("LESSON.EXE");
  ASSERT_TRUE(recorder::WriteFile(exe, recorder::MakeSelfPlaying(recorder::ZeroStub(), MakeRealisticRecording(7, shape))));
  const std::string sound = dir.File("vexa.wav");

  const RunOutcome whole = PlayHeadless(exe, dir.Path(), {.tickBudget = 100000});
  ASSERT_TRUE(whole.closed);
  ASSERT_TRUE(whole.boxes.empty()) << whole.boxes.front().text;
  ASSERT_GT(fs::file_size(sound), 20000u);
  fs::remove(sound);

  // Nothing fits; a part fits; all but the end fits (the last write, or the
  // close, is the one refused).
  for (const rlim_t limit : {rlim_t{0}, rlim_t{4096}, rlim_t{30000}}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    RunOutcome run;
    {
      const FileSizeLimit full(limit);
      run = PlayHeadless(exe, dir.Path(), {.tickBudget = 100000});
    }
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kSoundReadFailedText);
    EXPECT_TRUE(run.closed) << "the picture did not play to its end";
    EXPECT_EQ(run.ticks, whole.ticks);
    EXPECT_FALSE(fs::exists(sound));
  }
}

}  // namespace
}  // namespace sp::hardening
