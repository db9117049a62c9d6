#include "tests/qt/x_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace sp::qt_test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ExecChild(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env) {
  for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

std::optional<int> ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return std::nullopt;
}

void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto limit = Clock::now() + 2s;
  while (Clock::now() < limit) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto limit = Clock::now() + timeout;
  for (;;) {
    if (pred()) return true;
    if (Clock::now() >= limit) return false;
    std::this_thread::sleep_for(20ms);
  }
}

ToolResult RunTool(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& env) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    ExecChild(argv, env);
  }
  close(pipeFds[1]);
  ToolResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) result.exitCode = ExitCode(status).value_or(-1);
  return result;
}

Process::Process(const std::string& path, const std::map<std::string, std::string>& env) {
  pid_ = fork();
  if (pid_ == 0) ExecChild({path}, env);
}

Process::~Process() {
  if (!status_) KillAndReap(pid_);
}

std::optional<int> Process::WaitExit(std::chrono::milliseconds timeout) {
  WaitFor(
      [&] {
        int status = 0;
        if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_) status_ = ExitCode(status);
        return status_.has_value();
      },
      timeout);
  return status_;
}

bool Process::Running() { return !WaitExit(0ms).has_value(); }

uint32_t Screenshot::At(int x, int y) const {
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return static_cast<uint32_t>(rgb[i]) << 16 | static_cast<uint32_t>(rgb[i + 1]) << 8 | rgb[i + 2];
}

std::unique_ptr<XServer> XServer::Start(int width, int height, const std::string& workDir) {
  if (RunTool({"sh", "-c", "command -v Xvfb"}).exitCode != 0) return nullptr;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return nullptr;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    // Xvfb picks a free display itself and writes its number to this fd.
    ExecChild({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", screen,
               "-nolisten", "tcp", "-noreset"},
              {});
  }
  close(pipeFds[1]);
  std::unique_ptr<XServer> server(new XServer());
  server->pid_ = pid;
  std::string number;
  pollfd p{pipeFds[0], POLLIN, 0};
  const auto limit = Clock::now() + 20s;
  while (Clock::now() < limit) {
    if (poll(&p, 1, 100) > 0) {
      char c;
      if (read(pipeFds[0], &c, 1) != 1) break;
      if (c == '\n') break;
      number += c;
    }
  }
  close(pipeFds[0]);
  if (number.empty()) return nullptr;
  server->display_ = ":" + number;
  server->shotPath_ = workDir + "/screen.rgb";
  server->width_ = width;
  server->height_ = height;
  return server;
}

XServer::~XServer() { KillAndReap(pid_); }

ToolResult XServer::Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunTool(argv, {{"DISPLAY", display_}});
}

std::vector<std::string> XServer::VisibleWindows(pid_t pid) {
  std::istringstream lines(Xdotool({"search", "--onlyvisible", "--pid", std::to_string(pid)}).out);
  std::vector<std::pair<int, std::string>> found;
  std::string id;
  while (lines >> id) {
    const auto g = Geometry(id);
    if (g) found.emplace_back(g->width * g->height, id);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::string> ids;
  for (const auto& [area, window] : found) ids.push_back(window);
  return ids;
}

std::optional<WindowGeometry> XServer::Geometry(const std::string& window) {
  const ToolResult r = Xdotool({"getwindowgeometry", "--shell", window});
  if (r.exitCode != 0) return std::nullopt;
  WindowGeometry g;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::atoi(line.c_str() + eq + 1);
    if (key == "X") g.x = value;
    if (key == "Y") g.y = value;
    if (key == "WIDTH") g.width = value;
    if (key == "HEIGHT") g.height = value;
  }
  return g;
}

std::string XServer::WindowName(const std::string& window) {
  std::string name = Xdotool({"getwindowname", window}).out;
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

void XServer::Click(int x, int y, int button) {
  Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
}

void XServer::Keys(const std::vector<std::string>& keys) {
  std::vector<std::string> args{"key", "--delay", "30"};
  args.insert(args.end(), keys.begin(), keys.end());
  Xdotool(args);
}

std::optional<Screenshot> XServer::Capture() {
  const ToolResult r = RunTool({"import", "-display", display_, "-window", "root", "-depth", "8",
                                "rgb:" + shotPath_});
  if (r.exitCode != 0) return std::nullopt;
  std::ifstream in(shotPath_, std::ios::binary);
  Screenshot shot;
  shot.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  shot.width = width_;
  shot.height = height_;
  if (shot.rgb.size() != static_cast<size_t>(width_) * height_ * 3) return std::nullopt;
  return shot;
}

}  // namespace sp::qt_test
