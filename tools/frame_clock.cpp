#include "tools/frame_clock.h"

#include <limits>

#include "payload/layout.h"

namespace sp::tool {
namespace {

bool PlaysAsWritten(int64_t interval) {
  const int64_t ticks = interval / kMinFrameInterval;
  return ticks > 0 && interval % ticks == 0;
}

}  // namespace

int64_t PlayedFrameMs(int32_t frameInterval) {
  const int32_t ticks = TicksPerFrameOf(frameInterval);
  return ticks > 0 ? int64_t(ticks) * (frameInterval / ticks) : 0;
}

int64_t PlayedMs(int32_t frameCount, int32_t frameInterval) {
  return frameCount > 1 ? int64_t(frameCount - 1) * PlayedFrameMs(frameInterval) : 0;
}

std::optional<ExactIntervals> ExactIntervalsNear(int32_t frameInterval) {
  if (frameInterval < kMinFrameInterval || PlaysAsWritten(frameInterval)) return std::nullopt;
  // Multiples of the tick count lie at most that many apart, so both
  // searches end soon.
  ExactIntervals near;
  int64_t below = frameInterval - 1;
  while (!PlaysAsWritten(below)) --below;
  int64_t above = int64_t(frameInterval) + 1;
  while (above <= std::numeric_limits<int32_t>::max() && !PlaysAsWritten(above)) ++above;
  near.below = static_cast<int32_t>(below);
  near.above = above <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(above) : near.below;
  return near;
}

}  // namespace sp::tool
