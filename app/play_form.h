#pragma once

#include <cstdint>
#include <vector>

#include "platform/form.h"
#include "playback/playback_state.h"

namespace sp {

// WM_USER + 16: one tick of the frame clock, sent by TimerProc.
constexpr uint32_t WM_PLAY_TICK = 1040;

// The player window. Its state is the playback's, in the groups of
// playback/playback_state.h; the playback, sound and command code works on
// the fields directly.
class TPlayForm : public Form,
                  public HeaderValues,
                  public CaptionValues,
                  public CursorState,
                  public PlaybackObjects,
                  public ClockState,
                  public SoundState {
 public:
  explicit TPlayForm(Application& app);
  ~TPlayForm() override;

  ImageControl& Image1;
  std::vector<MenuItem>& PopupMenu1;
  // Items of PopupMenu1, in menu order N1, N2, N3, N4, N6, N5, N7, N8.
  MenuItem* N1 = nullptr;
  MenuItem* N2 = nullptr;
  MenuItem* N3 = nullptr;
  MenuItem* N4 = nullptr;
  MenuItem* N6 = nullptr;
  MenuItem* N5 = nullptr;
  MenuItem* N7 = nullptr;
  MenuItem* N8 = nullptr;

  void FormCreate();
  void FormShow();
  void FormResize();
  void FormClose();
  // Lays Image1 out in an area of the given size; true when the recording
  // overflows it in either direction.
  bool FitImage(int areaWidth, int areaHeight);

  void N1Click();
  void N3Click();
  void N4Click();
  void N6Click();
  void N7Click();
  void N8Click();

 protected:
  void OnCreate() override { FormCreate(); }
  void OnShow() override { FormShow(); }
  void OnResize() override { FormResize(); }
  void OnClose() override { FormClose(); }
  intptr_t Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
};

// The one form of the process.
extern TPlayForm* PlayForm;

}  // namespace sp
