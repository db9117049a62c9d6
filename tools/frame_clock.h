#pragma once

#include <cstdint>
#include <optional>

namespace sp::tool {

// The player steps a frame every TicksPerFrameOf(interval) ticks of
// interval / ticks milliseconds (whole milliseconds): an interval that is
// not a whole number of ticks plays shorter than it says (250 ms as 6 ticks
// of 41 ms, 246 ms).

// Milliseconds a frame really stays on screen; 0 for an interval too short
// to give a tick.
int64_t PlayedFrameMs(int32_t frameInterval);

// From frame 0 to the step that shows the last frame.
int64_t PlayedMs(int32_t frameCount, int32_t frameInterval);

// The intervals nearest to one that is not a whole number of ticks which
// are, one below and one above; none when the interval plays as written.
struct ExactIntervals {
  int32_t below = 0;
  int32_t above = 0;
};
std::optional<ExactIntervals> ExactIntervalsNear(int32_t frameInterval);

}  // namespace sp::tool
