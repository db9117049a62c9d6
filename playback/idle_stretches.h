#pragma once

#include <cstdint>
#include <vector>

#include "payload/wav_samples.h"

namespace sp {

class SeekablePlayback;

// A stretch of the recording in which nothing on the screen changes, the
// cursor stands still and the sound is silent. Times in milliseconds.
struct IdleStretch {
  double start = 0;
  double end = 0;
};

struct IdleRule {
  double longerThan = 2000;  // only stretches longer than this are skipped
  double keep = 500;         // of each, this much plays
  int silence = 512;         // largest sample magnitude taken for silence (about -36 dBFS)
};

// The idle stretches longer than rule.longerThan, each shortened to the
// part that is skipped: from rule.keep after its start to its end. A frame
// is still when its record changes nothing (no block, no cursor change)
// and its cursor does not move; the sound (none: silent) must stay within
// rule.silence over the whole stretch.
// `sound` may be null (no sound track: all silent); it is read in order.
std::vector<IdleStretch> FindIdleStretches(const SeekablePlayback& playback, SampleSource* sound,
                                           const IdleRule& rule = {});
std::vector<IdleStretch> FindIdleStretches(const SeekablePlayback& playback, const WavSamples& sound,
                                           const IdleRule& rule = {});

}  // namespace sp
