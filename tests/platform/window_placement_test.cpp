// The window's placement rules, as both desktop back ends apply them: the
// geometry per border style and window state, the user's moves, the sizes
// the form hears about, and the keys the window acts on.
#include "platform/window_placement.h"

#include <gtest/gtest.h>

namespace sp {
namespace {

constexpr Size kScreen{1024, 768};

// The player's design-time window: borderless, maximised, 739 x 468 at
// (197, 196).
WindowPlacement PlayerWindow() {
  return WindowPlacement(BorderStyle::None, WindowState::Maximized, {197, 196}, {739, 468});
}

using Kind = WindowPlacement::Kind;
using Visibility = WindowPlacement::Visibility;
using SystemState = WindowPlacement::SystemState;

TEST(WindowPlacement, EachStyleAndStateHasItsGeometry) {
  WindowPlacement p = PlayerWindow();
  WindowPlacement::Geometry g = p.Compute(kScreen);
  EXPECT_EQ(g.kind, Kind::CoverScreen);
  EXPECT_EQ(g.screen, (Rect{0, 0, 1024, 768}));

  EXPECT_TRUE(p.SetStyle(BorderStyle::Sizeable));
  EXPECT_EQ(p.Compute(kScreen).kind, Kind::SystemMaximized);

  EXPECT_TRUE(p.SetState(WindowState::Normal));
  g = p.Compute(kScreen);
  EXPECT_EQ(g.kind, Kind::Normal);
  EXPECT_EQ(g.outerTopLeft, (Point{197, 196}));
  EXPECT_EQ(g.clientSize, (Size{739, 468}));

  // A borderless normal window is placed like a framed one.
  EXPECT_TRUE(p.SetStyle(BorderStyle::None));
  EXPECT_EQ(p.Compute(kScreen).kind, Kind::Normal);
  // Setting what is already set asks for nothing.
  EXPECT_FALSE(p.SetStyle(BorderStyle::None));
  EXPECT_FALSE(p.SetState(WindowState::Normal));
}

TEST(WindowPlacement, FullScreenOffGivesHalfTheScreenAtTheNormalPositionAndOnCoversItAgain) {
  WindowPlacement p = PlayerWindow();
  // The full-screen command, off: style, state, then the client size.
  p.SetStyle(BorderStyle::Sizeable);
  p.SetState(WindowState::Normal);
  EXPECT_TRUE(p.SetClientSize({kScreen.width / 2, kScreen.height / 2}));
  const WindowPlacement::Geometry off = p.Compute(kScreen);
  EXPECT_EQ(off.kind, Kind::Normal);
  EXPECT_EQ(off.outerTopLeft, (Point{197, 196}));
  EXPECT_EQ(off.clientSize, (Size{512, 384}));
  // And on again.
  p.SetStyle(BorderStyle::None);
  p.SetState(WindowState::Maximized);
  EXPECT_EQ(p.Compute(kScreen).kind, Kind::CoverScreen);
  EXPECT_EQ(p.Compute({800, 600}).screen, (Rect{0, 0, 800, 600}));
}

TEST(WindowPlacement, AClientSizeSetWhileMaximisedWaitsForTheNormalState) {
  WindowPlacement p = PlayerWindow();
  EXPECT_FALSE(p.SetClientSize({300, 200}));
  EXPECT_EQ(p.Compute(kScreen).kind, Kind::CoverScreen);
  p.SetState(WindowState::Normal);
  EXPECT_EQ(p.Compute(kScreen).clientSize, (Size{300, 200}));
}

TEST(WindowPlacement, OnlyTheUsersMovesOfTheShownNormalWindowBecomeItsNormalPosition) {
  WindowPlacement p = PlayerWindow();
  // Maximised: the system's moves are not the normal position.
  p.Moved({0, 0}, Visibility::Shown, SystemState::Restored);
  EXPECT_EQ(p.NormalPosition(), (Point{197, 196}));

  p.SetStyle(BorderStyle::Sizeable);
  p.SetState(WindowState::Normal);
  {
    // The back end's own placing is not a move of the user's.
    WindowPlacement::Applying applying(p);
    p.Moved({5, 5}, Visibility::Shown, SystemState::Restored);
  }
  EXPECT_EQ(p.NormalPosition(), (Point{197, 196}));
  p.Moved({6, 6}, Visibility::Hidden, SystemState::Restored);
  p.Moved({7, 7}, Visibility::Shown, SystemState::Maximized);
  EXPECT_EQ(p.NormalPosition(), (Point{197, 196}));

  p.Moved({300, 120}, Visibility::Shown, SystemState::Restored);
  EXPECT_EQ(p.NormalPosition(), (Point{300, 120}));
  // Full screen on and off again: the window comes back where the user put it.
  p.SetStyle(BorderStyle::None);
  p.SetState(WindowState::Maximized);
  p.Moved({0, 0}, Visibility::Shown, SystemState::Restored);
  p.SetStyle(BorderStyle::Sizeable);
  p.SetState(WindowState::Normal);
  EXPECT_EQ(p.Compute(kScreen).outerTopLeft, (Point{300, 120}));
}

TEST(WindowPlacement, ApplyingNestsAndEnds) {
  WindowPlacement p(BorderStyle::Sizeable, WindowState::Normal, {0, 0}, {100, 100});
  {
    WindowPlacement::Applying outer(p);
    { WindowPlacement::Applying inner(p); }
    p.Moved({1, 1}, Visibility::Shown, SystemState::Restored);
    EXPECT_EQ(p.NormalPosition(), (Point{0, 0}));
  }
  p.Moved({2, 2}, Visibility::Shown, SystemState::Restored);
  EXPECT_EQ(p.NormalPosition(), (Point{2, 2}));
}

TEST(WindowPlacement, TheFormHearsOfEachClientSizeOnce) {
  WindowPlacement p = PlayerWindow();
  EXPECT_TRUE(p.ClientSizeReported({1024, 768}));
  EXPECT_FALSE(p.ClientSizeReported({1024, 768}));
  EXPECT_TRUE(p.ClientSizeReported({512, 384}));
  EXPECT_TRUE(p.ClientSizeReported({1024, 768}));
  // The first report counts even when it is 0 x 0.
  WindowPlacement q = PlayerWindow();
  EXPECT_TRUE(q.ClientSizeReported({0, 0}));
}

TEST(WindowPlacement, AltF4ClosesAndTheMenuKeysOpenTheMenu) {
  EXPECT_EQ(CommandForKey(WindowKey::F4, kAlt), KeyCommand::Close);
  EXPECT_EQ(CommandForKey(WindowKey::F4, kAlt | kShift), KeyCommand::Close);
  EXPECT_EQ(CommandForKey(WindowKey::F4, kNoModifier), KeyCommand::None);
  EXPECT_EQ(CommandForKey(WindowKey::F4, kControl), KeyCommand::None);
  EXPECT_EQ(CommandForKey(WindowKey::Menu, kNoModifier), KeyCommand::OpenMenu);
  EXPECT_EQ(CommandForKey(WindowKey::F10, kShift), KeyCommand::OpenMenu);
  EXPECT_EQ(CommandForKey(WindowKey::F10, kNoModifier), KeyCommand::None);
  EXPECT_EQ(CommandForKey(WindowKey::Other, kAlt), KeyCommand::None);
}

}  // namespace
}  // namespace sp
