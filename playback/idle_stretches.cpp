#include "playback/idle_stretches.h"

#include <algorithm>
#include <cstdlib>

#include "playback/seekable_playback.h"

namespace sp {

namespace {

bool StillFrame(const IndexedFrame& f) {
  return f.blockCount == 0 && f.icon.size <= 0 && f.cursorX == f.nextCursorX &&
         f.cursorY == f.nextCursorY;
}

// Runs of silent sound, in frames of the sound, from the samples' start;
// past the sound's end everything is silent.
class Silence {
 public:
  Silence(const WavSamples& sound, int limit) : sound_(sound), limit_(limit) {}

  // The first sound frame at or after `from`, before `to`, that is not
  // silent; `to` when there is none.
  int64_t FirstLoud(int64_t from, int64_t to) const {
    const int64_t end = std::min(to, sound_.Frames());
    for (int64_t frame = std::max<int64_t>(from, 0); frame < end; ++frame) {
      for (int c = 0; c < sound_.channels; ++c) {
        if (std::abs(sound_.samples[static_cast<size_t>(frame * sound_.channels + c)]) > limit_) {
          return frame;
        }
      }
    }
    return to;
  }

 private:
  const WavSamples& sound_;
  int limit_;
};

}  // namespace

std::vector<IdleStretch> FindIdleStretches(const SeekablePlayback& playback, const WavSamples& sound,
                                           const IdleRule& rule) {
  std::vector<IdleStretch> stretches;
  const Silence silence(sound, rule.silence);
  const double rate = sound.rate > 0 ? sound.rate : 1;
  auto consider = [&](double start, double end) {
    if (sound.rate <= 0) {
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
