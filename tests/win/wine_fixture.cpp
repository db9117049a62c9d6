#include "tests/win/wine_fixture.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace sp::win_test {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WinePlayerTest::SetUp() {
  ASSERT_TRUE(fs::exists(SELFPLAY_STUB)) << SELFPLAY_STUB << " is not built (windows preset)";
  ASSERT_TRUE(fs::exists(std::string(SELFPLAY_WINE_DIR) + "/prefix/system.reg"))
      << "no Wine prefix: run scripts/wine-prefix";
  PlayerTest::SetUp();
  if (IsSkipped()) return;
  std::error_code ignored;
  fs::remove(WindowsTempDir() + "/vexa.wav", ignored);
}

void WinePlayerTest::TearDown() {
  PlayerTest::TearDown();
}

std::string WinePlayerTest::WindowsTempDir() const {
  const fs::path users = fs::path(SELFPLAY_WINE_DIR) / "prefix/drive_c/users";
  std::error_code ignored;
  for (const auto& user : fs::directory_iterator(users, ignored)) {
    if (user.path().filename() != "Public" && fs::exists(user.path() / "Temp")) {
      return (user.path() / "Temp").string();
    }
  }
  return {};
}

void WinePlayerTest::LaunchWineFile(const std::vector<uint8_t>& file, const std::string& name) {
  const std::string exe = workDir_ + "/" + name;
  ASSERT_TRUE(recorder::WriteFile(exe, file));
  const std::string script = workDir_ + "/run-under-wine";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nexec '" << SELFPLAY_WINE_RUN << "' '" << exe << "'\n";
  }
  chmod(script.c_str(), 0755);
  Launch(script);
}

void WinePlayerTest::LaunchWine(const recorder::Recording& recording, const std::string& name,
                                const std::map<std::string, std::string>& env) {
  const std::string exe = WritePlayer(recording, name);
  const std::string script = workDir_ + "/run-under-wine";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nexec '" << SELFPLAY_WINE_RUN << "' '" << exe << "'\n";
  }
  chmod(script.c_str(), 0755);
  Launch(script, env);
}

std::string WinePlayerTest::WaitForSecondWindow(const std::string& main,
                                                std::chrono::milliseconds timeout) {
  std::string other;
  qt_test::WaitFor(
      [&] {
        for (const std::string& w : x_->VisibleWindows(player_->Pid())) {
          if (w != main) other = w;
        }
        return !other.empty();
      },
      timeout);
  return other;
}

}  // namespace sp::win_test
