#include "platform/headless/headless_window.h"

#include <algorithm>
#include <string>

#include "platform/form.h"
#include "platform/headless/headless_system.h"

namespace sp {

namespace {

std::string SizeText(Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

}  // namespace

HeadlessWindow::HeadlessWindow(HeadlessSystem& system, Form& form)
    : system_(system),
      form_(form),
      border_(form.GetBorderStyle()),
      state_(form.GetWindowState()),
      normal_{form.ClientWidth(), form.ClientHeight()} {
  client_ = ComputeClient();
  outer_ = client_;
  if (border_ == BorderStyle::Sizeable) {
    outer_ = {client_.width + HeadlessSystem::kFrameSize.width,
              client_.height + HeadlessSystem::kFrameSize.height};
  }
  handle_ = system_.NewHandle();
  system_.windows_.push_back(this);
}

HeadlessWindow::~HeadlessWindow() {
  auto& windows = system_.windows_;
  windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

void HeadlessWindow::Show() {
  if (visible_) return;
  visible_ = true;
  system_.Log("shown");
  Update();
}

void HeadlessWindow::SetBorderStyle(BorderStyle style) {
  if (style == border_) return;
  border_ = style;
  system_.Log(style == BorderStyle::None ? "border none" : "border sizeable");
  handle_ = 0;
  if (system_.onRecreate) system_.onRecreate();
  handle_ = system_.NewHandle();
  system_.Log("recreated");
  Update();
}

void HeadlessWindow::SetWindowState(WindowState state) {
  if (state == state_) return;
  state_ = state;
  system_.Log(state == WindowState::Normal ? "state normal" : "state maximized");
  Update();
}

void HeadlessWindow::SetClientSize(int width, int height) {
  normal_ = {std::max(width, 0), std::max(height, 0)};
  Update();
}

void HeadlessWindow::SetCaption(const std::string& utf8) {
  system_.Log("caption " + utf8);
  HeadlessSystem::Keep(system_.captions_, utf8);
}

void HeadlessWindow::MenuChanged(size_t index) {
  const MenuItem& item = form_.PopupMenu().at(index);
  system_.Log("menu " + item.name + (item.checked ? " on" : " off"));
}

Size HeadlessWindow::ComputeClient() const {
  if (!visible_ || state_ != WindowState::Maximized) return normal_;
  Size screen = system_.ScreenSize();
  if (border_ == BorderStyle::None) return screen;
  return {std::max(screen.width - HeadlessSystem::kFrameSize.width, 0),
          std::max(screen.height - HeadlessSystem::kFrameSize.height, 0)};
}

void HeadlessWindow::Update() {
  Size client = ComputeClient();
  Size outer = client;
  if (border_ == BorderStyle::Sizeable) {
    outer = {client.width + HeadlessSystem::kFrameSize.width,
             client.height + HeadlessSystem::kFrameSize.height};
  }
  if (client == client_ && outer == outer_) return;
  if (client != client_) system_.Log("client " + SizeText(client));
  client_ = client;
  outer_ = outer;
  form_.HandleResize();
}

void HeadlessWindow::PresentImage(const Rect& dirty) { system_.lastPresented_ = dirty; }

}  // namespace sp
