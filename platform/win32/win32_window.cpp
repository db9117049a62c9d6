#include "platform/win32/win32_window.h"

#include <windowsx.h>

#include <algorithm>

#include "platform/errors.h"
#include "platform/form.h"
#include "platform/win32/resources.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_system.h"

namespace sp {

namespace {

constexpr wchar_t kClassName[] = L"TPlayForm";
// Menu command identifiers are the item's index plus this.
constexpr UINT kFirstMenuId = 1;

DWORD StyleFor(BorderStyle style) {
  return style == BorderStyle::None ? WS_POPUP | WS_SYSMENU
                                    : WS_OVERLAPPEDWINDOW;
}

// The outer size of a window of this style around a client area.
SIZE OuterSizeFor(DWORD style, Size client) {
  RECT outer{0, 0, client.width, client.height};
  AdjustWindowRectEx(&outer, style, FALSE, 0);
  return {outer.right - outer.left, outer.bottom - outer.top};
}

COLORREF ToColorRef(Color c) { return static_cast<COLORREF>(c & 0x00FFFFFF); }

void RegisterClassOnce() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = Win32Window::WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(kAppIconId));
  wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = nullptr;  // WM_PAINT paints every pixel
  wc.lpszClassName = kClassName;
  registered = RegisterClassExW(&wc) != 0;
}

}  // namespace

Win32Window::Win32Window(Win32System& system, Form& form)
    : system_(system),
      form_(form),
      placement_(form.GetBorderStyle(), form.GetWindowState(), {form.Left(), form.Top()},
                 {form.ClientWidth(), form.ClientHeight()}) {
  RegisterClassOnce();
  menu_ = CreatePopupMenu();
  if (!menu_) throw WindowCreationError();
  const auto& items = form_.PopupMenu();
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].caption == "-") {
      AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu_, MF_STRING, kFirstMenuId + i, Wide(items[i].caption).c_str());
    }
    MenuChanged(i);
  }
  try {
    CreateNative();
  } catch (...) {
    DestroyMenu(menu_);
    throw;
  }
  system_.Add(this);
}

Win32Window::~Win32Window() {
  system_.Remove(this);
  DestroyNative();
  if (menu_) DestroyMenu(menu_);
}

