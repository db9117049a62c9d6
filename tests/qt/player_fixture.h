#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "recorder/payload_writer.h"
#include "tests/qt/x_harness.h"

namespace sp::qt_test {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// Largest difference of one colour channel between two pixels.
int ChannelDistance(uint32_t a, uint32_t b);

// A solid picture; survives JPEG coding within a few levels.
std::unique_ptr<Bitmap> Solid(int width, int height, Pixel pixel);

// Each test gets its own X server and working folder (the player's TMPDIR),
// and runs the real stub with a recording appended.
class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes stub + recording to the working folder as an executable.
  std::string WritePlayer(const recorder::Recording& recording, const std::string& name = "Player");
  void Launch(const std::string& path, const std::map<std::string, std::string>& env = {});
  // The player's main window, once it is visible.
  std::string MainWindow();
  // Deadlines are generous: the machine may be shared and slow, and a wait
  // that succeeds ends as soon as its condition holds. Waiting for a frame
  // of a playing recording needs frames that stay well over a second.
  // Waits until the pixel at (x, y) of the screen is within tolerance of want.
  bool WaitForPixel(int x, int y, uint32_t want, std::chrono::milliseconds timeout,
                    int tolerance = 12);
  uint32_t PixelAt(int x, int y);
  // Opens the popup menu with a right click at (x, y); true once it shows.
  bool OpenMenu(int x, int y);
  bool WaitForExit(int* code, std::chrono::milliseconds timeout = 60s);

  std::string workDir_;
  std::unique_ptr<XServer> x_;
  std::unique_ptr<Process> player_;
};

}  // namespace sp::qt_test
