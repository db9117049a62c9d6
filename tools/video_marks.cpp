#include "tools/video_marks.h"

#include <cstdio>

#include "playback/scene_marks.h"

namespace sp::tool {
namespace {

std::string VttTime(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}

// ffmetadata gives '=', ';', '#', '\' and newlines a meaning.
std::string MetadataValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '=' || c == ';' || c == '#' || c == '\\' || c == '\n') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::vector<Chapter> SceneChapters(const std::vector<int64_t>& coveredPerFrame, int64_t screenPixels,
                                   int64_t msPerFrame, int64_t durationMs) {
  std::vector<int64_t> starts{0};
  for (const int32_t frame : SceneMarkFrames(coveredPerFrame, screenPixels, msPerFrame)) {
    const int64_t at = int64_t{frame} * msPerFrame;
    if (at >= durationMs) break;
    starts.push_back(at);
  }
  std::vector<Chapter> chapters;
  if (starts.size() < 2) return chapters;
  for (size_t i = 0; i < starts.size(); ++i) {
    const int64_t end = i + 1 < starts.size() ? starts[i + 1] : durationMs;
    chapters.push_back({starts[i], end, "Scene " + std::to_string(i + 1)});
  }
  return chapters;
}

std::string FfmetadataChapters(const std::vector<Chapter>& chapters) {
  std::string out = ";FFMETADATA1\n";
  for (const Chapter& c : chapters) {
    out += "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" + std::to_string(c.startMs) +
           "\nEND=" + std::to_string(c.endMs) + "\ntitle=" + MetadataValue(c.title) + "\n";
  }
  return out;
}

std::string WebVttCaption(const std::string& utf8, int64_t durationMs) {
  // A cue's text may not hold "-->", and '<' and '&' start markup.
  std::string text;
  for (char c : utf8) {
    if (c == '&') {
      text += "&amp;";
    } else if (c == '<') {
      text += "&lt;";
    } else if (c == '>') {
      text += "&gt;";
    } else if (c == '\n' || c == '\r') {
      text += ' ';
    } else {
      text.push_back(c);
    }
  }
  return "WEBVTT\n\n" + VttTime(0) + " --> " + VttTime(durationMs) + "\n" + text + "\n";
}

}  // namespace sp::tool
