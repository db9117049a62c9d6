#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "payload/layout.h"
#include "tools/file_util.h"

namespace sp {
class Bitmap;
}

namespace sp::tool {

struct ThumbnailOptions {
  std::string path;    // the recording
  std::string output;  // PNG
  uint32_t payloadOffset = PAYLOAD_OFFSET;
  int size = 256;                    // the longer side at most, in pixels
  std::optional<double> seconds;     // the frame shown then; none: frame 0
  Overwrite overwrite = Overwrite::kRefuse;
};

// Plays the recording on the headless back end up to the frame shown at
// `seconds` (the last frame when later) and writes what the player shows,
// scaled down to fit size x size. A file that is not a recording fails before
// the player starts, and nothing is written unless the picture is whole:
// ToolError. Returns the frame written.
int32_t WriteThumbnail(const ThumbnailOptions& options);

// Fits source into size x size keeping its shape, each pixel the mean of
// the source pixels it covers; never enlarges.
void ScaleDown(const Bitmap& source, int size, Bitmap& target);

}  // namespace sp::tool
