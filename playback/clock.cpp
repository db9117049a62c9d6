#include "playback/clock.h"

#include "platform/application.h"
#include "platform/form.h"
#include "platform/shell.h"
#include "playback/frame_clock.h"
#include "playback/playback_form.h"

namespace sp {

void StartClock(PlaybackForm& form) {
  // A clock left from a start that failed half-way is never doubled.
  StopClock(form);
  const Application& app = form.App();
  System& system = app.GetSystem();
  TimeCaps caps;
  if (system.TimeGetDevCaps(&caps, sizeof caps) != 0) {
    app.ShowMessage(kTimerFailedText);
    return;
  }
  if (system.TimeBeginPeriod(1) == kTimeErrNoCanDo) {
    app.ShowMessage(kTimerFailedText);
    return;
  }
  const FrameClock frameClock(form.FrameInterval);
  form.TicksPerFrame = frameClock.TicksPerFrame();
  if (form.TicksPerFrame <= 0) {
    app.ShowMessage(kTimerFailedText);
    return;
  }
  form.TickTarget = {&system, form.HandleForOtherThreads()};
  form.TimerId = system.TimeSetEvent(static_cast<uint32_t>(frameClock.TickMilliseconds()), 1, TimerProc,
                                     reinterpret_cast<uintptr_t>(&form.TickTarget), kTimePeriodic);
  if (form.TimerId == 0) {
    form.TickTarget = {};
    app.ShowMessage(kTimerFailedText);
    return;
  }
  form.TimerSystem = &system;
}

void StopClock(PlaybackForm& form) {
  if (form.TimerId == 0) return;
  if (form.TimerSystem) {
    form.TimerSystem->TimeKillEvent(form.TimerId);
    form.TimerSystem->TimeEndPeriod(1);
  }
  form.TimerId = 0;
  form.TimerSystem = nullptr;
  form.TickTarget = {};
}

void TimerProc(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  const auto* target = reinterpret_cast<const ClockState::TimerTarget*>(user);
  if (target == nullptr || target->system == nullptr || !target->window) return;
  target->system->SendMessage(target->window->load(), WM_PLAY_TICK, 0, 0);
}

}  // namespace sp
