#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/geometry.h"

namespace sp {

class Form;

// 0 is no window.
using WindowHandle = uintptr_t;

enum class BorderStyle { None, Sizeable };
enum class WindowState { Normal, Maximized };

// The native window of a form. The back end keeps it in step with the
// form's properties and reports every size change through
// Form::HandleResize.
class WindowBackend {
 public:
  virtual ~WindowBackend() = default;

  // Re-creates the native window: Handle() changes, and is 0 meanwhile.
  // Throws WindowCreationError when the system refuses the new window, as
  // the back end's constructor does for the first one.
  virtual void SetBorderStyle(BorderStyle style) = 0;
  virtual void SetWindowState(WindowState state) = 0;
  virtual void SetClientSize(int width, int height) = 0;
  virtual Size ClientSize() const = 0;
  // Outer size, frame included.
  virtual Size OuterSize() const = 0;
  virtual void SetCaption(const std::string& utf8) = 0;
  // A check mark or caption of the form's popup menu changed.
  virtual void MenuChanged(size_t index) = 0;
  // The position or size of the form's image control changed.
  virtual void ImageLayoutChanged() = 0;
  // Shows the rectangle of the image control's picture that changed, in
  // picture pixels; empty when nothing changed. Called by the form after
  // every handled message, click, show, resize and close.
  virtual void PresentImage(const Rect& dirty) = 0;
  // Read by the timer thread on every tick: must be safe to call from any
  // thread, and 0 while the window is being re-created.
  virtual WindowHandle Handle() const = 0;
};

// Flags and results of the sound device, as the multimedia API has them.
constexpr uint32_t kMciWait = 0x2;
constexpr uint32_t kMciNoFlags = 0;

constexpr uint32_t kTimeErrNoCanDo = 97;  // TIMERR_NOCANDO
constexpr uint32_t kTimePeriodic = 1;     // TIME_PERIODIC

struct TimeCaps {
  uint32_t periodMin = 0;
  uint32_t periodMax = 0;
};

// Called on a thread of the timer service.
using TimerCallback = void (*)(uint32_t timerId, uint32_t msg, uintptr_t user,
                               uintptr_t reserved1, uintptr_t reserved2);

// What a back end gives the framework and the engine: the system services a
// form player calls, shaped so that each maps onto one Win32 call.
class System {
 public:
  virtual ~System() = default;

  virtual std::unique_ptr<WindowBackend> CreateWindow(Form& form) = 0;
  // Shows the main form (its OnShow runs before the window becomes
  // visible) and runs the message loop until QuitMessageLoop.
  virtual void RunMessageLoop(Form& mainForm) = 0;
  // Ends the main loop and whatever modal loop runs inside it at the time
  // (an open menu or box, a move or resize of the window). May be called
  // again; every call must be able to end the loops on its own.
  virtual void QuitMessageLoop() = 0;
  // Delivers msg to the window synchronously: from another thread the
  // caller waits until the GUI thread has handled it. A handle of 0 or of a
  // window that no longer exists drops the message and returns 0.
  virtual intptr_t SendMessage(WindowHandle window, uint32_t msg, uintptr_t wParam,
                               intptr_t lParam) = 0;

  virtual Size ScreenSize() const = 0;
  // Modal boxes with one OK button; title and text in UTF-8.
  virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
  virtual void ShowErrorBox(const std::string& title, const std::string& text) = 0;  // stop icon

  virtual std::string ExecutablePath() const = 0;
  // The user's temporary directory, ending with a separator.
  virtual std::string TempPath() const = 0;

  // The "waveaudio" device. 0 is success.
  virtual uint32_t MciOpenWaveAudio(const std::string& element, uint32_t* deviceId) = 0;
  virtual uint32_t MciPlayFrom(uint32_t deviceId, uint32_t from) = 0;
  virtual uint32_t MciClose(uint32_t deviceId, uint32_t flags) = 0;

  // The multimedia timer. TimeSetEvent returns 0 on failure. Once
  // TimeKillEvent has returned (on a thread other than the timer's own) the
  // callback is not running and is not called again.
  virtual uint32_t TimeGetDevCaps(TimeCaps* caps, uint32_t size) = 0;
  virtual uint32_t TimeBeginPeriod(uint32_t period) = 0;
  virtual uint32_t TimeEndPeriod(uint32_t period) = 0;
  virtual uint32_t TimeSetEvent(uint32_t delay, uint32_t resolution, TimerCallback callback,
                                uintptr_t user, uint32_t flags) = 0;
  virtual uint32_t TimeKillEvent(uint32_t timerId) = 0;
};

}  // namespace sp
