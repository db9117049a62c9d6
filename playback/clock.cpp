#include "playback/clock.h"

#include "platform/application.h"
#include "platform/shell.h"
#include "playback/playback_form.h"

namespace sp {

uint32_t TimerId = 0;

namespace {

// The back end that runs TimerId, so that StopClock needs no form.
System* timerSystem = nullptr;

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
  form.TicksPerFrame = TicksPerFrameOf(form.FrameInterval);
  if (form.TicksPerFrame <= 0) {
    app.ShowMessage(kTimerFailedText);
    return;
  }
  TimerId = system.TimeSetEvent(static_cast<uint32_t>(form.FrameInterval / form.TicksPerFrame),
                                1, TimerProc, reinterpret_cast<uintptr_t>(&form), kTimePeriodic);
  if (TimerId == 0) {
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
}

void TimerProc(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  PlaybackForm* form = PlayForm;
  if (!form) return;
  form->App().GetSystem().SendMessage(form->Handle(), WM_PLAY_TICK, 0, 0);
}

}  // namespace sp
