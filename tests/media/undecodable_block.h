#pragma once

#include "recorder/payload_writer.h"
#include "tests/media/jpeg_writer.h"

namespace sp::media_testing {

// Gives frame `frame` (recording.frames[frame - 1]) one more block at
// `rect`, whose picture header reads but whose scans are more than a picture
// may have, and the frame after it a block drawn over that one whole. A
// player that decodes every block stops before `frame`; a seek to a later
// frame need not decode it.
inline void AddCoveredUndecodableBlock(recorder::Recording& recording, int frame, const Rect& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  recorder::Block bad;
  bad.rect = rect;
  bad.jpeg = MakeSolidJpeg({.width = width, .height = height, .scans = JpegScans::Exhaustive}, 0xFF0000);
  recording.frames.at(static_cast<size_t>(frame) - 1).blocks.push_back(bad);
  recorder::Block over;
  over.rect = rect;
  over.jpeg = MakeSolidJpeg({.width = width, .height = height}, 0x00FF00);
  recording.frames.at(static_cast<size_t>(frame)).blocks.push_back(over);
}

}  // namespace sp::media_testing
