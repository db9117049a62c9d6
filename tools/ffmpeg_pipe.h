#pragma once

#include <string>
#include <vector>

namespace sp {
class Bitmap;
}

namespace sp::tool {

// The ffmpeg program on PATH, or ToolError telling the user to install the
// Debian package "ffmpeg".
std::string FindFfmpeg(const std::string& program = "ffmpeg");

// One ffmpeg process reading raw 32-bit pictures (bytes B, G, R, 0, as a
// Bitmap holds 0x00RRGGBB) on its standard input; its messages go to a log
// file that is shown when it fails.
class FfmpegPipe {
 public:
  // arguments: everything after the input description, the output included.
  FfmpegPipe(const std::string& ffmpeg, int width, int height, int tickPeriodMs,
             const std::vector<std::string>& arguments, const std::string& logPath);
  ~FfmpegPipe();
  FfmpegPipe(const FfmpegPipe&) = delete;
  FfmpegPipe& operator=(const FfmpegPipe&) = delete;

  // ToolError when ffmpeg has gone away.
  void Write(const Bitmap& picture);
  // Closes the input and waits; ToolError with ffmpeg's last words on failure.
  void Finish();

 private:
  std::string Log() const;

  int input_ = -1;
  int pid_ = -1;
  int width_;
  int height_;
  std::string logPath_;
  std::string output_;
};

}  // namespace sp::tool
