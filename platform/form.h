#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/shell.h"

namespace sp {

class Application;

struct MenuItem {
  std::string name;     // the designer's name, "N1"
  std::string caption;  // UTF-8; "-" is a separator
  bool checked = false;
  std::function<void()> onClick;  // empty: the item does nothing
};

// A picture control: shows its bitmap 1:1 at its top-left.
struct ImageControl {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  Bitmap picture;
  std::function<void()> onClick;
};

// A top-level window with a popup menu and one image control. Properties
// set before Create() are its design-time description; afterwards every
// change goes to the native window.
class Form {
 public:
  explicit Form(Application& app);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Application& App() const { return app_; }

  // Creates the native window from the properties, then runs OnCreate.
  void Create();

  int Left() const { return left_; }
  int Top() const { return top_; }
  void SetPosition(int left, int top);
  BorderStyle GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(BorderStyle style);
  WindowState GetWindowState() const { return windowState_; }
  void SetWindowState(WindowState state);
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int width, int height);
  // ClientWidth and ClientHeight set one at a time, each a resize of its own.
  void SetClientWidth(int width);
  void SetClientHeight(int height);
  int Width() const;  // outer, frame included
  int Height() const;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& utf8);
  Color GetColor() const { return color_; }
  void SetColor(Color c) { color_ = c; }

  std::vector<MenuItem>& PopupMenu() { return menu_; }
  MenuItem& MenuItemNamed(const std::string& name);
  void SetChecked(MenuItem& item, bool checked);
  ImageControl& Image() { return image_; }
  void SetImageBounds(int left, int top, int width, int height);

  // 0 while there is no native window. GUI thread only.
  WindowHandle Handle() const;
  // The window handle for another thread: written on the GUI thread each
  // time the window is created or re-created, 0 once the form is gone. It
  // outlives the form, so a thread holding it never reads a freed form.
  using SharedHandle = std::shared_ptr<const std::atomic<WindowHandle>>;
  SharedHandle HandleForOtherThreads() const { return sharedHandle_; }
  // Runs OnClose, then ends the application (this is its main form).
  void Close();

  // Entry points for the back end; each runs its handler inside the error box.
  void HandleShow();
  void HandleResize();
  void HandleCloseRequest();
  void HandleMenuClick(size_t index);
  void HandleImageClick();
  intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);

 protected:
  virtual void OnCreate() {}
  virtual void OnShow() {}
  virtual void OnResize() {}
  virtual void OnClose() {}
  // Message dispatch; messages the form does not know return 0.
  virtual intptr_t Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam);

 private:
  // Hands what the handler changed in the image's picture to the window:
  // the one place that does it, after every entry point.
  void PresentChanges();
  void PublishHandle();

  Application& app_;
  std::unique_ptr<WindowBackend> window_;
  std::shared_ptr<std::atomic<WindowHandle>> sharedHandle_ =
      std::make_shared<std::atomic<WindowHandle>>(0);
  int left_ = 0;
  int top_ = 0;
  int designClientWidth_ = 0;
  int designClientHeight_ = 0;
  BorderStyle borderStyle_ = BorderStyle::Sizeable;
  WindowState windowState_ = WindowState::Normal;
  std::string caption_;
  Color color_ = kWhite;
  std::vector<MenuItem> menu_;
  ImageControl image_;
};

}  // namespace sp
