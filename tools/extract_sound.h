#pragma once

#include <cstdint>
#include <string>

#include "tools/file_util.h"

namespace sp::tool {

// Expands the sound track of the recording at `path` (payload at
// payloadOffset) into a WAV file at `output` with the player's own
// expansion; returns the bytes written. ToolError when there is no sound
// track or it is damaged (what was decoded before the damage is kept).
int64_t ExtractSound(const std::string& path, uint32_t payloadOffset, const std::string& output,
                     Overwrite overwrite = Overwrite::kRefuse);

}  // namespace sp::tool
