// The sound track expanded on demand: resuming from checkpoints, random
// reads against the whole expansion, indexing in slices, damaged tracks.

#include "payload/sound_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "payload/payload_reader.h"
#include "payload/sound_expander.h"
#include "recorder/byte_writer.h"
#include "recorder/sound_coder.h"
#include "recorder/test_media.h"

namespace sp {
namespace {

void Put(recorder::ByteWriter& out, const std::vector<uint8_t>& bytes) { out.Bytes(bytes); }

// A 16-bit WAV file of `channels` channels, a different ramp per channel.
std::vector<uint8_t> Wav16(int64_t frames, int channels, int rate) {
  std::vector<uint8_t> wav;
  recorder::ByteWriter out(wav);
  const uint32_t data = static_cast<uint32_t>(frames * channels * 2);
  Put(out, {'R', 'I', 'F', 'F'});
  out.Int32(static_cast<int32_t>(36 + data));
  Put(out, {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  out.Int32(16);
  const std::vector<uint8_t> format{1, 0, static_cast<uint8_t>(channels), 0};
  out.Bytes(format);
  out.Int32(rate);
  out.Int32(rate * channels * 2);
  Put(out, {static_cast<uint8_t>(channels * 2), 0, 16, 0, 'd', 'a', 't', 'a'});
  out.Int32(static_cast<int32_t>(data));
  std::mt19937 random(3);
  for (int64_t i = 0; i < frames * channels; ++i) {
    const auto sample = static_cast<uint16_t>((i * 37 + (i % channels) * 9000) ^ (random() & 0x3F));
    Put(out, {static_cast<uint8_t>(sample & 0xFF), static_cast<uint8_t>(sample >> 8)});
  }
  return wav;
}

// The sound-track item behind a few bytes of something else, and followed
// by bytes that stand for the video stream.
struct Track {
  std::vector<uint8_t> file;
  int64_t offset = 0;
  int64_t end = 0;
};

Track TrackOf(const std::vector<uint8_t>& wav) {
  Track t;
  t.file.assign(100, 0xAB);
  t.offset = static_cast<int64_t>(t.file.size());
  const std::vector<uint8_t> item = recorder::EncodeSoundTrack(wav);
  t.file.insert(t.file.end(), item.begin(), item.end());
  t.end = static_cast<int64_t>(t.file.size());
  t.file.insert(t.file.end(), 300, 0xFF);
  return t;
}

std::vector<uint8_t> ExpandFrom(Stream& file, const Track& t, const SoundCheckpoint* from,
                                std::vector<SoundCheckpoint>* checkpoints = nullptr) {
  file.Seek(t.offset, SeekOrigin::Begin);
  SoundExpander expander(file, t.end);
  if (from) expander.Resume(*from);
  std::vector<uint8_t> bytes;
  if (checkpoints) checkpoints->push_back(expander.Checkpoint());
  for (auto chunk = expander.Next(); !chunk.empty(); chunk = expander.Next()) {
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    if (checkpoints) checkpoints->push_back(expander.Checkpoint());
  }
  return bytes;
}

TEST(SoundExpanderTest, ExpandingFromAnyCheckpointEqualsExpandingFromTheStart) {
  for (bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "bit stream cut short" : "whole track");
    const std::vector<uint8_t> wav = recorder::ToneWav(12.0, 4);
    Track t = TrackOf(wav);
    if (cut) {
      t.file.resize(static_cast<size_t>(t.offset + (t.end - t.offset) * 2 / 3));
      t.end = -1;
    }
    ByteViewStream file(t.file);
    std::vector<SoundCheckpoint> checkpoints;
    const std::vector<uint8_t> whole = ExpandFrom(file, t, nullptr, &checkpoints);
    if (cut) {
      EXPECT_LT(whole.size(), wav.size());
    } else {
      EXPECT_EQ(whole, wav);
    }
    EXPECT_EQ(std::vector<uint8_t>(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(whole.size())), whole);
    ASSERT_GT(checkpoints.size(), 4u);
    for (const SoundCheckpoint& at : checkpoints) {
      SCOPED_TRACE(at.decoded);
      const std::vector<uint8_t> rest = ExpandFrom(file, t, &at);
      EXPECT_TRUE(std::equal(rest.begin(), rest.end(), whole.begin() + at.decoded, whole.end()) &&
                  rest.size() == whole.size() - static_cast<size_t>(at.decoded));
    }
  }
}

TEST(SoundExpanderTest, TreeCutOffIsDamageAndGivesNothing) {
  const Track t = TrackOf(recorder::ToneWav(1.0));
  std::vector<uint8_t> cut(t.file.begin(), t.file.begin() + t.offset + 4000);
  ByteViewStream file(cut);
  file.Seek(t.offset, SeekOrigin::Begin);
  SoundExpander expander(file, -1);
  EXPECT_TRUE(expander.Next().empty());
  EXPECT_EQ(expander.Status(), SoundDecodeStatus::kDamaged);
}

class SoundSamplesTest : public ::testing::Test {
 protected:
  // Random reads, near and far, in any order, against the whole expansion.
  static void ExpectReadsAgree(SoundSamples& sound, const WavSamples& reference, uint32_t seed) {
    ASSERT_EQ(sound.Format().channels, reference.channels);
    ASSERT_EQ(sound.Format().rate, reference.rate);
    ASSERT_EQ(sound.FrameCount(), reference.Frames());
    const int channels = reference.channels;
    std::mt19937 random(seed);
    int64_t at = 0;
    for (int n = 0; n < 300; ++n) {
      const int count = 1 + static_cast<int>(random() % 3000);
      switch (random() % 4) {
        case 0: at = static_cast<int64_t>(random() % (reference.Frames() + 200)) - 100; break;
        case 1: at += count; break;  // reading on, as a sound output does
        case 2: at -= static_cast<int64_t>(random() % 500); break;  // a small step back
        default: at = reference.Frames() - count / 2; break;  // across the end
      }
      std::vector<int16_t> got(static_cast<size_t>(count) * channels, 99);
      const int64_t from = sound.ReadSamples(at, count, got.data());
      std::vector<int16_t> want(got.size(), 0);
      int64_t inside = 0;
      for (int i = 0; i < count; ++i) {
        const int64_t frame = at + i;
        if (frame < 0 || frame >= reference.Frames()) continue;
        ++inside;
        for (int c = 0; c < channels; ++c) {
          want[static_cast<size_t>(i) * channels + c] = reference.samples[static_cast<size_t>(frame * channels + c)];
        }
      }
      ASSERT_EQ(from, inside) << "at " << at << " count " << count;
      ASSERT_EQ(got, want) << "at " << at << " count " << count;
    }
  }
};

TEST_F(SoundSamplesTest, RandomReadsEqualTheWholeExpansion) {
  for (const auto& wav : {recorder::ToneWav(20.0, 2), Wav16(90'000, 2, 22050), Wav16(30'001, 3, 8000)}) {
    WavSamples reference;
    ASSERT_TRUE(DecodeWavSamples(wav, &reference));
    const Track t = TrackOf(wav);
    SoundSamples sound(std::make_unique<ByteViewStream>(t.file), t.offset, t.end);
    sound.CompleteIndex();
    EXPECT_EQ(sound.Status(), SoundDecodeStatus::kComplete);
    EXPECT_TRUE(sound.IsPcm());
    // Checkpoints at most a stretch apart, and not much closer: the index
    // stays small.
    const auto& checkpoints = sound.Checkpoints();
    for (size_t i = 1; i < checkpoints.size(); ++i) {
      EXPECT_LE(checkpoints[i].decoded - checkpoints[i - 1].decoded, SoundSamples::kCheckpointBytes);
    }
    EXPECT_LE(static_cast<int64_t>(checkpoints.size()),
              2 + 2 * sound.DecodedBytes() / SoundSamples::kCheckpointBytes);
    ExpectReadsAgree(sound, reference, static_cast<uint32_t>(wav.size()));
  }
}

TEST_F(SoundSamplesTest, IndexedInSlicesTheSoundGrowsAndReadsTheSame) {
  const std::vector<uint8_t> wav = recorder::ToneWav(15.0, 9);
  WavSamples reference;
  ASSERT_TRUE(DecodeWavSamples(wav, &reference));
  const Track t = TrackOf(wav);
  ByteViewStream file(t.file);
  SoundSamples sound(file, t.offset, t.end);
  EXPECT_EQ(sound.FrameCount(), 0);
  int slices = 0;
  int64_t frames = 0;
  while (!sound.IndexSome(5000)) {
    ++slices;
    EXPECT_GT(sound.FrameCount(), frames);
    frames = sound.FrameCount();
    // What is indexed so far reads as the whole expansion has it; the
    // shared stream is moved between the slices, as another reader would.
    std::vector<int16_t> got(100);
    ASSERT_EQ(sound.ReadSamples(frames - 100, 100, got.data()), 100);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), reference.samples.begin() + (frames - 100)));
    file.Seek(3, SeekOrigin::Begin);
  }
  EXPECT_GT(slices, 5);
  ExpectReadsAgree(sound, reference, 7);
}

