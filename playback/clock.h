#pragma once

#include <cstdint>

namespace sp {

class PlaybackForm;

// The one periodic timer of the process; 0 when none runs.
extern uint32_t TimerId;

inline constexpr const char* kTimerFailedText = "设置定时器失败";

// Computes TicksPerFrame and starts the periodic timer at a 1 ms period.
void StartClock(PlaybackForm& form);
// Stops the running timer and ends its period; nothing when none runs. No
// tick is handled after it returns.
void StopClock();

// The timer's callback, on a thread of the timer service: sends
// WM_PLAY_TICK synchronously to PlayForm's window and touches nothing else.
void TimerProc(uint32_t timerId, uint32_t msg, uintptr_t user, uintptr_t reserved1,
               uintptr_t reserved2);

}  // namespace sp
