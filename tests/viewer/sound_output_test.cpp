// The viewer's sound follows the picture's clock: after seeks, pauses and
// speed changes, each buffer comes from where the clock stands when it is
// heard. Driven without an output device.
#include "viewer/sound_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "payload/wav_samples.h"
#include "recorder/test_media.h"

namespace sp::view {
namespace {

constexpr int kRate = 11025;
constexpr int kBuffer = 256;  // frames: 23 ms

class SoundOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DecodeWavSamples(recorder::ToneWav(60.0, 5), &sound));
    output.Prepare(sound, kBuffer);
  }

  // Fills one buffer and says how far the sound stands from the clock at
  // the moment the buffer is heard, in milliseconds.
  double FillAndCompare() {
    const auto heard = MediaClock::Steady::now() + std::chrono::microseconds(kBuffer * 1'000'000LL / kRate);
    output.Fill(buffer, kBuffer);
    return output.PositionMilliseconds() - clock.At(heard);
  }

  WavSamples sound;
  MediaClock clock;
  SoundOutput output{clock};
  int16_t buffer[kBuffer];
};

TEST_F(SoundOutputTest, FollowsSeeksPausesAndSpeeds) {
  clock.Seek(3000);
  clock.SetPaused(false);
  EXPECT_NEAR(FillAndCompare(), 0, 5);
  // At 1x the samples are the track's own from there on.
  const int64_t from = static_cast<int64_t>(std::floor(output.PositionMilliseconds() * kRate / 1000 + 1e-6));
  for (int i = 0; i < kBuffer; i += 37) EXPECT_EQ(buffer[i], sound.samples[from + i]) << i;

  for (double speed : {2.0, 0.5, 1.25, 4.0, 1.0}) {
    clock.SetSpeed(speed);
    clock.Seek(speed * 7000);
    // As a device would: a buffer every 23 ms, for half a second.
    for (int n = 0; n < 22; ++n) {
      ASSERT_NEAR(FillAndCompare(), 0, 40) << "speed " << speed << ", buffer " << n;
      std::this_thread::sleep_for(std::chrono::microseconds(kBuffer * 1'000'000LL / kRate));
    }
  }

  clock.SetPaused(true);
  output.Fill(buffer, kBuffer);
  for (int16_t s : buffer) ASSERT_EQ(s, 0);
}

TEST_F(SoundOutputTest, MuteAndVolumeScaleTheSamples) {
  clock.Seek(1000);
  clock.SetPaused(false);
  output.SetVolume(0.5f);
  output.Fill(buffer, kBuffer);
  const int64_t from = static_cast<int64_t>(std::floor(output.PositionMilliseconds() * kRate / 1000 + 1e-6));
  for (int i = 0; i < kBuffer; i += 41) EXPECT_NEAR(buffer[i], sound.samples[from + i] / 2, 1);
  output.SetMuted(true);
  output.Fill(buffer, kBuffer);
  for (int16_t s : buffer) ASSERT_EQ(s, 0);
}

// An hour of playing, on a clock the test moves: the sound stays within
// 40 ms of the picture all along, with a device whose clock runs exactly
// with the system's and with one 100 ppm fast (which alone would put the
// sound 360 ms ahead after an hour), at 1x and stretched at 1.5x.
MediaClock::Steady::time_point fakeNow;
MediaClock::Steady::time_point FakeNow() { return fakeNow; }

TEST(SoundOutputHour, NoDriftOverAnHour) {
  WavSamples sound;
  ASSERT_TRUE(DecodeWavSamples(recorder::ToneWav(2.0, 5), &sound));
  struct Run {
    double speed;
    double deviceRateError;  // relative: the device asks for buffers this much sooner
  };
  for (const Run run : {Run{1.0, 0.0}, Run{1.0, 1e-4}, Run{1.5, 1e-4}}) {
    fakeNow = MediaClock::Steady::time_point{};
    MediaClock clock(&FakeNow);
    SoundOutput output(clock);
    output.Prepare(sound, kBuffer);
    clock.SetSpeed(run.speed);
    clock.Seek(1000);
    clock.SetPaused(false);
    int16_t buffer[kBuffer];
    const double bufferSeconds = static_cast<double>(kBuffer) / kRate * (1.0 - run.deviceRateError);
    const int buffers = static_cast<int>(3600.0 / bufferSeconds);
    double worst = 0;
    double elapsed = 0;
    for (int n = 0; n < buffers; ++n) {
      const auto heard = fakeNow + std::chrono::microseconds(kBuffer * 1'000'000LL / kRate);
      output.Fill(buffer, kBuffer);
      worst = std::max(worst, std::abs(output.PositionMilliseconds() - clock.At(heard)));
      elapsed += bufferSeconds;
      fakeNow = MediaClock::Steady::time_point{} +
                std::chrono::duration_cast<MediaClock::Steady::duration>(std::chrono::duration<double>(elapsed));
    }
    EXPECT_LE(worst, 40) << "speed " << run.speed << ", device off by " << run.deviceRateError;
    // The hour really went by on the recording's time line.
    EXPECT_NEAR(clock.Now(), 1000 + 3600'000 * run.speed, 100);
  }
}

}  // namespace
}  // namespace sp::view
