#include "platform/qt/qt_system.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "platform/errors.h"
#include "platform/form.h"
#include "platform/qt/app_icon.h"
#include "platform/qt/form_window.h"

namespace sp {

namespace {

std::string ReadExecutablePath() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return {};
  path.resize(static_cast<size_t>(n));
  return path;
}

// The last guard around every event: a handler's error that nothing else
// caught is shown in the error box, and the event loop goes on.
class GuardedApplication : public QApplication {
 public:
  GuardedApplication(QtSystem& system, int& argc, char** argv)
      : QApplication(argc, argv), system_(system) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      system_.ShowEscapedError(e.what());
    } catch (...) {
      system_.ShowEscapedError("Exception");
    }
    return true;
  }

 private:
  QtSystem& system_;
};

// QApplication keeps references to these for its whole life. The player
// takes no command line: Qt sees only the program's name.
int qtArgc = 1;
char qtProgramName[] = "selfplay";
char* qtArgv[] = {qtProgramName, nullptr};

}  // namespace

QtSystem::QtSystem() {
  app_ = std::make_unique<GuardedApplication>(*this, qtArgc, qtArgv);
  // Re-creating the borderless window hides it for a moment; that must not
  // end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(MakeAppIcon());
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) throw std::runtime_error("eventfd failed");
  wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
  QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, [this] { DeliverPendingSends(); });
}

QtSystem::~QtSystem() {
  shuttingDown_ = true;
  // Once KillAll has returned no timer callback runs: a timer thread that
  // waited inside a send was released by its timer's stop.
  timers_.KillAll();
  std::deque<std::shared_ptr<PendingSend>> left;
  {
    std::lock_guard<std::mutex> lock(sendsMutex_);
    left.swap(sends_);
  }
  for (const auto& call : left) Finish(*call, 0);
  wakeNotifier_.reset();
  ::close(wakeFd_);
}

std::unique_ptr<WindowBackend> QtSystem::CreateWindow(Form& form) {
  return std::make_unique<FormWindow>(*this, form);
}

WindowHandle QtSystem::Register(FormWindow* window) {
  const WindowHandle handle = ++lastHandle_;
  windows_[handle] = window;
  return handle;
}

void QtSystem::Unregister(WindowHandle handle) {
  if (handle != 0) windows_.erase(handle);
}

FormWindow* QtSystem::VisibleWindow() const {
  for (const auto& [handle, window] : windows_) {
    if (window->isVisible()) return window;
  }
  return nullptr;
}

void QtSystem::RunMessageLoop(Form& mainForm) {
  quitRequested_ = false;
  // The form's OnShow runs while its window is still hidden; the window
  // appears afterwards, already showing what OnShow drew.
  mainForm.HandleShow();
  FormWindow* window = nullptr;
  for (const auto& [handle, w] : windows_) {
    if (&w->GetForm() == &mainForm) window = w;
  }
  if (window != nullptr && !quitRequested_) window->ShowForm();
  if (!quitRequested_) QApplication::exec();
}

void QtSystem::QuitMessageLoop() {
  quitRequested_ = true;
  // Ends the main loop and every nested one (an open menu or box).
  QCoreApplication::exit(0);
}

intptr_t QtSystem::Deliver(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  auto it = windows_.find(window);
  if (window == 0 || it == windows_.end()) return 0;
  return it->second->GetForm().HandleMessage(msg, wParam, lParam);
}

intptr_t QtSystem::SendMessage(WindowHandle window, uint32_t msg, uintptr_t wParam,
                               intptr_t lParam) {
  if (std::this_thread::get_id() == guiThread_) return Deliver(window, msg, wParam, lParam);
  if (shuttingDown_ || window == 0) return 0;
  return SendFromOtherThread(window, msg, wParam, lParam);
}

