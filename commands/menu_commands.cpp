// The handlers behind PopupMenu1's items and the click on Image1.

#include "app/play_form.h"
#include "platform/application.h"
#include "platform/shell.h"
#include "playback/sound_device.h"
#include "playback/start_playback.h"

namespace sp {

void TPlayForm::N1Click() {
  TPlayForm& form = PlayForm ? static_cast<TPlayForm&>(*PlayForm) : *this;
  if (form.N1->checked) {
    form.SetChecked(*form.N1, false);
    form.SetBorderStyle(BorderStyle::Sizeable);
    form.SetWindowState(WindowState::Normal);
    Size screen = form.App().GetSystem().ScreenSize();
    form.SetClientWidth(screen.width / 2);
    form.SetClientHeight(screen.height / 2);
  } else {
    form.SetChecked(*form.N1, true);
    form.SetBorderStyle(BorderStyle::None);
    form.SetWindowState(WindowState::Maximized);
  }
}

void TPlayForm::N3Click() { SetChecked(*N3, !N3->checked); }

void TPlayForm::N7Click() { SetChecked(*N7, !N7->checked); }

void TPlayForm::N4Click() { RestartPlayback(*this, SoundWait::kWait); }

void TPlayForm::N6Click() {
  // An ended playback stays as it ended: at its last frame, or where damage
  // stopped it.
  if (CurrentFrame >= FrameCount || PlaybackStopped) return;
  if (Playing) {
    Playing = false;
    SetChecked(*N6, true);
  } else {
    Playing = true;
    SetChecked(*N6, false);
  }
}

void TPlayForm::N8Click() { Close(); }

}  // namespace sp
