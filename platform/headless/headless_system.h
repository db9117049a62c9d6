#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/shell.h"

namespace sp {

class HeadlessWindow;

struct MessageBoxRecord {
  enum class Kind { kMessage, kError };
  Kind kind;
  std::string title;
  std::string text;
};

// A file's size and 64-bit FNV-1a hash: what a test needs to know that the
// device got the expected bytes, without holding megabytes per open.
struct FileDigest {
  uint64_t size = 0;
  uint64_t hash = 0xcbf29ce484222325u;

  void Add(const uint8_t* bytes, size_t count);
  static FileDigest Of(const std::vector<uint8_t>& bytes);
  bool operator==(const FileDigest&) const = default;
  friend bool operator==(const FileDigest& digest, const std::vector<uint8_t>& bytes) {
    return digest == Of(bytes);
  }
};

struct MciCall {
  enum class Kind { kOpen, kPlay, kClose };
  Kind kind = Kind::kOpen;
  uint32_t device = 0;   // the device opened (0 when the open failed), played or closed
  std::string element;   // kOpen: the file
  uint32_t flags = 0;    // kPlay: the start position; kClose: the flags
  uint32_t result = 0;
  FileDigest contents;   // kOpen: the file's bytes when it was opened
};

struct TimerCall {
  enum class Kind { kDevCaps, kBeginPeriod, kEndPeriod, kSetEvent, kKillEvent };
  Kind kind;
  uint32_t value = 0;   // the period, the delay, or the timer killed
  uint32_t result = 0;  // kSetEvent: the timer's id, 0 on failure
  uint32_t resolution = 0;  // kSetEvent
  uint32_t flags = 0;       // kSetEvent: kTimePeriodic, or 0 for one event
};

// Failures a test injects; 0 and false are success.
struct HeadlessFailures {
  uint32_t mciOpen = 0;  // the error MciOpenWaveAudio returns
  uint32_t mciPlay = 0;
  uint32_t devCaps = 0;
  bool beginPeriodNoCanDo = false;  // TimeBeginPeriod returns 97
  bool setEventFails = false;       // TimeSetEvent returns 0
};

// A deterministic back end: no thread, no clock, no screen. The caller sets
// the screen size, the executable and the temporary directory; ticks are
// delivered one at a time by Tick() on the calling thread; message boxes,
// sound-device, timer and window calls are recorded, boxes dismissed at once.
//
// Window sizes: a visible maximised window has the screen's size (a
// sizeable one less its frame); otherwise the client size is the one last
// set, the design-time size at first. A sizeable window's outer size is the
// client size plus kFrameSize. The window is hidden until ShowMainForm, and
// takes its maximised size only then, after the form's OnShow.
class HeadlessSystem : public System {
 public:
  static constexpr Size kFrameSize{8, 31};
  static constexpr uint32_t kMciErrInvalidDevice = 257;

  HeadlessSystem();
  ~HeadlessSystem() override;

  void SetScreenSize(int width, int height) { screen_ = {width, height}; }
  void SetExecutablePath(std::string path) { exePath_ = std::move(path); }
  void SetTempPath(std::string dir);

  HeadlessFailures failures;
  // Called while each box is up, before it is dismissed.
  std::function<void(const MessageBoxRecord&)> onMessageBox;
  // Called while a window is being re-created, when its handle is 0.
  std::function<void()> onRecreate;
  // RunMessageLoop: called before each tick; the loop ends after tickBudget
  // ticks, at QuitMessageLoop, or when no timer runs.
  std::function<void()> onIdle;
  int tickBudget = 100000;

  // Runs the form's OnShow, then makes its window visible.
  void ShowMainForm(Form& form);
  // One tick of every running timer; false when none runs. A timer set
  // without kTimePeriodic fires once and is gone.
  bool Tick();
  // A menu item, the image or the window's close box, as the user would.
  void ClickMenu(Form& form, const std::string& name);
  void ClickImage(Form& form);
  void RequestClose(Form& form);

