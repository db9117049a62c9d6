#include "playback/scene_marks.h"

#include <algorithm>

#include "playback/seekable_playback.h"

namespace sp {

int64_t CoveredPixels(const Rect& block, int width, int height) {
  const int64_t w = std::min<int64_t>(block.right, width) - std::max<int64_t>(block.left, 0);
  const int64_t h = std::min<int64_t>(block.bottom, height) - std::max<int64_t>(block.top, 0);
  return w > 0 && h > 0 ? w * h : 0;
}

int64_t CoveredPixels(std::span<const Rect> blocks, int width, int height) {
  int64_t covered = 0;
  for (const Rect& r : blocks) covered += CoveredPixels(r, width, height);
  return covered;
}

std::vector<int32_t> SceneMarkFrames(std::span<const int64_t> coveredPerFrame, int64_t screenPixels,
                                     int64_t frameMilliseconds, const SceneMarkRule& rule) {
  std::vector<int32_t> marks;
  if (screenPixels <= 0) return marks;
  const double least = rule.screenShare * static_cast<double>(screenPixels);
  int64_t lastChange = 0;
  bool anyChange = false;
  for (size_t i = 0; i < coveredPerFrame.size(); ++i) {
    if (static_cast<double>(coveredPerFrame[i]) < least) continue;
    const auto frame = static_cast<int32_t>(i + 1);
    const int64_t at = int64_t{frame} * frameMilliseconds;
    const bool startsRun = !anyChange || at - lastChange >= rule.mergeMilliseconds;
    anyChange = true;
    lastChange = at;
    if (!startsRun) continue;
    if (!marks.empty() && at - int64_t{marks.back()} * frameMilliseconds < rule.minGapMilliseconds) continue;
    marks.push_back(frame);
  }
  return marks;
}

std::vector<int32_t> SceneMarkFrames(const SeekablePlayback& playback, const SceneMarkRule& rule) {
  const auto& frames = playback.Frames();
  const auto& blocks = playback.Blocks();
  std::vector<int64_t> covered;
  covered.reserve(frames.size());
  for (size_t k = 1; k < frames.size(); ++k) {
    int64_t pixels = 0;
    for (uint32_t b = frames[k].firstBlock; b < frames[k].firstBlock + frames[k].blockCount; ++b) {
      pixels += CoveredPixels(blocks[b].rect, playback.Width(), playback.Height());
    }
    covered.push_back(pixels);
  }
  return SceneMarkFrames(covered, int64_t{playback.Width()} * playback.Height(),
                         playback.MillisecondsOf(playback.TickOfFrame(1)), rule);
}

}  // namespace sp
