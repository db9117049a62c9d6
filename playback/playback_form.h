#pragma once

#include <cstdint>

#include "platform/form.h"
#include "playback/playback_state.h"

namespace sp {

// WM_USER + 16: one tick of the frame clock, sent by TimerProc.
constexpr uint32_t WM_PLAY_TICK = 1040;

// What the playback works on: the player window as the framework's form,
// with the playback's state in its groups, the display surface and the few
// things of the window the playback asks for. PlaybackForm (app/) is the one
// kind; the playback never sees its menu or its handlers.
class PlaybackForm : public Form,
                     public HeaderValues,
                     public CaptionValues,
                     public CursorState,
                     public PlaybackObjects,
                     public ClockState,
                     public SoundState {
 public:
  explicit PlaybackForm(Application& app) : Form(app), Image1(Image()) {}

  ImageControl& Image1;

  // Lays Image1 out in an area of the given size; true when the recording
  // overflows it in either direction.
  virtual bool FitImage(int areaWidth, int areaHeight) = 0;
  // The loop mark (N3) and the exit-at-end mark (N7), read when the last
  // frame has been shown.
  virtual bool LoopChecked() const = 0;
  virtual bool ExitAtEndChecked() const = 0;
};

// The one form of the process; the timer's callback reaches its window
// through it.
extern PlaybackForm* PlayForm;

}  // namespace sp
