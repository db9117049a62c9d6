#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sp::qt_test {

using namespace std::chrono_literals;

// Polls pred every few milliseconds until it holds or the time is up.
bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

struct ToolResult {
  int exitCode = -1;
  std::string out;
};
// Runs a program with extra environment variables; stdout is captured.
ToolResult RunTool(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& env = {});

// A child process, killed and reaped when the object goes.
class Process {
 public:
  Process(const std::string& path, const std::map<std::string, std::string>& env);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t Pid() const { return pid_; }
  // The exit code once the process has ended by itself within timeout.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  bool Running();

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct WindowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// One screenshot of the root window, 8-bit RGB.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  // 0x00RRGGBB
  uint32_t At(int x, int y) const;
};

// An X server of its own (Xvfb, no window manager) on a free display, and
// the tools that drive it: xdotool for input and windows, ImageMagick's
// import for screenshots.
class XServer {
 public:
  // Null when Xvfb is not installed or does not start.
  static std::unique_ptr<XServer> Start(int width, int height, const std::string& workDir);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& Display() const { return display_; }

  ToolResult Xdotool(const std::vector<std::string>& args);
  // The visible windows of a process, largest first.
  std::vector<std::string> VisibleWindows(pid_t pid);
  std::optional<WindowGeometry> Geometry(const std::string& window);
  std::string WindowName(const std::string& window);
  void Click(int x, int y, int button);
  void Keys(const std::vector<std::string>& keys);
  std::optional<Screenshot> Capture();

 private:
  XServer() = default;

  pid_t pid_ = -1;
  std::string display_;
  std::string shotPath_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace sp::qt_test
