#pragma once

#include <algorithm>
#include <cstdint>

#include "payload/layout.h"

namespace sp {

// The stub's frame clock over a recording's FrameInterval: a frame lasts
// TicksPerFrame ticks (FrameInterval / 40, rounded down) of
// FrameInterval / TicksPerFrame milliseconds each (rounded down, so a tick
// may be longer than 40 ms and a frame a little shorter than its interval).
// An interval below 40 ms gives no tick: the stub's clock does not start.
// Tick 0 shows frame 0; frame k begins at tick k * TicksPerFrame.
class FrameClock {
 public:
  constexpr FrameClock() = default;
  explicit constexpr FrameClock(int32_t frameInterval)
      : ticksPerFrame_(std::max(0, frameInterval / kMinFrameInterval)),
        tickMilliseconds_(ticksPerFrame_ > 0 ? frameInterval / ticksPerFrame_ : 0) {}

  constexpr bool Runs() const { return ticksPerFrame_ > 0; }
  constexpr int32_t TicksPerFrame() const { return ticksPerFrame_; }
  constexpr int32_t TickMilliseconds() const { return tickMilliseconds_; }

  constexpr int64_t TickOfFrame(int64_t frame) const { return frame * ticksPerFrame_; }
  // The frame shown at `tick` (ticks before 0 show frame 0).
  constexpr int64_t FrameAtTick(int64_t tick) const {
    return ticksPerFrame_ > 0 ? std::max<int64_t>(tick, 0) / ticksPerFrame_ : 0;
  }
  constexpr int64_t MillisecondsOf(int64_t tick) const { return tick * tickMilliseconds_; }
  // The tick under way at `milliseconds` from the start.
  constexpr int64_t TickAt(int64_t milliseconds) const {
    return tickMilliseconds_ > 0 ? std::max<int64_t>(milliseconds, 0) / tickMilliseconds_ : 0;
  }

 private:
  int32_t ticksPerFrame_ = 0;
  int32_t tickMilliseconds_ = 0;
};

}  // namespace sp
