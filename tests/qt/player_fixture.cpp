#include "tests/qt/player_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "recorder/test_media.h"

namespace sp::qt_test {

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF)));
  }
  return worst;
}

std::unique_ptr<Bitmap> Solid(int width, int height, Pixel pixel) {
  auto b = std::make_unique<Bitmap>(width, height);
  recorder::FillRect(*b, b->Bounds(), pixel);
  return b;
}

void PlayerTest::SetUp() {
  char pattern[] = "/tmp/selfplay-qt-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  workDir_ = pattern;
  std::filesystem::create_directory(workDir_ + "/run");
  std::filesystem::permissions(workDir_ + "/run", std::filesystem::perms::owner_all);
  x_ = XServer::Start(kScreenWidth, kScreenHeight, workDir_);
  if (!x_) GTEST_SKIP() << "Xvfb is not installed";
}

void PlayerTest::TearDown() {
  player_.reset();
  x_.reset();
  std::error_code ignored;
  if (!workDir_.empty()) std::filesystem::remove_all(workDir_, ignored);
}

std::string PlayerTest::WritePlayer(const recorder::Recording& recording, const std::string& name) {
  std::ifstream in(SELFPLAY_STUB, std::ios::binary);
  std::vector<uint8_t> stub((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stub.size(), PAYLOAD_OFFSET) << SELFPLAY_STUB;
  const std::string path = workDir_ + "/" + name;
  EXPECT_TRUE(recorder::WriteFile(path, recorder::MakeSelfPlaying(stub, recording)));
  chmod(path.c_str(), 0755);
  return path;
}

void PlayerTest::Launch(const std::string& path, const std::map<std::string, std::string>& env) {
  std::map<std::string, std::string> all{{"DISPLAY", x_->Display()},
                                         {"TMPDIR", workDir_},
                                         {"XDG_RUNTIME_DIR", workDir_ + "/run"},
                                         {"QT_QPA_PLATFORM", "xcb"},
                                         {"SDL_AUDIODRIVER", "dummy"}};
  for (const auto& [k, v] : env) all[k] = v;
  player_ = std::make_unique<Process>(path, all);
}

std::string PlayerTest::MainWindow() {
  std::string window;
  WaitFor(
      [&] {
        const auto windows = x_->VisibleWindows(player_->Pid());
        if (!windows.empty()) window = windows.front();
        return !window.empty();
      },
      60s);
  return window;
}

uint32_t PlayerTest::PixelAt(int x, int y) {
  const auto shot = x_->Capture();
  return shot ? shot->At(x, y) : 0xFF000000;
}

bool PlayerTest::WaitForPixel(int x, int y, uint32_t want, std::chrono::milliseconds timeout,
                              int tolerance) {
  return WaitFor([&] { return ChannelDistance(PixelAt(x, y), want) <= tolerance; }, timeout);
}

bool PlayerTest::OpenMenu(int x, int y) {
  const size_t before = x_->VisibleWindows(player_->Pid()).size();
  x_->Click(x, y, 3);
  return WaitFor([&] { return x_->VisibleWindows(player_->Pid()).size() > before; }, 30s);
}

bool PlayerTest::WaitForExit(int* code, std::chrono::milliseconds timeout) {
  const auto status = player_->WaitExit(timeout);
  if (status) *code = *status;
  return status.has_value();
}

}  // namespace sp::qt_test
