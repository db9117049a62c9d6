#include "app/play_form.h"
#include "platform/application.h"
#include "platform/shell.h"
#include "playback/sound_device.h"
#include "playback/start_playback.h"

namespace sp {

// Runs when the form closes, by N8, by the end of a recording or by the
// system; Form::Close then ends the application.
void TPlayForm::FormClose() {
  EndPlayback(*this, SoundWait::kWait);
  ReleasePlayback(*this);
  CursorStream.reset();
  CursorImage.reset();
  // The last device id once more, as the player always did; its result is
  // of no interest.
  App().GetSystem().MciClose(SoundDevice, kMciNoFlags);
}

}  // namespace sp
