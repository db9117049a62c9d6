#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/qt/timer_service.h"
#include "platform/qt/wave_audio.h"
#include "platform/shell.h"

class QApplication;
class QSocketNotifier;

namespace sp {

class FormWindow;

// The Linux desktop back end: Qt6 Widgets for windows, menus and boxes,
// SDL2 for the sound, a thread per multimedia timer. Create it on the main
// thread; it owns the QApplication.
class QtSystem : public System {
 public:
  QtSystem();
  ~QtSystem() override;

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

  // For the windows: each native window (re-)creation takes a new handle.
  WindowHandle Register(FormWindow* window);
  void Unregister(WindowHandle handle);
  // Shows an error that escaped to the event dispatcher.
  void ShowEscapedError(const char* what);

 private:
  enum class BoxIcon { None, Stop };
  void ShowBox(BoxIcon icon, const std::string& title, const std::string& text);
  // A message sent from another thread, waiting for the GUI thread. The
  // sender waits on mutex and wake: its timer's, so that killing the timer
  // releases it, or the call's own.
  struct PendingSend {
    WindowHandle window = 0;
    uint32_t msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::shared_ptr<TimerState> timer;
    std::mutex ownMutex;
    std::condition_variable ownWake;
    std::mutex* mutex = &ownMutex;
    std::condition_variable* wake = &ownWake;
    bool done = false;  // guarded by *mutex
    intptr_t result = 0;
  };

  intptr_t Deliver(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  intptr_t SendFromOtherThread(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // On the GUI thread, in whichever loop runs: delivers the queued sends.
  void DeliverPendingSends();
  static void Finish(PendingSend& call, intptr_t result);
  FormWindow* VisibleWindow() const;

  std::unique_ptr<QApplication> app_;
  const std::thread::id guiThread_ = std::this_thread::get_id();
  // Sends from other threads reach the GUI thread through this queue and an
  // eventfd that wakes its loop: a sending thread touches no Qt object, not
  // even Qt's own event queue.
  std::mutex sendsMutex_;
  std::deque<std::shared_ptr<PendingSend>> sends_;
  int wakeFd_ = -1;
  std::unique_ptr<QSocketNotifier> wakeNotifier_;
  std::map<WindowHandle, FormWindow*> windows_;
  WindowHandle lastHandle_ = 0;
  bool quitRequested_ = false;
  std::atomic<bool> shuttingDown_{false};
  TimerService timers_;
  WaveAudio audio_;
};

}  // namespace sp
