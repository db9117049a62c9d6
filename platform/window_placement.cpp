#include "platform/window_placement.h"

namespace sp {

WindowPlacement::WindowPlacement(BorderStyle style, WindowState state, Point normalPosition,
                                 Size normalClientSize)
    : style_(style),
      state_(state),
      normalPosition_(normalPosition),
      normalClientSize_(normalClientSize) {}

bool WindowPlacement::SetStyle(BorderStyle style) {
  if (style == style_) return false;
  style_ = style;
  return true;
}

bool WindowPlacement::SetState(WindowState state) {
  if (state == state_) return false;
  state_ = state;
  return true;
}

bool WindowPlacement::SetClientSize(Size size) {
  normalClientSize_ = size;
  return state_ == WindowState::Normal;
}

WindowPlacement::Geometry WindowPlacement::Compute(Size screen) const {
  Geometry g;
  if (state_ == WindowState::Maximized) {
    g.kind = style_ == BorderStyle::None ? Kind::CoverScreen : Kind::SystemMaximized;
    g.screen = {0, 0, screen.width, screen.height};
    return g;
  }
  g.kind = Kind::Normal;
  g.outerTopLeft = normalPosition_;
  g.clientSize = normalClientSize_;
  return g;
}

void WindowPlacement::Moved(Point outerTopLeft, Visibility visibility, SystemState systemState) {
  if (applying_ || state_ != WindowState::Normal || visibility != Visibility::Shown ||
      systemState != SystemState::Restored) {
    return;
  }
  normalPosition_ = outerTopLeft;
}

bool WindowPlacement::ClientSizeReported(Size client) {
  if (client == reported_) return false;
  reported_ = client;
  return true;
}

KeyCommand CommandForKey(WindowKey key, unsigned modifiers) {
  const unsigned held = modifiers & (kAlt | kShift | kControl);
  if (key == WindowKey::F4 && (held & kAlt)) return KeyCommand::Close;
  if (key == WindowKey::Menu && held == kNoModifier) return KeyCommand::OpenMenu;
  if (key == WindowKey::F10 && held == kShift) return KeyCommand::OpenMenu;
  return KeyCommand::None;
}

}  // namespace sp