void Win32Window::CreateNative() {
  const DWORD style = StyleFor(placement_.Style());
  const SIZE outer = OuterSizeFor(style, placement_.NormalClientSize());
  const Point position = placement_.NormalPosition();
  {
    WindowPlacement::Applying applying(placement_);
    hwnd_ = CreateWindowExW(0, kClassName, Wide(form_.Caption()).c_str(), style, position.x,
                            position.y, outer.cx, outer.cy, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  }
  // Without a window the program would play its sound with nothing to
  // show and nothing to close it by.
  if (!hwnd_) throw WindowCreationError();
  ApplyGeometry();
  handle_ = reinterpret_cast<WindowHandle>(hwnd_);
}

void Win32Window::DestroyNative() {
  if (!hwnd_) return;
  // The timer thread sees no handle from here until the new window exists;
  // its tick in between is dropped.
  handle_ = 0;
  HWND old = hwnd_;
  hwnd_ = nullptr;
  SetWindowLongPtrW(old, GWLP_USERDATA, 0);
  DestroyWindow(old);
}

void Win32Window::ApplyGeometry() {
  if (!hwnd_) return;
  WindowPlacement::Applying applying(placement_);
  const Size screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const WindowPlacement::Geometry g = placement_.Compute(screen);
  switch (g.kind) {
    case WindowPlacement::Kind::CoverScreen:
      SetWindowPos(hwnd_, nullptr, g.screen.left, g.screen.top, g.screen.Width(),
                   g.screen.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    case WindowPlacement::Kind::SystemMaximized:
      if (Visible()) ShowWindow(hwnd_, SW_MAXIMIZE);
      break;
    case WindowPlacement::Kind::Normal: {
      if (IsZoomed(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
      const SIZE outer =
          OuterSizeFor(static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), g.clientSize);
      SetWindowPos(hwnd_, nullptr, g.outerTopLeft.x, g.outerTopLeft.y, outer.cx, outer.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
  }
}

void Win32Window::SetBorderStyle(BorderStyle style) {
  if (!placement_.SetStyle(style)) return;
  const bool wasVisible = Visible();
  DestroyNative();
  CreateNative();  // throws when refused; the form then ends the program
  if (wasVisible) Show();
}

void Win32Window::SetWindowState(WindowState state) {
  if (placement_.SetState(state)) ApplyGeometry();
}

void Win32Window::SetClientSize(int width, int height) {
  if (placement_.SetClientSize({width, height})) ApplyGeometry();
}

Size Win32Window::ClientSize() const {
  RECT r{};
  if (hwnd_) GetClientRect(hwnd_, &r);
  return {r.right - r.left, r.bottom - r.top};
}

Size Win32Window::OuterSize() const {
  RECT r{};
  if (hwnd_) GetWindowRect(hwnd_, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void Win32Window::SetCaption(const std::string& utf8) {
  if (hwnd_) SetWindowTextW(hwnd_, Wide(utf8).c_str());
}

void Win32Window::MenuChanged(size_t index) {
  const auto& items = form_.PopupMenu();
  if (!menu_ || index >= items.size() || items[index].caption == "-") return;
  const std::wstring caption = Wide(items[index].caption);
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING | MIIM_STATE;
  info.dwTypeData = const_cast<wchar_t*>(caption.c_str());
  info.fState = items[index].checked ? MFS_CHECKED : MFS_UNCHECKED;
  SetMenuItemInfoW(menu_, static_cast<UINT>(kFirstMenuId + index), FALSE, &info);
}

RECT Win32Window::ImageRect() const {
  const ImageControl& image = form_.Image();
  return {image.left, image.top, image.left + image.width, image.top + image.height};
}

void Win32Window::ImageLayoutChanged() {
  if (!hwnd_) return;
  // Where the picture was and where it is now are painted again.
  InvalidateRect(hwnd_, &shownImage_, FALSE);
  shownImage_ = ImageRect();
  InvalidateRect(hwnd_, &shownImage_, FALSE);
}

// The picture shows 1:1 at the control's top-left, clipped to the control
// and to area (client coordinates).
void Win32Window::DrawPicture(HDC dc, const RECT& area) {
  const ImageControl& image = form_.Image();
  const Bitmap& picture = image.picture;
  if (picture.IsEmpty()) return;
  RECT shown{image.left, image.top, image.left + std::min(image.width, picture.Width()),
             image.top + std::min(image.height, picture.Height())};
  RECT part{};
  if (!IntersectRect(&part, &shown, &area)) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.Width();
  // Only the rows of part are handed over, as a top-down DIB of their own.
  const int firstRow = part.top - image.top;
  const int rows = part.bottom - part.top;
  info.bmiHeader.biHeight = -rows;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, part.left, part.top, static_cast<DWORD>(part.right - part.left),
                    static_cast<DWORD>(rows), part.left - image.left, 0,
                    0, static_cast<UINT>(rows),
                    picture.Row(firstRow), &info, DIB_RGB_COLORS);
}

void Win32Window::Flush() { PresentImage(form_.Image().picture.TakeDirty()); }

void Win32Window::PresentImage(const Rect& dirty) {
  // A hidden window gets the whole picture from WM_PAINT when it appears.
  if (dirty.IsEmpty() || !hwnd_ || !Visible()) return;
  const ImageControl& image = form_.Image();
  RECT area{image.left + dirty.left, image.top + dirty.top, image.left + dirty.right,
            image.top + dirty.bottom};
  HDC dc = GetDC(hwnd_);
  DrawPicture(dc, area);
  ReleaseDC(hwnd_, dc);
}

void Win32Window::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  // The form's colour around the picture, then the picture.
  HBRUSH brush = CreateSolidBrush(ToColorRef(form_.GetColor()));
  const RECT image = ImageRect();
  const Bitmap& picture = form_.Image().picture;
  RECT pictureRect{image.left, image.top,
                   image.left + std::min<LONG>(image.right - image.left, picture.Width()),
                   image.top + std::min<LONG>(image.bottom - image.top, picture.Height())};
  if (picture.IsEmpty()) pictureRect = {};
  HRGN rest = CreateRectRgnIndirect(&ps.rcPaint);
  HRGN pictureRegion = CreateRectRgnIndirect(&pictureRect);
  CombineRgn(rest, rest, pictureRegion, RGN_DIFF);
  FillRgn(dc, rest, brush);
  DeleteObject(pictureRegion);
  DeleteObject(rest);
  DeleteObject(brush);
  DrawPicture(dc, ps.rcPaint);
  EndPaint(hwnd_, &ps);
}

void Win32Window::Show() {
  if (!hwnd_) return;
  const bool systemMaximized = placement_.Compute({}).kind == WindowPlacement::Kind::SystemMaximized;
  ShowWindow(hwnd_, systemMaximized ? SW_SHOWMAXIMIZED : SW_SHOW);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
}

void Win32Window::OpenMenu(int x, int y) {
  if (system_.Quitting()) return;
  if (x == -1 && y == -1) {
    // From the keyboard: at the window's top-left.
    POINT origin{0, 0};
    ClientToScreen(hwnd_, &origin);
    x = origin.x;
    y = origin.y;
  }
  for (size_t i = 0; i < form_.PopupMenu().size(); ++i) MenuChanged(i);
  // Ticks go on inside the menu's own loop: sent messages are handled there.
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x, y,
      0, hwnd_, nullptr));
  // The command runs after the menu has closed, as WM_COMMAND would.
  if (chosen >= kFirstMenuId) form_.HandleMenuClick(chosen - kFirstMenuId);
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    reinterpret_cast<Win32Window*>(create->lpCreateParams)->hwnd_ = hwnd;
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window || window->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wParam, lParam);
  // No C++ exception may unwind through the system's frames.
  try {
    const LRESULT result = window->OnMessage(msg, wParam, lParam);
    // Handling this message may have run a modal loop (the menu's, a
    // box's, a move's) that took the WM_QUIT of an end that came meanwhile.
    window->system_.QuitStillPending();
    return result;
  } catch (const std::exception& e) {
    window->system_.ShowErrorBox(ApplicationTitle(window->system_.ExecutablePath()),
                                 std::string(e.what()) + ".");
  } catch (...) {
    window->system_.ShowErrorBox(ApplicationTitle(window->system_.ExecutablePath()),
                                 "Exception.");
  }
  return 0;
}

LRESULT Win32Window::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND self = hwnd_;
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SIZE: {
      if (wParam == SIZE_MINIMIZED) return 0;
      if (placement_.ClientSizeReported({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
        form_.HandleResize();
      }
      return 0;
    }
    case WM_MOVE: {
      RECT r{};
      GetWindowRect(hwnd_, &r);
      placement_.Moved({r.left, r.top},
                       Visible() ? WindowPlacement::Visibility::Shown
                                 : WindowPlacement::Visibility::Hidden,
                       IsZoomed(hwnd_) ? WindowPlacement::SystemState::Maximized
                                       : WindowPlacement::SystemState::Restored);
      return 0;
    }
    case WM_GETMINMAXINFO:
      if (placement_.Style() == BorderStyle::None) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMaxPosition = {0, 0};
        info->ptMaxSize = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        return 0;
      }
      break;
    case WM_CONTEXTMENU:
      OpenMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDOWN: {
      const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const RECT image = ImageRect();
      leftPressed_ = PtInRect(&image, p);
      if (leftPressed_) SetCapture(hwnd_);
      return 0;
    }
    case WM_LBUTTONUP: {
      // A click is a press and a release both on the picture.
      const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const RECT image = ImageRect();
      const bool click = leftPressed_ && PtInRect(&image, p);
      leftPressed_ = false;
      if (GetCapture() == hwnd_) ReleaseCapture();
      if (click) {
        form_.HandleImageClick();
      }
      return 0;
    }
    case WM_SYSKEYDOWN:
      // Alt+F4 closes the borderless window too, which has no system menu
      // of its own to carry the command.
      if (wParam == VK_F4 && CommandForKey(WindowKey::F4, kAlt) == KeyCommand::Close) {
        form_.HandleCloseRequest();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The form decides: its close handler ends the application.
      form_.HandleCloseRequest();
      return 0;
    default:
      if (msg >= WM_USER && msg < 0xC000) {
        if (InSendMessage() && Win32System::FromKilledTimer()) return 0;
        return form_.HandleMessage(msg, wParam, lParam);
      }
      break;
  }
  return DefWindowProcW(self, msg, wParam, lParam);
}

}  // namespace sp
