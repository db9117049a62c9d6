#pragma once

#include <cstdint>
#include <vector>

#include "recorder/recording_builder.h"

namespace sp::recorder {

// A 1920 x 1080 recording of `seconds`, a frame a second, with the changes
// of an hour's screen work: windows of a few hundred pixels and lines of
// text, a whole-screen change every 5 minutes, the cursor moving. The same
// seconds give the same recording. `fullJpeg`, when given, gets the JPEG of
// the whole-screen change.
enum class LongSound { kNone, kTone };
Recording LongScreenRecording(int seconds, LongSound sound, std::vector<uint8_t>* fullJpeg = nullptr);

}  // namespace sp::recorder
