#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/qt/player_fixture.h"

namespace sp::win_test {

using namespace std::chrono_literals;
using qt_test::ChannelDistance;
using qt_test::Solid;

// Runs build-windows/selfplay.exe with a recording appended under Wine, in
// the prefix of scripts/wine-prefix, on an X server of the test's own
// (without a window manager, as Wine is set to expect).
class WinePlayerTest : public qt_test::PlayerTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the player as name (a Windows file name) and starts it.
  void LaunchWine(const recorder::Recording& recording, const std::string& name = "Player.exe",
                  const std::map<std::string, std::string>& env = {});
  // Writes bytes (a player with its recording, whole or damaged) as name
  // and starts it.
  void LaunchWineFile(const std::vector<uint8_t>& file, const std::string& name);
  // The player's temporary folder inside the prefix: where vexa.wav goes.
  std::string WindowsTempDir() const;
  // Waits until the player shows a window besides its main one (a menu or
  // a box) and returns it.
  std::string WaitForSecondWindow(const std::string& main, std::chrono::milliseconds timeout);
};

std::vector<uint8_t> ReadAll(const std::string& path);

}  // namespace sp::win_test
