#pragma once

#include <string>

#include "tools/pack.h"

namespace sp::tool {

enum class VideoSound {
  kClassic,  // 8-bit mono PCM at 11,025 samples per second, as recordings carry it
  kKept,     // the video's own sample rate and channels, as 16-bit PCM
};

struct VideoSource {
  std::string path;
  VideoSound sound = VideoSound::kClassic;
  std::string ffmpeg = "ffmpeg";    // looked up on PATH
  std::string ffprobe = "ffprobe";  // likewise
};

// Packs a screen capture video: through ffmpeg, one picture every
// options.interval ms (the first at 0) and the first sound stream, if
// there is one, as a WAV file (unless options names a sound file of its
// own); then as Pack does with those. The frames folder of options is
// ignored. ToolError when ffmpeg is
// missing, the file holds no video stream, or ffmpeg fails.
PackSummary PackVideo(const VideoSource& video, PackOptions options,
                      ProgressBar::Output progress = ProgressBar::Output::TerminalOnly);

}  // namespace sp::tool
