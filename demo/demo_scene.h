#pragma once

#include <cstdint>
#include <vector>

#include "recorder/payload_writer.h"

namespace sp::demo {

constexpr int kDesktopWidth = 1024;
constexpr int kDesktopHeight = 768;

// The demo recording: an invented desktop on which a window is dragged,
// text is typed into it (the cursor turns into the inverting text cursor
// over the text) and a menu opens, under a Chinese caption. `wav` is the
// sound track (a whole WAV file, may be empty).
recorder::Recording MakeDemoRecording(std::vector<uint8_t> wav);

}  // namespace sp::demo
