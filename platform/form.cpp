#include "platform/form.h"

#include <stdexcept>

#include "platform/application.h"
#include "platform/errors.h"

namespace sp {

Form::Form(Application& app) : app_(app) {}

Form::~Form() { sharedHandle_->store(0); }

void Form::Create() {
  window_ = app_.GetSystem().CreateWindow(*this);
  PublishHandle();
  OnCreate();
}

void Form::PublishHandle() { sharedHandle_->store(Handle()); }

void Form::SetPosition(int left, int top) {
  left_ = left;
  top_ = top;
}

void Form::SetBorderStyle(BorderStyle style) {
  borderStyle_ = style;
  if (!window_) return;
  try {
    window_->SetBorderStyle(style);
  } catch (const WindowCreationError& e) {
    // Without a window nothing can be shown or closed by the user: the
    // error is reported and the program ends, as the first window's would.
    PublishHandle();
    app_.ShowException(e);
    Close();
    return;
  }
  PublishHandle();
}

void Form::SetWindowState(WindowState state) {
  windowState_ = state;
  if (window_) window_->SetWindowState(state);
}

int Form::ClientWidth() const { return window_ ? window_->ClientSize().width : designClientWidth_; }

int Form::ClientHeight() const {
  return window_ ? window_->ClientSize().height : designClientHeight_;
}

void Form::SetClientSize(int width, int height) {
  if (window_) {
    window_->SetClientSize(width, height);
  } else {
    designClientWidth_ = width;
    designClientHeight_ = height;
  }
}

void Form::SetClientWidth(int width) { SetClientSize(width, ClientHeight()); }

void Form::SetClientHeight(int height) { SetClientSize(ClientWidth(), height); }

int Form::Width() const { return window_ ? window_->OuterSize().width : designClientWidth_; }

int Form::Height() const { return window_ ? window_->OuterSize().height : designClientHeight_; }

void Form::SetCaption(const std::string& utf8) {
  caption_ = utf8;
  if (window_) window_->SetCaption(utf8);
}

MenuItem& Form::MenuItemNamed(const std::string& name) {
  for (MenuItem& item : menu_) {
    if (item.name == name) return item;
  }
  throw std::out_of_range("no menu item " + name);
}

void Form::SetChecked(MenuItem& item, bool checked) {
  item.checked = checked;
  if (!window_) return;
  for (size_t i = 0; i < menu_.size(); ++i) {
    if (&menu_[i] == &item) window_->MenuChanged(i);
  }
}

void Form::SetImageBounds(int left, int top, int width, int height) {
  image_.left = left;
  image_.top = top;
  image_.width = width;
  image_.height = height;
  if (window_) window_->ImageLayoutChanged();
}

WindowHandle Form::Handle() const { return window_ ? window_->Handle() : 0; }

void Form::Close() {
  // OnClose runs once; a later close (the user's, while the end is still
  // on its way out of some loop) only ends the application again.
  if (!app_.Terminated()) OnClose();
  app_.Terminate();
}

void Form::PresentChanges() {
  Rect dirty = image_.picture.TakeDirty();
  if (window_) window_->PresentImage(dirty);
}

void Form::HandleShow() {
  app_.Guard([this] { OnShow(); });
  PresentChanges();
}

void Form::HandleResize() {
  app_.Guard([this] { OnResize(); });
  PresentChanges();
}

void Form::HandleCloseRequest() {
  app_.Guard([this] { Close(); });
  PresentChanges();
}

void Form::HandleMenuClick(size_t index) {
  if (index >= menu_.size()) return;
  // A copy: the handler may change the menu it was called from.
  std::function<void()> handler = menu_[index].onClick;
  if (handler) app_.Guard(handler);
  PresentChanges();
}

void Form::HandleImageClick() {
  std::function<void()> handler = image_.onClick;
  if (handler) app_.Guard(handler);
  PresentChanges();
}

intptr_t Form::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  intptr_t result = 0;
  app_.Guard([&] { result = Dispatch(msg, wParam, lParam); });
  PresentChanges();
  return result;
}

intptr_t Form::Dispatch(uint32_t, uintptr_t, intptr_t) { return 0; }

}  // namespace sp
