#pragma once

#include <string>

namespace sp::tool {

// Clears the "enabled" flag of the subtitle tracks of an MP4 file in place,
// so that players leave them off until asked. ffmpeg's MP4 muxer enables
// the first track of every kind whatever its disposition says. ToolError
// when the file cannot be read or written; a file without such a track is
// left as it is.
void DisableSubtitleTracks(const std::string& path);

}  // namespace sp::tool
