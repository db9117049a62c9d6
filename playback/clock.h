#pragma once

#include <cstdint>

namespace sp {

class PlaybackForm;

inline constexpr const char* kTimerFailedText = "设置定时器失败";

// Computes TicksPerFrame and starts the form's periodic timer at a 1 ms
// period.
void StartClock(PlaybackForm& form);
// Stops the form's running timer and ends its period; nothing when none
// runs. No tick is handled, and TimerProc no longer runs, after it returns.
void StopClock(PlaybackForm& form);

// The timer's callback, on a thread of the timer service: sends
// WM_PLAY_TICK synchronously to the window StartClock's form last
// published, through the back end's send, and touches nothing but the
// form's TickTarget, which `user` points at.
void TimerProc(uint32_t timerId, uint32_t msg, uintptr_t user, uintptr_t reserved1,
               uintptr_t reserved2);

}  // namespace sp
