#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "payload/layout.h"
#include "tools/file_util.h"
#include "tools/progress_bar.h"

namespace sp::tool {

struct ExportOptions {
  std::string path;  // the recording
  uint32_t payloadOffset = PAYLOAD_OFFSET;
  std::string framesFolder;  // frame_00000.png ... ; empty: none
  std::string video;         // .mp4 with sound; empty: none
  std::string webm;          // .webm, VP9 and Opus; empty: none
  std::string gif;           // empty: none
  std::string html;          // one self-contained web page (html_output.h); empty: none
  // A WebVTT file beside each video (its name with .vtt) and a subtitle
  // track in it, both holding the caption.
  bool captions = false;
  using Overwrite = tool::Overwrite;
  Overwrite overwrite = Overwrite::kRefuse;
  // kSalvage: a block that does not decode is left out and the export goes
  // on; a recording that stops playing ends the export there, kept.
  enum class Damage { kFail, kSalvage } damage = Damage::kFail;
  std::string ffmpeg = "ffmpeg";  // the program, looked up on PATH
  ProgressBar::Output progress = ProgressBar::Output::TerminalOnly;
  // Called after every tick with the ticks done and the ticks in all.
  std::function<void(int64_t done, int64_t total)> onProgress;
};

struct ExportSummary {
  int32_t frames = 0;  // frame pictures written
  int64_t ticks = 0;   // tick pictures sent to ffmpeg, per video
  int chapters = 0;    // in each video
  std::vector<std::string> files;    // written, in order
  std::vector<std::string> leftOut;  // what salvage left out, one sentence each
};

// What Export would write for these options, the frames folder's first
// picture standing for its pictures.
std::vector<std::string> ExportOutputs(const ExportOptions& options);

// The WebVTT file beside a video: its name with the extension .vtt.
std::string CaptionsPath(const std::string& video);

// Plays the recording on the headless back end at a screen of its own size
// and writes what Image1 shows: after StartPlayback and after every frame
// step as PNG files, and after every tick as video. ToolError when an
// output exists already (unless forced), when the player reports an error
// (unless salvaging) or ffmpeg is missing or fails.
ExportSummary Export(const ExportOptions& options);

}  // namespace sp::tool
