#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "recorder/change_detection.h"
#include "recorder/payload_writer.h"
#include "tools/file_util.h"
#include "tools/progress_bar.h"

namespace sp::tool {

struct PackOptions {
  std::string framesFolder;
  int32_t interval = 1000;  // ms
  std::string cursorTrack;  // CSV; empty: no cursor
  std::string sound;        // WAV; empty: none
  recorder::CaptionStyle caption;  // empty text: none
  std::string stub;         // the player to put in front
  std::string output;
  Overwrite overwrite = Overwrite::kRefuse;
  // Pictures from a lossy video differ by noise where nothing changed.
  recorder::ChangeRule changes = recorder::ChangeRule::kExact;
};

struct PackSummary {
  int32_t frames = 0;
  int64_t blocks = 0;
  int64_t fileBytes = 0;
  int64_t stubBytes = 0;
};

// The recording of a folder of pictures: the first is the key frame, each
// later one its frame record of changed bands, as the recorder writes them.
recorder::Recording BuildRecording(const PackOptions& options,
                                   ProgressBar::Output progress = ProgressBar::Output::TerminalOnly);

// Builds the recording, puts the stub in front and writes an executable.
PackSummary Pack(const PackOptions& options,
                 ProgressBar::Output progress = ProgressBar::Output::TerminalOnly);

// The intervals nearest to one that is no whole number of ticks (and so
// plays shorter than it says, FrameClock) which are, one below and one
// above; none when the interval plays as written.
struct ExactIntervals {
  int32_t below = 0;
  int32_t above = 0;
};
std::optional<ExactIntervals> ExactIntervalsNear(int32_t frameInterval);

}  // namespace sp::tool