  const std::vector<MessageBoxRecord>& MessageBoxes() const { return boxes_; }
  std::vector<std::string> MessageTexts() const;
  const std::vector<MciCall>& MciCalls() const { return mci_; }
  const std::set<uint32_t>& OpenDevices() const { return openDevices_; }
  const std::vector<TimerCall>& TimerCalls() const { return timerCalls_; }
  size_t RunningTimers() const { return timers_.size(); }
  // timeBeginPeriod calls not yet ended.
  int OpenPeriods() const { return openPeriods_; }
  // "border none", "state maximized", "client 512x384", "caption 7",
  // "recreated", "shown", in order. Both logs keep their newest entries
  // only (at least kLogKept): the player sets the caption at every frame,
  // and a long playback must not grow the back end.
  static constexpr size_t kLogKept = 1024;
  const std::vector<std::string>& WindowLog() const { return windowLog_; }
  const std::vector<std::string>& CaptionHistory() const { return captions_; }
  int HandledMessages() const { return handled_; }
  int DroppedMessages() const { return dropped_; }
  int TicksDelivered() const { return ticks_; }
  bool QuitRequested() const { return quit_; }
  // The rectangle of the image control's picture changed by the last
  // handled message or click.
  Rect LastPresented() const { return lastPresented_; }

  // System
  std::unique_ptr<WindowBackend> CreateWindow(Form& form) override;
  void RunMessageLoop(Form& mainForm) override;
  void QuitMessageLoop() override { quit_ = true; }
  intptr_t SendMessage(WindowHandle window, uint32_t msg, uintptr_t wParam,
                       intptr_t lParam) override;
  Size ScreenSize() const override { return screen_; }
  void ShowMessage(const std::string& title, const std::string& text) override;
  void ShowErrorBox(const std::string& title, const std::string& text) override;
  std::string ExecutablePath() const override { return exePath_; }
  std::string TempPath() const override { return tempPath_; }
  uint32_t MciOpenWaveAudio(const std::string& element, uint32_t* deviceId) override;
  uint32_t MciPlayFrom(uint32_t deviceId, uint32_t from) override;
  uint32_t MciClose(uint32_t deviceId, uint32_t flags) override;
  uint32_t TimeGetDevCaps(TimeCaps* caps, uint32_t size) override;
  uint32_t TimeBeginPeriod(uint32_t period) override;
  uint32_t TimeEndPeriod(uint32_t period) override;
  uint32_t TimeSetEvent(uint32_t delay, uint32_t resolution, TimerCallback callback,
                        uintptr_t user, uint32_t flags) override;
  uint32_t TimeKillEvent(uint32_t timerId) override;

 private:
  friend class HeadlessWindow;

  struct Timer {
    TimerCallback callback;
    uintptr_t user;
    uint32_t delay;
    bool periodic;
  };

  void Box(MessageBoxRecord::Kind kind, const std::string& title, const std::string& text);
  void Log(std::string entry) { Keep(windowLog_, std::move(entry)); }
  static void Keep(std::vector<std::string>& log, std::string entry) {
    // Halved when full, so that dropping stays cheap per entry.
    if (log.size() >= 2 * kLogKept) log.erase(log.begin(), log.end() - kLogKept);
    log.push_back(std::move(entry));
  }
  WindowHandle NewHandle() { return nextHandle_++; }
  HeadlessWindow* WindowOf(const Form& form) const;

  Size screen_{1024, 768};
  std::string exePath_;
  std::string tempPath_ = "/tmp/";

  std::vector<HeadlessWindow*> windows_;
  WindowHandle nextHandle_ = 0x100;
  std::vector<MessageBoxRecord> boxes_;
  std::vector<MciCall> mci_;
  std::set<uint32_t> openDevices_;
  uint32_t nextDevice_ = 1;
  std::vector<TimerCall> timerCalls_;
  std::map<uint32_t, Timer> timers_;
  uint32_t nextTimer_ = 1;
  int openPeriods_ = 0;
  std::vector<std::string> windowLog_;
  std::vector<std::string> captions_;
  int handled_ = 0;
  int dropped_ = 0;
  int ticks_ = 0;
  bool quit_ = false;
  Rect lastPresented_;
};

}  // namespace sp
