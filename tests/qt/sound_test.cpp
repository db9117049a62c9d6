// The sound track on the desktop: written to TMPDIR, played through SDL's
// disk driver, and the program's end after the last frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/qt/player_fixture.h"

namespace sp::qt_test {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using PlayerSoundTest = PlayerTest;

TEST_F(PlayerSoundTest, RecordingPlaysItsSoundAndExitsWithZeroAfterItsLastFrame) {
  constexpr double kSeconds = 0.4;
  const std::vector<uint8_t> wav = recorder::ToneWav(kSeconds, 7);
  const std::vector<uint8_t> samples =
      recorder::ToneSamples(static_cast<size_t>(kSeconds * 11025), 7);
  recorder::RecordingBuilder builder(*Solid(200, 150, 0x808080));
  builder.Interval(400).Sound(wav);
  for (int k = 1; k < 5; ++k) builder.AddFrame(*Solid(200, 150, 0x202020 * k));

  const std::string output = workDir_ + "/played.raw";
  Launch(WritePlayer(builder.Build()),
         {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", output}});
  int code = -1;
  ASSERT_TRUE(WaitForExit(&code, 20s));
  EXPECT_EQ(code, 0);

  EXPECT_EQ(ReadAll(workDir_ + "/vexa.wav"), wav);
  // The disk driver writes what the device played, in the WAV's own format
  // (8-bit mono 11,025 Hz), after whatever silence came first.
  const std::vector<uint8_t> played = ReadAll(output);
  ASSERT_GE(played.size(), samples.size());
  EXPECT_NE(std::search(played.begin(), played.end(), samples.begin(), samples.end()), played.end());
}

}  // namespace
}  // namespace sp::qt_test
