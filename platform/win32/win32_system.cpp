#include "platform/win32/win32_system.h"

#include "platform/win32/windows_api.h"

#include <algorithm>
#include <string_view>

#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/form.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_window.h"

namespace sp {

// One multimedia timer. The system calls Trampoline on its timer thread,
// which marks the timer as the one sending and calls the engine's callback.
struct Win32System::Timer {
  UINT id = 0;
  TimerCallback callback = nullptr;
  uintptr_t user = 0;
  std::atomic<bool> killed{false};
  std::atomic<bool> inCallback{false};
  ULONGLONG killedAt = 0;  // GetTickCount64, GUI thread only
};

namespace {

// The timer thread takes a due timer's callback and calls it a moment
// later, so a killed timer may still be called just after timeKillEvent
// has returned: its record is kept this long before it is freed.
constexpr ULONGLONG kKilledTimerGrace = 5000;

// The timer whose callback is running. Multimedia timer callbacks run one
// after another on the one timer thread of the process.
std::atomic<const void*> sendingTimer{nullptr};
std::atomic<bool> sendingTimerKilled{false};

}  // namespace

namespace {

void CALLBACK Trampoline(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR reserved1,
                         DWORD_PTR reserved2);

}  // namespace

Win32System::Win32System() {
  // Pixels of the recording are screen pixels, whatever the display scale.
  SetProcessDPIAware();
}

Win32System::~Win32System() {
  for (auto& timer : timers_) {
    if (!timer->killed) {
      timer->killed = true;
      timeKillEvent(timer->id);
    }
    // The process is ending; a late call must still find its record.
    (void)timer.release();
  }
}

std::unique_ptr<WindowBackend> Win32System::CreateWindow(Form& form) {
  return std::make_unique<Win32Window>(*this, form);
}

void Win32System::Add(Win32Window* window) { windows_.push_back(window); }

void Win32System::Remove(Win32Window* window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void Win32System::FlushAll() {
  for (Win32Window* window : windows_) window->Flush();
}

void Win32System::RunMessageLoop(Form& mainForm) {
  // The form's OnShow runs while its window is still hidden; the window
  // appears afterwards, already showing what OnShow drew.
  mainForm.HandleShow();
  // A close during OnShow: the window is never shown.
  if (quitting_) return;
  for (Win32Window* window : windows_) {
    if (&window->GetForm() == &mainForm) {
      window->Show();
      window->Flush();
    }
  }
  // The flag, not WM_QUIT alone, ends the loop: a modal loop inside a
  // dispatched message may have taken the WM_QUIT for itself.
  MSG msg;
  while (!quitting_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

namespace {

// Ends a message box of this thread: the boxes are the thread's dialogs.
BOOL CALLBACK EndBox(HWND hwnd, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (std::wstring_view(name) == L"#32770") EndDialog(hwnd, IDOK);
  return TRUE;
}

}  // namespace

// Ends the main loop and any modal loop running inside it now. Each modal
// loop of USER32 treats WM_QUIT its own way (the popup menu's swallows it,
// a box's ends, a move's or resize's ends and drops it), so each is ended
// by its own means here, and the windows re-post WM_QUIT after every
// message they handle while the program is ending.
void Win32System::QuitMessageLoop() {
  quitting_ = true;
  PostQuitMessage(0);
  EndMenu();
  EnumThreadWindows(GetCurrentThreadId(), EndBox, 0);
}

void Win32System::QuitStillPending() const {
  if (quitting_) PostQuitMessage(0);
}

intptr_t Win32System::SendMessage(WindowHandle window, uint32_t msg, uintptr_t wParam,
                                  intptr_t lParam) {
  if (window == 0) return 0;
  return SendMessageW(reinterpret_cast<HWND>(window), msg, wParam, lParam);
}

Size Win32System::ScreenSize() const {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Win32System::ShowBox(BoxIcon icon, const std::string& title, const std::string& text) {
  // A box asked for while the program ends would only flash: its loop
  // ends at once on the pending WM_QUIT.
  if (quitting_) return;
  // What the handlers drew so far is on screen while the box waits.
  FlushAll();
  HWND owner = nullptr;
  for (Win32Window* window : windows_) {
    if (window->Visible()) owner = window->Hwnd();
  }
  MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(),
              MB_OK | (icon == BoxIcon::Stop ? MB_ICONSTOP : 0));
  QuitStillPending();
}

void Win32System::ShowMessage(const std::string& title, const std::string& text) {
  ShowBox(BoxIcon::None, title, text);
}

void Win32System::ShowErrorBox(const std::string& title, const std::string& text) {
  ShowBox(BoxIcon::Stop, title, text);
}

std::string Win32System::ExecutablePath() const {
  static const std::string path = [] {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::string();
      if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
      buffer.resize(buffer.size() * 2);  // a long path was cut off
    }
  }();
  return path;
}

std::string Win32System::TempPath() const { return TempDirectory(); }

uint32_t Win32System::MciOpenWaveAudio(const std::string& element, uint32_t* deviceId) {
  const std::wstring path = Wide(element);
  MCI_OPEN_PARMSW open{};
  open.lpstrDeviceType = L"waveaudio";
  open.lpstrElementName = path.c_str();
  const MCIERROR result = mciSendCommandW(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                                          reinterpret_cast<DWORD_PTR>(&open));
  if (result == 0 && deviceId) *deviceId = open.wDeviceID;
  return result;
}

uint32_t Win32System::MciPlayFrom(uint32_t deviceId, uint32_t from) {
  MCI_PLAY_PARMS play{};
  play.dwFrom = from;
  return mciSendCommandW(deviceId, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
}

uint32_t Win32System::MciClose(uint32_t deviceId, uint32_t flags) {
  MCI_GENERIC_PARMS close{};
  return mciSendCommandW(deviceId, MCI_CLOSE, flags, reinterpret_cast<DWORD_PTR>(&close));
}

uint32_t Win32System::TimeGetDevCaps(TimeCaps* caps, uint32_t size) {
  TIMECAPS system{};
  const MMRESULT result = timeGetDevCaps(&system, sizeof system);
  if (result == 0 && caps && size >= sizeof(TimeCaps)) {
    caps->periodMin = system.wPeriodMin;
    caps->periodMax = system.wPeriodMax;
  }
  return result;
}

uint32_t Win32System::TimeBeginPeriod(uint32_t period) { return timeBeginPeriod(period); }

uint32_t Win32System::TimeEndPeriod(uint32_t period) { return timeEndPeriod(period); }

uint32_t Win32System::TimeSetEvent(uint32_t delay, uint32_t resolution, TimerCallback callback,
                                   uintptr_t user, uint32_t flags) {
  // Timers killed a while ago and out of their callback are freed here.
  const ULONGLONG now = GetTickCount64();
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const std::unique_ptr<Timer>& t) {
                                 return t->killed && !t->inCallback &&
                                        now - t->killedAt > kKilledTimerGrace;
                               }),
                timers_.end());
  auto timer = std::make_unique<Timer>();
  timer->callback = callback;
  timer->user = user;
  timer->id = timeSetEvent(delay, resolution, Trampoline, reinterpret_cast<DWORD_PTR>(timer.get()),
                           flags);
  if (timer->id == 0) return 0;
  const uint32_t id = timer->id;
  timers_.push_back(std::move(timer));
  return id;
}

uint32_t Win32System::TimeKillEvent(uint32_t timerId) {
  // Marked first: a tick this timer's thread is sending right now (the
  // thread may already wait in SendMessageW) is dropped when it arrives,
  // so none is handled after this returns.
  Timer* killed = nullptr;
  for (auto& timer : timers_) {
    if (timer->id == timerId && !timer->killed) {
      timer->killed = true;
      timer->killedAt = GetTickCount64();
      if (sendingTimer.load() == timer.get()) sendingTimerKilled = true;
      killed = timer.get();
    }
  }
  const uint32_t result = timeKillEvent(timerId);
  // Inside the handler of this timer's own tick, its callback waits for us
  // and only returns once we do: nothing of the engine runs there again.
  if (killed == nullptr || (InSendMessage() && sendingTimer.load() == killed)) return result;
  // Otherwise wait until a callback in flight has returned, serving the
  // messages sent to this thread meanwhile (a tick on its way is dropped),
  // so the caller may free what the callback reads. Bounded, so a timer
  // service that never returns cannot hang the player.
  const ULONGLONG deadline = GetTickCount64() + 2000;
  while (killed->inCallback.load() && GetTickCount64() < deadline) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
  }
  return result;
}

bool Win32System::FromKilledTimer() { return sendingTimer.load() && sendingTimerKilled.load(); }

namespace {

void CALLBACK Trampoline(UINT, UINT msg, DWORD_PTR user, DWORD_PTR reserved1,
                         DWORD_PTR reserved2) {
  auto* timer = reinterpret_cast<Win32System::Timer*>(user);
  timer->inCallback = true;
  if (!timer->killed) {
    sendingTimerKilled = false;
    sendingTimer = timer;
    // The killed mark may have come between the test and the store.
    if (timer->killed) sendingTimerKilled = true;
    timer->callback(timer->id, msg, timer->user, reserved1, reserved2);
    sendingTimer = nullptr;
  }
  timer->inCallback = false;
}

}  // namespace

}  // namespace sp
