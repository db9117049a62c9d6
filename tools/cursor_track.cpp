#include "tools/cursor_track.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "tools/command_line.h"
#include "tools/file_util.h"

namespace sp::tool {
namespace {

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, ',')) fields.push_back(Trim(field));
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

}  // namespace

std::vector<CursorKey> ParseCursorTrack(const std::string& text, const std::string& folder,
                                        const std::string& name) {
  std::vector<CursorKey> keys;
  std::map<int32_t, int> lineOfFrame;
  std::stringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> fields = SplitFields(line);
    const std::string where = name + ":" + std::to_string(number);
    if (number == 1 && !fields.empty() && !fields[0].empty() &&
        !std::isdigit(static_cast<unsigned char>(fields[0][0])) && fields[0][0] != '-') {
      continue;  // a header row
    }
    if (fields.size() < 3 || fields.size() > 4) {
      throw ToolError(where + ": expected frame,x,y[,icon.ico], got \"" + line + "\"");
    }
    CursorKey key;
    try {
      constexpr int64_t kLimit = 1 << 30;
      key.frame = static_cast<int32_t>(ParseInteger(fields[0], "the frame", 0, INT32_MAX));
      key.x = static_cast<int32_t>(ParseInteger(fields[1], "x", -kLimit, kLimit));
      key.y = static_cast<int32_t>(ParseInteger(fields[2], "y", -kLimit, kLimit));
    } catch (const UsageError& e) {
      throw ToolError(where + ": " + e.what());
    }
    if (fields.size() == 4 && !fields[3].empty()) {
      std::filesystem::path icon(fields[3]);
      key.icon = icon.is_absolute() ? icon.string() : (std::filesystem::path(folder) / icon).string();
    }
    if (auto [it, fresh] = lineOfFrame.emplace(key.frame, number); !fresh) {
      throw ToolError(where + ": frame " + std::to_string(key.frame) + " is listed twice (line " +
                      std::to_string(it->second) + " too)");
    }
    keys.push_back(key);
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const CursorKey& a, const CursorKey& b) { return a.frame < b.frame; });
  return keys;
}

std::vector<CursorKey> ReadCursorTrack(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return ParseCursorTrack(std::string(bytes.begin(), bytes.end()),
                          std::filesystem::path(path).parent_path().string(), path);
}

CursorPath ResolveCursorPath(const std::vector<CursorKey>& keys, int32_t frameCount) {
  CursorPath path;
  path.x.assign(static_cast<size_t>(frameCount), 0);
  path.y.assign(static_cast<size_t>(frameCount), 0);
  path.icon.assign(static_cast<size_t>(frameCount), {});
  if (keys.empty()) return path;
  if (keys.back().frame >= frameCount) {
    throw ToolError("the cursor track names frame " + std::to_string(keys.back().frame) +
                    ", but there are only " + std::to_string(frameCount) + " frames (0 to " +
                    std::to_string(frameCount - 1) + ")");
  }
  size_t next = 0;
  int32_t x = keys.front().x;
  int32_t y = keys.front().y;
  for (int32_t k = 0; k < frameCount; ++k) {
    if (next < keys.size() && keys[next].frame == k) {
      x = keys[next].x;
      y = keys[next].y;
      path.icon[k] = keys[next].icon;
      ++next;
    }
    path.x[k] = x;
    path.y[k] = y;
  }
  return path;
}

}  // namespace sp::tool
