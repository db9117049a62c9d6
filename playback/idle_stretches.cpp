#include "playback/idle_stretches.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "playback/seekable_playback.h"

namespace sp {

namespace {

bool StillFrame(const IndexedFrame& f) {
  return f.blockCount == 0 && f.icon.size <= 0 && f.cursorX == f.nextCursorX &&
         f.cursorY == f.nextCursorY;
}

// Runs of silent sound, in frames of the sound, from the samples' start;
// past the sound's end everything is silent. The sound is read in blocks,
// in order, so a source that expands on demand only reads on.
class Silence {
 public:
  Silence(SampleSource& sound, int limit)
      : sound_(sound), channels_(std::max(1, sound.Format().channels)), limit_(limit),
        block_(static_cast<size_t>(kBlockFrames) * channels_) {}

  // The first sound frame at or after `from`, before `to`, that is not
  // silent; `to` when there is none.
  int64_t FirstLoud(int64_t from, int64_t to) {
    const int64_t end = std::min(to, sound_.FrameCount());
    for (int64_t at = std::max<int64_t>(from, 0); at < end; at += kBlockFrames) {
      const int count = static_cast<int>(std::min<int64_t>(kBlockFrames, end - at));
      sound_.ReadSamples(at, count, block_.data());
      for (size_t i = 0; i < static_cast<size_t>(count) * channels_; ++i) {
        if (std::abs(block_[i]) > limit_) return at + static_cast<int64_t>(i) / channels_;
      }
    }
    return to;
  }

 private:
  static constexpr int kBlockFrames = 4096;
  SampleSource& sound_;
  int channels_;
  int limit_;
  std::vector<int16_t> block_;
};

}  // namespace

std::vector<IdleStretch> FindIdleStretches(const SeekablePlayback& playback, const WavSamples& sound,
                                           const IdleRule& rule) {
  WavSampleSource source(sound);
  return FindIdleStretches(playback, &source, rule);
}

std::vector<IdleStretch> FindIdleStretches(const SeekablePlayback& playback, SampleSource* sound,
                                           const IdleRule& rule) {
  std::vector<IdleStretch> stretches;
  WavSampleSource none(WavSamples{});
  SampleSource& source = sound ? *sound : none;
  Silence silence(source, rule.silence);
  const int soundRate = source.Format().rate;
  const double rate = soundRate > 0 ? soundRate : 1;
  auto consider = [&](double start, double end) {
    if (soundRate <= 0) {
      if (end - start > rule.longerThan) stretches.push_back({start + rule.keep, end});
      return;
    }
    // Split the still stretch at every sound that is not silent; the
    // search runs in whole sound frames, so it always moves on.
    const int64_t to = static_cast<int64_t>(end * rate / 1000.0);
    int64_t from = static_cast<int64_t>(start * rate / 1000.0);
    double quietStart = start;
    while (from < to) {
      const int64_t loud = silence.FirstLoud(from, to);
      const double quietEnd = loud >= to ? end : loud * 1000.0 / rate;
      if (quietEnd - quietStart > rule.longerThan) {
        stretches.push_back({quietStart + rule.keep, quietEnd});
      }
      from = loud + 1;
      quietStart = from * 1000.0 / rate;
    }
  };
  const auto& frames = playback.Frames();
  const int32_t count = playback.FrameCount();
  int32_t runStart = -1;
  // The last frame's picture stays: it ends the recording, not a stretch.
  for (int32_t k = 1; k < count - 1; ++k) {
    if (StillFrame(frames[k])) {
      if (runStart < 0) runStart = k;
      continue;
    }
    if (runStart >= 0) {
      consider(static_cast<double>(playback.MillisecondsOf(playback.TickOfFrame(runStart))),
               static_cast<double>(playback.MillisecondsOf(playback.TickOfFrame(k))));
      runStart = -1;
    }
  }
  if (runStart >= 0) {
    consider(static_cast<double>(playback.MillisecondsOf(playback.TickOfFrame(runStart))),
             static_cast<double>(playback.MillisecondsOf(playback.TickOfFrame(count - 1))));
  }
  return stretches;
}

}  // namespace sp
