#pragma once

#include <atomic>

#include "platform/shell.h"

namespace sp {

class HeadlessSystem;

// The native window of one form on the headless back end; see
// HeadlessSystem for how its sizes are computed.
class HeadlessWindow : public WindowBackend {
 public:
  HeadlessWindow(HeadlessSystem& system, Form& form);
  ~HeadlessWindow() override;

  Form& GetForm() const { return form_; }
  bool Visible() const { return visible_; }
  void Show();

  void SetBorderStyle(BorderStyle style) override;
  void SetWindowState(WindowState state) override;
  void SetClientSize(int width, int height) override;
  Size ClientSize() const override { return client_; }
  Size OuterSize() const override { return outer_; }
  void SetCaption(const std::string& utf8) override;
  void MenuChanged(size_t index) override;
  void ImageLayoutChanged() override {}
  void PresentImage(const Rect& dirty) override;
  WindowHandle Handle() const override { return handle_.load(); }

 private:
  Size ComputeClient() const;
  // Takes the size the properties give; a change reaches Form::HandleResize.
  void Update();

  HeadlessSystem& system_;
  Form& form_;
  BorderStyle border_;
  WindowState state_;
  Size normal_;  // the client size of the normal state
  Size client_;
  Size outer_;
  bool visible_ = false;
  std::atomic<WindowHandle> handle_{0};
};

}  // namespace sp
