#include "tools/ffmpeg_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "platform/bitmap.h"
#include "tools/command_line.h"
#include "tools/file_util.h"
#include "tools/yuv_frame.h"

extern char** environ;

namespace sp::tool {

std::string FindFfmpeg(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    if (::access(program.c_str(), X_OK) == 0) return program;
  } else if (const char* path = std::getenv("PATH")) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0 && !std::filesystem::is_directory(candidate)) {
        return candidate;
      }
    }
  }
  throw ToolError("the video export needs the ffmpeg program, which is not on PATH; install the "
                  "Debian package \"ffmpeg\" (sudo apt-get install ffmpeg)");
}

FfmpegPipe::FfmpegPipe(const std::string& ffmpeg, int width, int height, int tickPeriodMs,
                       const std::vector<std::string>& arguments, const std::string& logPath,
                       PipePixels pixels)
    : width_(width), height_(height), pixels_(pixels), logPath_(logPath), output_(arguments.empty() ? "" : arguments.back()) {
  // A dead ffmpeg must show as a failed write, not end this program.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> argv = {ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                   "-f", "rawvideo", "-pixel_format", pixels == PipePixels::kBgr0 ? "bgr0" : "yuv420p",
                                   "-video_size", std::to_string(width) + "x" + std::to_string(height),
                                   "-framerate", "1000/" + std::to_string(tickPeriodMs),
                                   "-i", "pipe:0"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw ToolError(std::string("cannot make a pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[0]);
  if (spawned != 0) {
    ::close(fds[1]);
    throw ToolError("cannot start " + ffmpeg + ": " + std::strerror(spawned));
  }
  pid_ = pid;
  input_ = fds[1];
}

FfmpegPipe::~FfmpegPipe() {
  if (input_ >= 0) ::close(input_);
  if (pid_ > 0) {
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

std::string FfmpegPipe::Log() const {
  std::error_code error;
  if (!std::filesystem::exists(logPath_, error)) return {};
  std::vector<uint8_t> bytes = ReadWholeFile(logPath_);
  std::string text(bytes.begin(), bytes.end());
  constexpr size_t kTail = 1500;
  if (text.size() > kTail) text = "..." + text.substr(text.size() - kTail);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

void FfmpegPipe::Write(const Bitmap& picture) {
  if (pixels_ != PipePixels::kBgr0 || picture.Width() != width_ || picture.Height() != height_) {
    throw ToolError("the player's picture is " + std::to_string(picture.Width()) + " x " +
                    std::to_string(picture.Height()) + " instead of " + std::to_string(width_) +
                    " x " + std::to_string(height_));
  }
  WriteBytes(reinterpret_cast<const uint8_t*>(picture.Data()),
             static_cast<size_t>(width_) * height_ * sizeof(Pixel));
}

void FfmpegPipe::Write(const Yuv420Frame& picture) {
  if (pixels_ != PipePixels::kYuv420p || picture.Width() != width_ || picture.Height() != height_) {
    throw ToolError("a 4:2:0 picture of " + std::to_string(picture.Width()) + " x " +
                    std::to_string(picture.Height()) + " for a pipe that takes another");
  }
  WriteBytes(picture.Data(), picture.Bytes());
}

void FfmpegPipe::WriteBytes(const uint8_t* bytes, size_t left) {
  while (left > 0) {
    const ssize_t n = ::write(input_, bytes, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Finish();  // reports what ffmpeg said
      throw ToolError("ffmpeg stopped reading the pictures for " + output_);
    }
    bytes += n;
    left -= static_cast<size_t>(n);
  }
}

void FfmpegPipe::Finish() {
  if (input_ >= 0) {
    ::close(input_);
    input_ = -1;
  }
  if (pid_ <= 0) return;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  const bool failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  const std::string log = Log();
  // ffmpeg ends with status 0 when a full disk refuses the end of the
  // output; only its log says the file is cut short.
  bool cutShort = false;
  for (const char* words : {"Error writing trailer", "Error closing file", "av_interleaved_write_frame",
                            "Error muxing a packet", "Error submitting a packet to the muxer"}) {
    cutShort |= log.find(words) != std::string::npos;
  }
  if (failed || cutShort) {
    throw ToolError("ffmpeg failed to write " + output_ + (log.empty() ? "" : ":\n" + log));
  }
}

}  // namespace sp::tool
