#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sp::tool {

// One row of a cursor track: from `frame` on the cursor's top-left corner is
// at x, y; `icon` (a .ico path) changes its shape.
struct CursorKey {
  int32_t frame = 0;
  int32_t x = 0;
  int32_t y = 0;
  std::string icon;  // resolved against the track's folder; empty: no change
};

// CSV rows "frame,x,y[,icon.ico]"; blank lines, lines starting with '#' and
// a header row are skipped. ToolError with the line number on a bad row or a
// frame listed twice. The rows come back sorted by frame.
std::vector<CursorKey> ReadCursorTrack(const std::string& path);
std::vector<CursorKey> ParseCursorTrack(const std::string& text, const std::string& folder,
                                        const std::string& name);

struct CursorPath {
  std::vector<int32_t> x;  // per frame
  std::vector<int32_t> y;
  std::vector<std::string> icon;  // per frame; empty: no change there
};

// Positions for frames 0 .. frameCount - 1: a frame without a row keeps the
// previous frame's position; frames before the first row take its position.
// ToolError when a row names a frame past the last one.
CursorPath ResolveCursorPath(const std::vector<CursorKey>& keys, int32_t frameCount);

}  // namespace sp::tool
