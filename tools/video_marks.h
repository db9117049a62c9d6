#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sp::tool {

// A chapter of the exported video, in milliseconds from its start.
struct Chapter {
  int64_t startMs = 0;
  int64_t endMs = 0;
  std::string title;
};

// Chapters at frame 0 and at every scene mark (SceneMarkFrames) among
// frames 1 .. n, where coveredPerFrame[k - 1] is what frame k's blocks
// cover and frame k is shown msPerFrame * k after the start; the last ends
// at durationMs. Empty when no frame after 0 marks a scene.
std::vector<Chapter> SceneChapters(const std::vector<int64_t>& coveredPerFrame, int64_t screenPixels,
                                   int64_t msPerFrame, int64_t durationMs);

// ffmpeg's metadata file with the chapters.
std::string FfmetadataChapters(const std::vector<Chapter>& chapters);

// A WebVTT file with one cue showing `utf8` from 0 to durationMs.
std::string WebVttCaption(const std::string& utf8, int64_t durationMs);

}  // namespace sp::tool
