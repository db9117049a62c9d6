#pragma once

// selfplay.exe under Wine for the window suite (tests/qt/window_test.cpp).
// Wine draws a sizeable window's frame itself: the X window is the client
// area with its caption and borders around it.
#include "tests/win/wine_fixture.h"

namespace sp::qt_test {

class WindowBackendTest : public win_test::WinePlayerTest {
 protected:
  void LaunchStub(const recorder::Recording& recording) { LaunchWine(recording); }
  // The system frame around a framed window's client area, at most.
  static constexpr int kFrameSlackWidth = 32;
  static constexpr int kFrameSlackHeight = 64;
};

}  // namespace sp::qt_test
