#include "platform/headless/headless_system.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/form.h"
#include "platform/headless/headless_window.h"

namespace sp {

namespace {

constexpr uint32_t kMciErrFileNotFound = 275;
constexpr uint32_t kMmsysErrInvalParam = 11;

bool DigestFile(const std::string& path, FileDigest& digest) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> piece(64 * 1024);
  digest = {};
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    digest.Add(reinterpret_cast<const uint8_t*>(piece.data()), static_cast<size_t>(in.gcount()));
  }
  return true;
}

}  // namespace

void FileDigest::Add(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    hash = (hash ^ bytes[i]) * 0x100000001b3u;
  }
  size += count;
}

FileDigest FileDigest::Of(const std::vector<uint8_t>& bytes) {
  FileDigest digest;
  digest.Add(bytes.data(), bytes.size());
  return digest;
}

HeadlessSystem::HeadlessSystem() = default;

HeadlessSystem::~HeadlessSystem() = default;

void HeadlessSystem::SetTempPath(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  tempPath_ = std::move(dir);
}

std::vector<std::string> HeadlessSystem::MessageTexts() const {
  std::vector<std::string> texts;
  for (const MessageBoxRecord& box : boxes_) texts.push_back(box.text);
  return texts;
}

HeadlessWindow* HeadlessSystem::WindowOf(const Form& form) const {
  for (HeadlessWindow* window : windows_) {
    if (&window->GetForm() == &form) return window;
  }
  return nullptr;
}

void HeadlessSystem::ShowMainForm(Form& form) {
  form.HandleShow();
  if (HeadlessWindow* window = WindowOf(form)) window->Show();
}

bool HeadlessSystem::Tick() {
  if (timers_.empty()) return false;
  ++ticks_;
  std::vector<uint32_t> ids;
  for (const auto& entry : timers_) ids.push_back(entry.first);
  for (uint32_t id : ids) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;  // killed by an earlier callback of this tick
    Timer timer = it->second;
    if (!timer.periodic) timers_.erase(it);
    timer.callback(id, 0, timer.user, 0, 0);
  }
  return true;
}

void HeadlessSystem::ClickMenu(Form& form, const std::string& name) {
  auto& menu = form.PopupMenu();
  for (size_t i = 0; i < menu.size(); ++i) {
    if (menu[i].name == name) {
      form.HandleMenuClick(i);
      return;
    }
  }
}

void HeadlessSystem::ClickImage(Form& form) {
  form.HandleImageClick();
}

void HeadlessSystem::RequestClose(Form& form) {
  form.HandleCloseRequest();
}

std::unique_ptr<WindowBackend> HeadlessSystem::CreateWindow(Form& form) {
  return std::make_unique<HeadlessWindow>(*this, form);
}

void HeadlessSystem::RunMessageLoop(Form& mainForm) {
  ShowMainForm(mainForm);
  for (int n = 0; !quit_ && n < tickBudget; ++n) {
    if (onIdle) onIdle();
    if (quit_ || !Tick()) break;
  }
}

intptr_t HeadlessSystem::SendMessage(WindowHandle window, uint32_t msg, uintptr_t wParam,
                                     intptr_t lParam) {
  if (window != 0) {
    for (HeadlessWindow* w : windows_) {
      if (w->Handle() != window) continue;
      ++handled_;
      Form& form = w->GetForm();
      return form.HandleMessage(msg, wParam, lParam);
    }
  }
  ++dropped_;
  return 0;
}

void HeadlessSystem::Box(MessageBoxRecord::Kind kind, const std::string& title,
                         const std::string& text) {
  boxes_.push_back({kind, title, text});
  if (onMessageBox) onMessageBox(boxes_.back());
}

void HeadlessSystem::ShowMessage(const std::string& title, const std::string& text) {
  Box(MessageBoxRecord::Kind::kMessage, title, text);
}

void HeadlessSystem::ShowErrorBox(const std::string& title, const std::string& text) {
  Box(MessageBoxRecord::Kind::kError, title, text);
}

uint32_t HeadlessSystem::MciOpenWaveAudio(const std::string& element, uint32_t* deviceId) {
  MciCall call;
  call.kind = MciCall::Kind::kOpen;
  call.element = element;
  if (failures.mciOpen != 0) {
    call.result = failures.mciOpen;
  } else if (!DigestFile(element, call.contents)) {
    call.result = kMciErrFileNotFound;
  } else {
    call.device = nextDevice_++;
    openDevices_.insert(call.device);
    *deviceId = call.device;
  }
  mci_.push_back(std::move(call));
  return mci_.back().result;
}

uint32_t HeadlessSystem::MciPlayFrom(uint32_t deviceId, uint32_t from) {
  MciCall call;
  call.kind = MciCall::Kind::kPlay;
  call.device = deviceId;
  call.flags = from;
  if (!openDevices_.count(deviceId)) {
    call.result = kMciErrInvalidDevice;
  } else {
    call.result = failures.mciPlay;
  }
  mci_.push_back(call);
  return call.result;
}

uint32_t HeadlessSystem::MciClose(uint32_t deviceId, uint32_t flags) {
  MciCall call;
  call.kind = MciCall::Kind::kClose;
  call.device = deviceId;
  call.flags = flags;
  call.result = openDevices_.erase(deviceId) ? 0 : kMciErrInvalidDevice;
  mci_.push_back(call);
  return call.result;
}

uint32_t HeadlessSystem::TimeGetDevCaps(TimeCaps* caps, uint32_t size) {
  uint32_t result = failures.devCaps;
  if (result == 0 && (caps == nullptr || size < sizeof(TimeCaps))) result = kMmsysErrInvalParam;
  if (result == 0) *caps = {1, 1000000};
  timerCalls_.push_back({TimerCall::Kind::kDevCaps, size, result});
  return result;
}

uint32_t HeadlessSystem::TimeBeginPeriod(uint32_t period) {
  uint32_t result = failures.beginPeriodNoCanDo ? kTimeErrNoCanDo : 0;
  if (result == 0) ++openPeriods_;
  timerCalls_.push_back({TimerCall::Kind::kBeginPeriod, period, result});
  return result;
}

uint32_t HeadlessSystem::TimeEndPeriod(uint32_t period) {
  uint32_t result = openPeriods_ > 0 ? 0 : kTimeErrNoCanDo;
  if (result == 0) --openPeriods_;
  timerCalls_.push_back({TimerCall::Kind::kEndPeriod, period, result});
  return result;
}

uint32_t HeadlessSystem::TimeSetEvent(uint32_t delay, uint32_t resolution,
                                      TimerCallback callback, uintptr_t user, uint32_t flags) {
  uint32_t id = 0;
  if (!failures.setEventFails && callback != nullptr) {
    id = nextTimer_++;
    timers_[id] = {callback, user, delay, (flags & kTimePeriodic) != 0};
  }
  timerCalls_.push_back({TimerCall::Kind::kSetEvent, delay, id, resolution, flags});
  return id;
}

uint32_t HeadlessSystem::TimeKillEvent(uint32_t timerId) {
  uint32_t result = timers_.erase(timerId) ? 0 : kMmsysErrInvalParam;
  timerCalls_.push_back({TimerCall::Kind::kKillEvent, timerId, result});
  return result;
}

}  // namespace sp
