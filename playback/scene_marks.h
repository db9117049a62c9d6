#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/geometry.h"

namespace sp {

class SeekablePlayback;

// Where the recording's scenes begin: the marks on the viewer's seek bar,
// the chapters of an exported video, the web player's marks.
//
// A frame changes the scene when its blocks cover at least half the screen
// (each block clipped to the screen, overlaps counted per block). Changes
// less than mergeMilliseconds apart form one run (a video, an animation,
// scrolling), marked once, at the run's start; and a mark follows the one
// before it by at least minGapMilliseconds, so that the marks stay few
// enough to find and "next scene" always moves a good way.
struct SceneMarkRule {
  double screenShare = 0.5;
  int64_t mergeMilliseconds = 3000;
  int64_t minGapMilliseconds = 5000;
};

// The pixels that a frame's blocks cover, each clipped to the screen.
int64_t CoveredPixels(std::span<const Rect> blocks, int width, int height);
int64_t CoveredPixels(const Rect& block, int width, int height);

// The frames (1 and later) that begin scenes. coveredPerFrame[k - 1] holds
// what frame k covers; frame k begins k * frameMilliseconds after frame 0.
std::vector<int32_t> SceneMarkFrames(std::span<const int64_t> coveredPerFrame, int64_t screenPixels,
                                     int64_t frameMilliseconds, const SceneMarkRule& rule = {});

// The same over a playback's index (the frames it can show).
std::vector<int32_t> SceneMarkFrames(const SeekablePlayback& playback, const SceneMarkRule& rule = {});

}  // namespace sp
