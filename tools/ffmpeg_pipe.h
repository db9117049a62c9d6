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

class Yuv420Frame;

// What the pictures on ffmpeg's standard input are: 32-bit pixels (bytes
// B, G, R, 0, as a Bitmap holds 0x00RRGGBB), or planar 4:2:0.
enum class PipePixels { kBgr0, kYuv420p };

// One ffmpeg process reading raw pictures on its standard input; its
// messages go to a log file that is shown when it fails.
class FfmpegPipe {
 public:
  // arguments: everything after the input description, the output included.
  // width and height are the pictures' (even for kYuv420p).
  FfmpegPipe(const std::string& ffmpeg, int width, int height, int tickPeriodMs,
             const std::vector<std::string>& arguments, const std::string& logPath,
             PipePixels pixels = PipePixels::kBgr0);
  ~FfmpegPipe();
  FfmpegPipe(const FfmpegPipe&) = delete;
  FfmpegPipe& operator=(const FfmpegPipe&) = delete;

  // ToolError when ffmpeg has gone away.
  void Write(const Bitmap& picture);
  void Write(const Yuv420Frame& picture);
  PipePixels Pixels() const { return pixels_; }
  // One picture's bytes as they are, in the pipe's format.
  void WriteRaw(const uint8_t* bytes, size_t count) { WriteBytes(bytes, count); }
  // Closes the input and waits; ToolError with ffmpeg's last words on failure.
  void Finish();

 private:
  std::string Log() const;
  void WriteBytes(const uint8_t* bytes, size_t count);

  int input_ = -1;
  int pid_ = -1;
  int width_;
  int height_;
  PipePixels pixels_;
  std::string logPath_;
  std::string output_;
};

}  // namespace sp::tool
