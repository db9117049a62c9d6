#pragma once

#include <cstdint>
#include <vector>

#include "playback/playback_form.h"

namespace sp {

// The player window. Its state is the playback's, in the groups of
// playback/playback_state.h that PlaybackForm gathers; the playback, sound
// and command code works on the fields directly.
class TPlayForm : public PlaybackForm {
 public:
  explicit TPlayForm(Application& app);
  ~TPlayForm() override;

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
  bool FitImage(int areaWidth, int areaHeight) override;
  bool LoopChecked() const override { return N3->checked; }
  bool ExitAtEndChecked() const override { return N7->checked; }

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

}  // namespace sp