TEST_F(SoundSamplesTest, DamagedTracksGiveWhatWasDecoded) {
  const std::vector<uint8_t> wav = recorder::ToneWav(6.0, 5);
  {
    SCOPED_TRACE("cut inside the bit stream");
    Track t = TrackOf(wav);
    t.file.resize(static_cast<size_t>(t.offset + (t.end - t.offset) / 2));
    SoundSamples sound(std::make_unique<ByteViewStream>(t.file), t.offset, -1);
    sound.CompleteIndex();
    EXPECT_EQ(sound.Status(), SoundDecodeStatus::kTruncated);
    const std::vector<uint8_t> prefix(wav.begin(), wav.begin() + sound.DecodedBytes());
    WavSamples reference;
    ASSERT_TRUE(DecodeWavSamples(prefix, &reference));
    EXPECT_GT(reference.Frames(), 1000);
    ExpectReadsAgree(sound, reference, 1);
  }
  {
    SCOPED_TRACE("no WAV file inside");
    const std::vector<uint8_t> noise = recorder::ToneSamples(50'000, 3);
    const Track t = TrackOf(noise);
    SoundSamples sound(std::make_unique<ByteViewStream>(t.file), t.offset, t.end);
    sound.CompleteIndex();
    EXPECT_FALSE(sound.IsPcm());
    EXPECT_EQ(sound.FrameCount(), 0);
    std::vector<int16_t> got(64, 5);
    EXPECT_EQ(sound.ReadSamples(0, 64, got.data()), 0);
    EXPECT_EQ(got, std::vector<int16_t>(64, 0));
  }
  {
    SCOPED_TRACE("the tree cut off");
    const Track t = TrackOf(wav);
    std::vector<uint8_t> cut(t.file.begin(), t.file.begin() + t.offset + 100);
    SoundSamples sound(std::make_unique<ByteViewStream>(cut), t.offset, t.end);
    sound.CompleteIndex();
    EXPECT_EQ(sound.Status(), SoundDecodeStatus::kDamaged);
    EXPECT_EQ(sound.FrameCount(), 0);
  }
}

}  // namespace
}  // namespace sp
