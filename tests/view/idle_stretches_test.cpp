#include "playback/idle_stretches.h"

#include <gtest/gtest.h>

#include "../engine/engine_fixture.h"
#include "payload/wav_samples.h"
#include "playback/seekable_playback.h"

namespace sp::testing {
namespace {

// 200 ms frames: busy frames 1-4, still frames 5-24 (4 s), busy 25-29,
// still 30-34 (1 s, too short), busy to the end.
recorder::Recording StillAndBusy(std::vector<uint8_t> wav) {
  Bitmap screen(96, 64);
  recorder::FillTestPattern(screen, 2);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).FirstCursor(10, 10).Sound(std::move(wav));
  for (int k = 1; k < 40; ++k) {
    const bool still = (k >= 5 && k <= 24) || (k >= 30 && k <= 34);
    if (!still) recorder::FillRect(screen, {k, k, k + 20, k + 9}, 0x00FF00 * (k & 1) + 0x40);
    builder.AddFrame(screen, still ? std::nullopt
                                   : std::optional<recorder::CursorPosition>({10 + k, 10}));
  }
  return builder.Build();
}

// 8 s of tone, silent from `quietFrom` to `quietTo` seconds except for a
// click at `clickAt` (none when negative).
std::vector<uint8_t> ToneWithSilence(double quietFrom, double quietTo, double clickAt = -1) {
  std::vector<uint8_t> wav = recorder::ToneWav(8.0);
  const size_t data = 44;
  for (size_t i = static_cast<size_t>(quietFrom * 11025); i < static_cast<size_t>(quietTo * 11025); ++i) {
    wav[data + i] = 128;
  }
  if (clickAt >= 0) wav[data + static_cast<size_t>(clickAt * 11025)] = 250;
  return wav;
}

class IdleStretchesTest : public EngineTest {
 protected:
  std::vector<IdleStretch> Find(const std::vector<uint8_t>& wav) {
    Write(StillAndBusy(wav));
    playback = SeekablePlayback::Open(exePath);
    WavSamples sound;
    EXPECT_TRUE(DecodeWavSamples(playback->ExpandSound(), &sound));
    return FindIdleStretches(*playback, sound);
  }
  std::unique_ptr<SeekablePlayback> playback;
};

TEST_F(IdleStretchesTest, StillSilentStretchesLongerThanTwoSecondsKeepHalfASecond) {
  // Frame 5 begins at 1 s; during frame 24 (from 4.8 s) the cursor moves
  // toward its place in frame 25.
  const auto stretches = Find(ToneWithSilence(0.5, 6.5));
  ASSERT_EQ(stretches.size(), 1u);
  EXPECT_DOUBLE_EQ(stretches[0].start, 1000 + 500);
  EXPECT_DOUBLE_EQ(stretches[0].end, 4800);

  // Nothing that changes is skipped: every tick skipped shows what the
  // stretch's first tick shows.
  const Bitmap& first = playback->PictureAt(playback->TickAt(1000));
  std::vector<Pixel> expected(first.Data(), first.Data() + first.Width() * first.Height());
  for (int64_t t = playback->TickAt(1500); t < playback->TickAt(4800); ++t) {
    const Bitmap& p = playback->PictureAt(t);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), p.Data())) << "tick " << t;
  }
  EXPECT_FALSE(std::equal(expected.begin(), expected.end(),
                          playback->PictureAt(playback->TickAt(4800) + 1).Data()));
}

TEST_F(IdleStretchesTest, SoundBreaksAStretch) {
  // Sound all along: nothing is idle.
  EXPECT_TRUE(Find(recorder::ToneWav(8.0)).empty());
  // A click at 2.0 s: 1.0 .. 2.0 is too short, 2.0 .. 4.8 is skipped from 2.5.
  auto stretches = Find(ToneWithSilence(0.5, 6.5, 2.0));
  ASSERT_EQ(stretches.size(), 1u);
  EXPECT_NEAR(stretches[0].start, 2500, 1);
  EXPECT_DOUBLE_EQ(stretches[0].end, 4800);
  // A click at 3.0 s leaves two stretches of 2 s or less.
  EXPECT_TRUE(Find(ToneWithSilence(0.5, 6.5, 3.0)).empty());
}

}  // namespace
}  // namespace sp::testing
