#pragma once

#include <cstdint>

#include "recorder/payload_writer.h"

namespace sp::hardening {

struct RealisticShape {
  int width = 320;
  int height = 240;
  int frames = 48;             // frames after the key frame
  int rectsPerFrame = 6;       // changed rectangles per frame, at most
  int32_t interval = 120;      // FrameInterval, ms: 3 ticks a frame
  double soundSeconds = 1.0;   // 0: no sound track
};

// A recording with everything a real one holds: a sound track, a moving
// cursor that changes its picture twice, a caption, and frames whose changed
// rectangles become a few hundred blocks (about rectsPerFrame per frame), the
// odd frame without any. The same seed gives the same bytes.
recorder::Recording MakeRealisticRecording(uint32_t seed, const RealisticShape& shape = {});

}  // namespace sp::hardening
