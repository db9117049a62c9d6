#pragma once

// The Linux stub for the window suite (tests/qt/window_test.cpp): the
// program itself on the suite's X server, where its window is exactly the
// client area the form asks for.
#include "tests/qt/player_fixture.h"

namespace sp::qt_test {

class WindowBackendTest : public PlayerTest {
 protected:
  void LaunchStub(const recorder::Recording& recording) { Launch(WritePlayer(recording)); }
  // The system frame around a framed window's client area, at most.
  static constexpr int kFrameSlackWidth = 0;
  static constexpr int kFrameSlackHeight = 0;
};

}  // namespace sp::qt_test
