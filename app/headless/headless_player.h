#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/application.h"
#include "platform/headless/headless_system.h"

namespace sp {

class Bitmap;
class TPlayForm;

enum class ShowPlayer { kNow, kLater };

// The player's entry sequence on the headless back end, held open between
// ticks: the application object, the form (FormCreate), and, unless told
// otherwise, showing it (FormShow, then the window becomes visible).
//
//   HeadlessSystem system;
//   system.SetExecutablePath(path);
//   HeadlessPlayer player(system);
//   player.TickUntilClosed(10000);
class HeadlessPlayer {
 public:
  explicit HeadlessPlayer(HeadlessSystem& system, ShowPlayer show = ShowPlayer::kNow);
  ~HeadlessPlayer();
  HeadlessPlayer(const HeadlessPlayer&) = delete;
  HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

  // False when creating the form failed; the error box says why.
  bool Created() const { return form_ != nullptr; }
  void Show();

  TPlayForm& GetForm() const { return *form_; }
  Application& App() { return app_; }
  HeadlessSystem& GetSystem() { return system_; }
  // Image1's picture: what the window shows.
  const Bitmap& Picture() const;
  bool Closed() const { return app_.Terminated(); }

  bool Tick() { return system_.Tick(); }
  // Ticks until the form closes, no timer runs or `budget` ticks have been
  // delivered; returns the ticks delivered.
  int TickUntilClosed(int budget);
  // Why the player stopped showing the recording, from the boxes shown since
  // the box numbered `fromBox`: an error box's text, or its message that the
  // recording is damaged. Its other messages are about the sound, without
  // which the picture plays on.
  std::optional<std::string> StopReason(size_t fromBox = 0) const;

 private:
  HeadlessSystem& system_;
  Application app_;
  std::unique_ptr<TPlayForm> form_;
};

}  // namespace sp
