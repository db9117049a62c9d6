#pragma once

#include "platform/win32/windows_api.h"

#include <atomic>
#include <string>

#include "platform/shell.h"
#include "platform/window_placement.h"

namespace sp {

class Win32System;

// A form's native window: a top-level window of class "TPlayForm" whose
// client area shows the image control's picture, with the form's popup
// menu. Setting the border style creates a new window (a new handle).
class Win32Window : public WindowBackend {
 public:
  Win32Window(Win32System& system, Form& form);
  ~Win32Window() override;

  void SetBorderStyle(BorderStyle style) override;
  void SetWindowState(WindowState state) override;
  void SetClientSize(int width, int height) override;
  Size ClientSize() const override;
  Size OuterSize() const override;
  void SetCaption(const std::string& utf8) override;
  void MenuChanged(size_t index) override;
  void ImageLayoutChanged() override;
  WindowHandle Handle() const override { return handle_.load(); }

  Form& GetForm() const { return form_; }
  HWND Hwnd() const { return hwnd_; }
  bool Visible() const { return hwnd_ && IsWindowVisible(hwnd_); }
  void PresentImage(const Rect& dirty) override;
  // Presents what was drawn so far, for a box shown in the middle of a
  // handler; the form presents the rest when the handler returns.
  void Flush();
  void Show();

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateNative();
  void DestroyNative();
  void ApplyGeometry();
  void Paint();
  void DrawPicture(HDC dc, const RECT& area);
  void OpenMenu(int x, int y);
  RECT ImageRect() const;

  Win32System& system_;
  Form& form_;
  HWND hwnd_ = nullptr;
  std::atomic<WindowHandle> handle_{0};
  HMENU menu_ = nullptr;
  WindowPlacement placement_;
  RECT shownImage_{};
  bool leftPressed_ = false;
};

}  // namespace sp
