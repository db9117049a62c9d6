#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace sp {

class Win32Window;

// The Windows back end: USER32 windows, menus and boxes, GDI32 drawing,
// WINMM sound and timers, each shell call mapped onto its Win32 call.
// Create it on the GUI thread.
class Win32System : public System {
 public:
  Win32System();
  ~Win32System() override;

  std::unique_ptr<WindowBackend> CreateWindow(Form& form) override;
  void RunMessageLoop(Form& mainForm) override;
  void QuitMessageLoop() override;
  intptr_t SendMessage(WindowHandle window, uint32_t msg, uintptr_t wParam,
                       intptr_t lParam) override;

  Size ScreenSize() const override;
  void ShowMessage(const std::string& title, const std::string& text) override;
  void ShowErrorBox(const std::string& title, const std::string& text) override;

  std::string ExecutablePath() const override;
  std::string TempPath() const override;

  uint32_t MciOpenWaveAudio(const std::string& element, uint32_t* deviceId) override;
  uint32_t MciPlayFrom(uint32_t deviceId, uint32_t from) override;
  uint32_t MciClose(uint32_t deviceId, uint32_t flags) override;

  uint32_t TimeGetDevCaps(TimeCaps* caps, uint32_t size) override;
  uint32_t TimeBeginPeriod(uint32_t period) override;
  uint32_t TimeEndPeriod(uint32_t period) override;
  uint32_t TimeSetEvent(uint32_t delay, uint32_t resolution, TimerCallback callback,
                        uintptr_t user, uint32_t flags) override;
  uint32_t TimeKillEvent(uint32_t timerId) override;

  // For the windows.
  void Add(Win32Window* window);
  void Remove(Win32Window* window);
  void FlushAll();
  // True from the first QuitMessageLoop on.
  bool Quitting() const { return quitting_; }
  // Posts WM_QUIT again while the program is ending, after a modal loop
  // that may have swallowed it has returned.
  void QuitStillPending() const;
  // True when a message sent by a timer's callback comes from a timer that
  // has been killed since: such a tick is dropped.
  static bool FromKilledTimer();

  struct Timer;

 private:
  enum class BoxIcon { None, Stop };
  void ShowBox(BoxIcon icon, const std::string& title, const std::string& text);

  bool quitting_ = false;  // GUI thread only
  std::vector<Win32Window*> windows_;
  std::vector<std::unique_ptr<Timer>> timers_;  // GUI thread only
};

}  // namespace sp
