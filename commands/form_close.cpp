#include "app/play_form.h"
#include "payload/sound_device.h"
#include "platform/application.h"
#include "platform/shell.h"
#include "playback/clock.h"

namespace sp {

// Runs when the form closes, by N8, by the end of a recording or by the
// system; Form::Close then ends the application.
void TPlayForm::FormClose() {
  SoundStop(*this, SoundWait::kWait);
  Playing = false;
  // Before anything is freed: no tick may find the objects gone.
  StopClock();
  FrameBitmap.reset();
  CursorBackground.reset();
  JpegImage.reset();
  RecordingStream.reset();
  JpegBuffer.reset();
  CursorStream.reset();
  CursorImage.reset();
  // The last device id once more, as the player always did; its result is
  // of no interest.
  App().GetSystem().MciClose(SoundDevice, kMciNoFlags);
}

}  // namespace sp
