#include "playback/clock.h"

#include "platform/application.h"
#include "platform/form.h"
#include "platform/shell.h"
#include "playback/frame_clock.h"
#include "playback/playback_form.h"

namespace sp {

uint32_t TimerId = 0;

namespace {

// The back end that runs TimerId, so that StopClock needs no form.
System* timerSystem = nullptr;

// All the timer thread reads: the back end whose send is safe from any
// thread, and the form's window handle as the GUI thread last published it
// (0 once the form is gone; the cell outlives the form). Set before the
// timer starts and cleared only after TimeKillEvent, after which no
// callback runs.
struct TickTarget {
  System* system = nullptr;
  Form::SharedHandle window;
};
TickTarget tickTarget;

}  // namespace

void StartClock(PlaybackForm& form) {
  // A clock left from a start that failed half-way is never doubled.
  StopClock();
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
  tickTarget = {&system, form.HandleForOtherThreads()};
  TimerId = system.TimeSetEvent(static_cast<uint32_t>(frameClock.TickMilliseconds()),
                                1, TimerProc, reinterpret_cast<uintptr_t>(&tickTarget), kTimePeriodic);
  if (TimerId == 0) {
    tickTarget = {};
    app.ShowMessage(kTimerFailedText);
    return;
  }
  timerSystem = &system;
}

void StopClock() {
  if (TimerId == 0) return;
  if (timerSystem) {
    timerSystem->TimeKillEvent(TimerId);
    timerSystem->TimeEndPeriod(1);
  }
  TimerId = 0;
  timerSystem = nullptr;
  tickTarget = {};
}

void TimerProc(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  const auto* target = reinterpret_cast<const TickTarget*>(user);
  if (target == nullptr || target->system == nullptr || !target->window) return;
  target->system->SendMessage(target->window->load(), WM_PLAY_TICK, 0, 0);
}

}  // namespace sp
