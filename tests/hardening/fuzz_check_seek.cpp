// The fuzz check of the viewer's model: open, index, expand the sound and
// find the idle stretches as the viewer does, then seek.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "payload/payload_reader.h"
#include "payload/sound_samples.h"
#include "platform/errors.h"
#include "playback/idle_stretches.h"
#include "playback/seekable_playback.h"
#include "tests/hardening/fuzz_checks.h"

namespace sp::hardening {
namespace {

// Pictures this small are also played straight to each seek's tick.
constexpr int64_t kStraightMaxPixels = 128 * 128;
constexpr int64_t kStraightMaxTicks = 400;
constexpr int kSeeks = 8;

// The seeks' draws: a hash of the input, so that any change of it moves them.
struct Draw {
  explicit Draw(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) state = (state ^ b) * 0x100000001B3ull;
  }
  uint64_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 17;
  }
  uint64_t state = 0xCBF29CE484222325ull;
};

std::unique_ptr<SeekablePlayback> OpenBytes(std::span<const uint8_t> bytes,
                                            const SeekablePlayback::Options& options) {
  try {
    return std::make_unique<SeekablePlayback>(std::make_unique<ByteViewStream>(bytes), options);
  } catch (const Error&) {
  } catch (const DamagedRecording&) {
  }
  return nullptr;
}

std::vector<Pixel> Pixels(const Bitmap& picture) {
  return {picture.Data(), picture.Data() + static_cast<size_t>(picture.Width()) * picture.Height()};
}

std::string Mismatch(int64_t tick, const std::vector<Pixel>& seeked, const Bitmap& straight) {
  const std::vector<Pixel> played = Pixels(straight);
  if (played.size() != seeked.size()) return "tick " + std::to_string(tick) + ": the sizes differ";
  const auto at = std::mismatch(seeked.begin(), seeked.end(), played.begin());
  if (at.first == seeked.end()) return {};
  const size_t i = static_cast<size_t>(at.first - seeked.begin());
  return "tick " + std::to_string(tick) + ": pixel " + std::to_string(i % straight.Width()) + ", " +
         std::to_string(i / straight.Width()) + " differs between a seek and playing straight";
}

// The viewer's open: the first picture, the index, the sound's index, the
// idle stretches (which read the sound), a few samples.
void OpenAsTheViewer(SeekablePlayback& playback, std::span<const uint8_t> bytes) {
  playback.PictureAt(0);
  playback.CompleteIndex();
  std::unique_ptr<SoundSamples> sound;
  if (playback.HasSoundTrack()) {
    try {
      sound = playback.OpenSound(std::make_unique<ByteViewStream>(bytes));
      sound->CompleteIndex();
    } catch (const Error&) {
      sound.reset();
    }
  }
  const bool decoded = sound && sound->IsPcm();
  FindIdleStretches(playback, decoded ? sound.get() : nullptr);
  if (decoded) {
    std::vector<int16_t> samples(static_cast<size_t>(std::max(1, sound->Format().channels)) * 512);
    sound->ReadSamples(sound->FrameCount() / 2, 512, samples.data());
  }
}

}  // namespace

std::string CheckSeeks(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  Draw draw(bytes);
  SeekablePlayback::Options options;
  options.indexAtOpen = false;
  // Snapshots close together, in a small budget, so that seeks start from
  // many of them.
  options.snapshotMilliseconds = static_cast<int32_t>(1 + draw.Next() % 2000);
  options.snapshotBudgetBytes = int64_t{1} << (16 + draw.Next() % 8);
  std::unique_ptr<SeekablePlayback> seeking = OpenBytes(bytes, options);
  if (!seeking) return {};
  try {
    OpenAsTheViewer(*seeking, bytes);
    const int64_t last = seeking->LastTick();
    if (last < 0) return "the last tick is " + std::to_string(last);
    // Each seek's tick, clamped to the recording as it was known then.
    std::vector<std::pair<int64_t, std::vector<Pixel>>> seeks;
    for (int i = 0; i < kSeeks; ++i) {
      // Past both ends too: the picture is clamped.
      const int64_t tick = static_cast<int64_t>(draw.Next() % static_cast<uint64_t>(last + 3)) - 1;
      const Bitmap& picture = seeking->PictureAt(tick);
      seeks.emplace_back(std::clamp<int64_t>(tick, 0, seeking->LastTick()), Pixels(picture));
      if (draw.Next() % 3 == 0) seeking->DoIdleWork();
      seeking->FrameAt(static_cast<int32_t>(draw.Next() % static_cast<uint64_t>(seeking->FrameCount())));
    }
    if (int64_t{seeking->Width()} * seeking->Height() > kStraightMaxPixels || last > kStraightMaxTicks) return {};

    std::unique_ptr<SeekablePlayback> straight = OpenBytes(bytes, {});
    if (!straight) return "the file opened once and then not";
    // The viewer's idle work reads through the blocks no seek decoded, and
    // damage found there or by a later seek ends the recording earlier: the
    // frames after it and the last frame's cursor steps are no longer shown,
    // so a picture taken at one of them before is not compared.
    while (seeking->DoIdleWork()) {
    }
    if (seeking->CheckedFrames() != seeking->FrameCount() - 1) return "the idle work stopped short";
    const int64_t known = seeking->LastTick();
    std::sort(seeks.begin(), seeks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    int64_t tick = 0;
    for (const auto& [at, picture] : seeks) {
      if (at > known) break;
      for (; tick < at; ++tick) straight->PictureAt(tick);
      const std::string problem = Mismatch(at, picture, straight->PictureAt(at));
      if (!problem.empty()) return problem;
    }
  } catch (const std::exception& e) {
    return std::string("a seek threw: ") + e.what();
  }
  return {};
}

}  // namespace sp::hardening
