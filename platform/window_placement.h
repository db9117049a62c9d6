#pragma once

#include "platform/geometry.h"
#include "platform/shell.h"

namespace sp {

// Where a form's top-level window goes and what of its moves and sizes the
// form hears about: the rules every back end follows, kept here once. A
// back end feeds it the form's property changes and the system's moves and
// sizes, and applies the geometry it computes, as SDL's video drivers
// apply the rectangles the core works out.
class WindowPlacement {
 public:
  // What the back end does to put the window where it belongs.
  enum class Kind {
    CoverScreen,      // borderless and maximised: exactly the whole screen
    SystemMaximized,  // framed and maximised: the system's own maximise
    Normal,           // the client area at its normal size, the frame's
                      // top-left at the normal position
  };
  struct Geometry {
    Kind kind = Kind::Normal;
    Rect screen;          // CoverScreen: the rectangle to cover
    Point outerTopLeft;   // Normal
    Size clientSize;      // Normal
    friend bool operator==(const Geometry&, const Geometry&) = default;
  };

  // From the form's design-time description.
  WindowPlacement(BorderStyle style, WindowState state, Point normalPosition,
                  Size normalClientSize);

  BorderStyle Style() const { return style_; }
  WindowState State() const { return state_; }
  Point NormalPosition() const { return normalPosition_; }
  Size NormalClientSize() const { return normalClientSize_; }

  // Each returns true when the window must be re-laid (or, for the style,
  // re-created) now.
  bool SetStyle(BorderStyle style);
  bool SetState(WindowState state);
  // The client size of the normal window; kept for later while maximised.
  bool SetClientSize(Size size);

  Geometry Compute(Size screen) const;

  // Brackets the back end's own moves and sizes: the moves and sizes the
  // system reports meanwhile are not the user's.
  class Applying {
   public:
    explicit Applying(WindowPlacement& placement) : placement_(placement), was_(placement.applying_) {
      placement_.applying_ = true;
    }
    ~Applying() { placement_.applying_ = was_; }
    Applying(const Applying&) = delete;
    Applying& operator=(const Applying&) = delete;

   private:
    WindowPlacement& placement_;
    bool was_;
  };

  enum class Visibility { Hidden, Shown };
  enum class SystemState { Restored, Maximized };
  // The system moved the window's frame to outerTopLeft. Only the user's
  // moves of the shown, normal window become its normal position.
  void Moved(Point outerTopLeft, Visibility visibility, SystemState systemState);
  // The system reports the client area's size. True when it differs from
  // the size last reported: the form hears about each size once.
  bool ClientSizeReported(Size client);

 private:
  BorderStyle style_;
  WindowState state_;
  Point normalPosition_;
  Size normalClientSize_;
  Size reported_{-1, -1};
  bool applying_ = false;
};

// The keys the window itself acts on, whatever the toolkit calls them.
enum class WindowKey { F4, F10, Menu, Other };
enum KeyModifier : unsigned { kNoModifier = 0, kAlt = 1, kShift = 2, kControl = 4 };
enum class KeyCommand {
  None,
  Close,     // Alt+F4: the system's close command, also without a window manager
  OpenMenu,  // the menu key or Shift+F10: the popup menu at the window's top-left
};
KeyCommand CommandForKey(WindowKey key, unsigned modifiers);

}  // namespace sp
