#pragma once

#include <cstdint>
#include <string>

#include "payload/layout.h"
#include "tools/progress_bar.h"

namespace sp::tool {

struct ExportOptions {
  std::string path;  // the recording
  uint32_t payloadOffset = PAYLOAD_OFFSET;
  std::string framesFolder;  // frame_00000.png ... ; empty: none
  std::string video;         // .mp4 with sound; empty: none
  std::string gif;           // empty: none
  std::string ffmpeg = "ffmpeg";  // the program, looked up on PATH
  ProgressBar::Output progress = ProgressBar::Output::TerminalOnly;
};

struct ExportSummary {
  int32_t frames = 0;  // frame pictures written
  int64_t ticks = 0;   // tick pictures sent to ffmpeg, per video
};

// Plays the recording on the headless back end at a screen of its own size
// and writes what Image1 shows: after StartPlayback and after every frame
// step as PNG files, and after every tick as video. ToolError when the
// player reports an error or ffmpeg is missing or fails.
ExportSummary Export(const ExportOptions& options);

}  // namespace sp::tool
