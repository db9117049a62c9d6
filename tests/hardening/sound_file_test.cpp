#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "payload/sound_table_decoder.h"
#include "payload/sound_track.h"
#include "recorder/sound_coder.h"
#include "recorder/test_media.h"

namespace sp {
namespace {

struct FileOutcome {
  SoundTrackResult result;
  std::vector<uint8_t> written;
  long position;  // where `in` was left
};

// The player's expansion from a file, over a copy of `file` in memory.
FileOutcome ExpandFromFile(const std::vector<uint8_t>& file) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(in && out);
  if (!file.empty()) std::fwrite(file.data(), 1, file.size(), in);
  std::rewind(in);
  FileOutcome o;
  o.result = ExpandSoundFile(in, out);
  o.position = std::ftell(in);
  const long size = std::ftell(out);
  o.written.resize(static_cast<size_t>(size));
  std::rewind(out);
  if (!o.written.empty()) {
    EXPECT_EQ(std::fread(o.written.data(), 1, o.written.size(), out), o.written.size());
  }
  std::fclose(in);
  std::fclose(out);
  return o;
}

SoundTrackResult AsFileResult(SoundDecodeStatus status) {
  switch (status) {
    case SoundDecodeStatus::kComplete: return SoundTrackResult::kWritten;
    case SoundDecodeStatus::kDamaged: return SoundTrackResult::kDamaged;
    case SoundDecodeStatus::kTruncated: break;
  }
  return SoundTrackResult::kTruncated;
}

// The file expansion against the walk over the same bytes: the same bytes
// written, the same ending, and `in` left behind the last byte the walk read.
void ExpectFileAgreesWithWalk(const std::vector<uint8_t>& file, const std::string& what) {
  ASSERT_GE(file.size(), kHuffTreeBytes + 4);
  const auto tree = ParseHuffTree(file);
  int32_t length = 0;
  for (int i = 3; i >= 0; --i) length = static_cast<int32_t>(static_cast<uint32_t>(length) << 8 | file[kHuffTreeBytes + i]);
  std::vector<uint8_t> walked;
  const SoundDecodeResult walk =
      WalkSoundTrack(tree, length, std::span(file).subspan(kHuffTreeBytes + 4), walked);

  const FileOutcome o = ExpandFromFile(file);
  EXPECT_EQ(static_cast<int>(o.result), static_cast<int>(AsFileResult(walk.status))) << what;
  EXPECT_EQ(o.written.size(), walked.size()) << what;
  EXPECT_TRUE(o.written == walked) << what;
  EXPECT_EQ(o.position, static_cast<long>(kHuffTreeBytes + 4 + walk.bytesRead)) << what;
}

TEST(SoundFile, ExpandsTracksThatSpanManyPieces) {
  // Several hundred kilobytes of coded bits: many 64 KiB pieces, with codes
  // straddling their edges.
  const std::vector<uint8_t> wav = recorder::ToneWav(60.0, 4);
  std::vector<uint8_t> track = recorder::EncodeSoundTrack(wav);
  const FileOutcome whole = ExpandFromFile(track);
  EXPECT_EQ(whole.result, SoundTrackResult::kWritten);
  EXPECT_TRUE(whole.written == wav);

  // Followed by the video stream, which the expansion must not consume.
  track.resize(track.size() + 100000, 0xff);
  ExpectFileAgreesWithWalk(track, "with a video stream behind");
}

TEST(SoundFile, CutAndDamagedTracksEndAsTheWalkEnds) {
  std::mt19937 rng(99);
  const std::vector<uint8_t> wav = recorder::ToneWav(20.0, 8);
  const std::vector<uint8_t> track = recorder::EncodeSoundTrack(wav);
  for (int trial = 0; trial < 30; ++trial) {
    std::vector<uint8_t> file = track;
    file.resize(kHuffTreeBytes + 4 + rng() % (file.size() - kHuffTreeBytes - 4));
    ExpectFileAgreesWithWalk(file, "cut " + std::to_string(file.size()));
  }
  for (int trial = 0; trial < 30; ++trial) {
    std::vector<uint8_t> file = track;
    // A changed child index of an inner node, or a changed length.
    const size_t node = kHuffLeafCount + rng() % (kHuffNodeCount - kHuffLeafCount);
    file[node * 16 + 8 + rng() % 8] = static_cast<uint8_t>(rng());
    if (trial % 3 == 0) file[kHuffTreeBytes + rng() % 4] = static_cast<uint8_t>(rng());
    ExpectFileAgreesWithWalk(file, "damage trial " + std::to_string(trial));
  }
}

TEST(SoundFile, ATreeOrLengthCutShortIsDamaged) {
  const std::vector<uint8_t> track = recorder::EncodeSoundTrack(recorder::ToneWav(0.1));
  for (size_t size : {size_t{0}, size_t{100}, kHuffTreeBytes, kHuffTreeBytes + 3}) {
    const FileOutcome o = ExpandFromFile(std::vector<uint8_t>(track.begin(), track.begin() + static_cast<ptrdiff_t>(size)));
    EXPECT_EQ(o.result, SoundTrackResult::kDamaged) << size;
    EXPECT_TRUE(o.written.empty());
  }
}

}  // namespace
}  // namespace sp