// The GUI thread handles the message in whichever loop it is running (main
// loop, menu, message box) while this thread waits. From a timer thread the
// wait ends also when the timer is killed, which the GUI thread may do at
// this very moment while this send is queued: KillEvent waits for the
// callback, so the callback must not wait for the GUI thread. A tick of a
// killed timer is dropped, so none is handled after TimeKillEvent returned.
intptr_t QtSystem::SendFromOtherThread(WindowHandle window, uint32_t msg, uintptr_t wParam,
                                       intptr_t lParam) {
  auto call = std::make_shared<PendingSend>();
  call->window = window;
  call->msg = msg;
  call->wParam = wParam;
  call->lParam = lParam;
  call->timer = TimerService::Current();
  if (call->timer) {
    call->mutex = &call->timer->mutex;
    call->wake = &call->timer->wake;
  }
  {
    std::lock_guard<std::mutex> lock(sendsMutex_);
    sends_.push_back(call);
  }
  const uint64_t one = 1;
  if (::write(wakeFd_, &one, sizeof one) != sizeof one) {
    // The counter is full of unread wake-ups: the GUI thread is woken anyway.
  }
  std::unique_lock<std::mutex> lock(*call->mutex);
  call->wake->wait(lock, [&] { return call->done || (call->timer && call->timer->stopped.load()); });
  return call->done ? call->result : 0;
}

void QtSystem::Finish(PendingSend& call, intptr_t result) {
  {
    std::lock_guard<std::mutex> lock(*call.mutex);
    call.done = true;
    call.result = result;
  }
  call.wake->notify_all();
}

void QtSystem::DeliverPendingSends() {
  uint64_t count = 0;
  if (::read(wakeFd_, &count, sizeof count) < 0) {
    // Nothing to read: an earlier call already took the wake-up.
  }
  for (;;) {
    std::shared_ptr<PendingSend> call;
    {
      std::lock_guard<std::mutex> lock(sendsMutex_);
      if (sends_.empty()) return;
      call = sends_.front();
      sends_.pop_front();
    }
    intptr_t result = 0;
    try {
      if (!(call->timer && call->timer->stopped)) {
        result = Deliver(call->window, call->msg, call->wParam, call->lParam);
      }
    } catch (...) {
      Finish(*call, 0);
      throw;
    }
    Finish(*call, result);
  }
}

Size QtSystem::ScreenSize() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  return {screen->geometry().width(), screen->geometry().height()};
}

void QtSystem::ShowBox(BoxIcon icon, const std::string& title, const std::string& text) {
  // What the handlers drew so far is on screen while the box waits.
  for (const auto& [handle, window] : windows_) window->Flush();
  QMessageBox box(icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok,
                  VisibleWindow());
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
  box.exec();
}

void QtSystem::ShowMessage(const std::string& title, const std::string& text) {
  ShowBox(BoxIcon::None, title, text);
}

void QtSystem::ShowErrorBox(const std::string& title, const std::string& text) {
  ShowBox(BoxIcon::Stop, title, text);
}

void QtSystem::ShowEscapedError(const char* what) {
  ShowErrorBox(ApplicationTitle(ExecutablePath()), std::string(what) + ".");
}

std::string QtSystem::ExecutablePath() const {
  static const std::string path = ReadExecutablePath();
  return path;
}

std::string QtSystem::TempPath() const {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') return "/tmp/";
  std::string path = dir;
  if (path.back() != '/') path += '/';
  return path;
}

uint32_t QtSystem::MciOpenWaveAudio(const std::string& element, uint32_t* deviceId) {
  return audio_.Open(element, deviceId);
}

uint32_t QtSystem::MciPlayFrom(uint32_t deviceId, uint32_t from) {
  return audio_.PlayFrom(deviceId, from);
}

uint32_t QtSystem::MciClose(uint32_t deviceId, uint32_t /*flags*/) {
  // SDL closes a device synchronously, so a close with and without
  // MCI_WAIT are the same.
  return audio_.Close(deviceId);
}

uint32_t QtSystem::TimeGetDevCaps(TimeCaps* caps, uint32_t size) {
  if (caps == nullptr || size < sizeof(TimeCaps)) return kTimeErrNoCanDo;
  caps->periodMin = 1;
  caps->periodMax = 1000000;
  return 0;
}

// The steady clock's deadlines need no raised timer resolution on Linux.
uint32_t QtSystem::TimeBeginPeriod(uint32_t period) { return period == 0 ? kTimeErrNoCanDo : 0; }
uint32_t QtSystem::TimeEndPeriod(uint32_t period) { return period == 0 ? kTimeErrNoCanDo : 0; }

uint32_t QtSystem::TimeSetEvent(uint32_t delay, uint32_t /*resolution*/, TimerCallback callback,
                                uintptr_t user, uint32_t flags) {
  return timers_.SetEvent(delay, callback, user, flags);
}

uint32_t QtSystem::TimeKillEvent(uint32_t timerId) { return timers_.KillEvent(timerId); }

}  // namespace sp
