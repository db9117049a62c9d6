#include "app/play_form.h"

#include "playback/sound_device.h"
#include "playback/clock.h"
#include "playback/play_tick.h"
#include "playback/start_playback.h"

namespace sp {

TPlayForm::TPlayForm(Application& app)
    : PlaybackForm(app), PopupMenu1(PopupMenu()) {
  SetPosition(197, 196);
  SetClientSize(739, 468);
  SetBorderStyle(BorderStyle::None);
  SetWindowState(WindowState::Maximized);
  SetCaption("PlayForm");
  SetColor(kWhite);

  PopupMenu1 = {
      {"N1", "全屏幕", true, [this] { N1Click(); }},
      {"N2", "自动缩放", true, nullptr},
      {"N3", "循环播放", false, [this] { N3Click(); }},
      {"N4", "重新开始", false, [this] { N4Click(); }},
      {"N6", "暂停", false, [this] { N6Click(); }},
      {"N5", "-", false, nullptr},
      {"N7", "结束自动退出", true, [this] { N7Click(); }},
      {"N8", "退出", false, [this] { N8Click(); }},
  };
  N1 = &PopupMenu1[0];
  N2 = &PopupMenu1[1];
  N3 = &PopupMenu1[2];
  N4 = &PopupMenu1[3];
  N6 = &PopupMenu1[4];
  N5 = &PopupMenu1[5];
  N7 = &PopupMenu1[6];
  N8 = &PopupMenu1[7];

  SetImageBounds(0, 0, 673, 449);
  Image1.onClick = [this] { N6Click(); };
}

TPlayForm::~TPlayForm() {
  // A form that goes without FormClose still leaves no clock running and no
  // device open.
  // The timer points at this form's tick target.
  StopClock(*this);
  if (PlayForm == this) PlayForm = nullptr;
  SoundStop(*this, SoundWait::kWait);
}

void TPlayForm::FormCreate() {
  FirstShow = true;
  CursorStream = std::make_unique<MemoryStream>();
  CursorImage = std::make_unique<Icon>();
}

void TPlayForm::FormShow() { StartPlayback(*this); }

void TPlayForm::FormResize() {
  if (Width() <= 10 || Height() <= 10) return;
  StretchMode = N2->checked;
  if (!FitImage(ClientWidth(), ClientHeight())) StretchMode = false;
}

bool TPlayForm::FitImage(int areaWidth, int areaHeight) {
  bool overflow = false;
  int left = 0;
  int width = areaWidth;
  if (areaWidth < FrameWidth) {
    overflow = true;
  } else {
    left = (areaWidth - FrameWidth) / 2;
    width = FrameWidth;
  }
  int top = 0;
  int height = areaHeight;
  if (areaHeight < FrameHeight) {
    overflow = true;
  } else {
    top = (areaHeight - FrameHeight) / 2;
    height = FrameHeight;
  }
  SetImageBounds(left, top, width, height);
  Image1.picture.SetSize(width, height);
  return overflow;
}

intptr_t TPlayForm::Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg == WM_PLAY_TICK) {
    PlayTick(*this);
    return 0;
  }
  return Form::Dispatch(msg, wParam, lParam);
}

}  // namespace sp
