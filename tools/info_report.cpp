#include "tools/info_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "playback/frame_clock.h"
#include "tools/text_format.h"

namespace sp::tool {
namespace {

using Json = nlohmann::ordered_json;

std::string Hex6(uint32_t rrggbb) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%06X", rrggbb & 0xFFFFFFu);
  return buffer;
}

// Stored as 0x00BBGGRR; shown the way web colours are written, RRGGBB.
uint32_t ToRrggbb(uint32_t bbggrr) {
  return (bbggrr & 0xFF) << 16 | (bbggrr & 0xFF00) | (bbggrr >> 16 & 0xFF);
}

std::string Channels(uint16_t channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return std::to_string(channels) + " channels";
}

// From frame 0 to the step that shows the last of `frames`.
int64_t PlayedMs(int32_t frames, int32_t interval) {
  return FrameClock(interval).MillisecondsOfFrame(std::max<int64_t>(int64_t{frames} - 1, 0));
}

// What the header's interval promises, what the frame clock plays, and
// what plays before any damage.
double HeaderSeconds(const VideoHeader& h) {
  return (static_cast<double>(h.FrameCount) - 1) * h.FrameInterval / 1000.0;
}
double PlayedSeconds(const VideoHeader& h) {
  return static_cast<double>(PlayedMs(h.FrameCount, h.FrameInterval)) / 1000.0;
}
double PlayableSeconds(const RecordingInfo& info) {
  return static_cast<double>(PlayedMs(info.PlayableFrames(), info.header->FrameInterval)) / 1000.0;
}

// Seconds to the millisecond, as the JSON report gives them.
double Millis(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

std::string Styles(const CaptionInfo& c) {
  std::string out;
  auto add = [&](uint8_t flag, const char* name) {
    if (flag == 1) out += std::string(", ") + name;
  };
  add(c.CaptionBold, "bold");
  add(c.CaptionItalic, "italic");
  add(c.CaptionUnderline, "underline");
  add(c.CaptionStrikeOut, "strike-out");
  return out;
}

// A WAV header that was read whole and whose bytes all decoded.
bool WholeWav(const SoundTrackInfo& s) { return s.wav.problem.empty() && s.decodedBytes == s.decodedLength; }

// The report is a list of topics. Each says when it has something to say,
// its text lines (label, text; an empty label continues the line above) and
// its JSON members, side by side, so that the two forms cannot drift apart.
using Lines = std::vector<std::pair<std::string, std::string>>;
struct Topic {
  std::function<bool(const RecordingInfo&)> present;
  std::function<Lines(const RecordingInfo&)> text;
  std::function<void(const RecordingInfo&, Json&)> json;
};

bool Always(const RecordingInfo&) { return true; }

Topic FileTopic() {
  return {Always,
          [](const RecordingInfo& info) {
            return Lines{{"file", Thousands(info.fileSize) + " bytes"},
                         {"stub", Thousands(info.payloadOffset) + " bytes; the payload begins at offset " +
                                      Thousands(info.payloadOffset)}};
          },
          [](const RecordingInfo& info, Json& j) {
            j["fileSize"] = info.fileSize;
            j["payloadOffset"] = info.payloadOffset;
            j["leadWord"] = info.leadWord;
            j["videoOffset"] = info.videoOffset;
          }};
}

Lines SoundLines(const RecordingInfo& info) {
  if (info.leadWord == 0 && info.videoOffset != 0) return {{"sound", "none"}};
  if (!info.sound) return {};
  const SoundTrackInfo& s = *info.sound;
  Lines lines{{"sound", Thousands(s.decodedLength) + " bytes decoded from " + Thousands(s.codedBytes) +
                            " coded bytes at offset " + Thousands(s.offset)}};
  if (WholeWav(s)) {
    lines.push_back({"", "WAV " + s.wav.FormatName() + ", " + Thousands(s.wav.sampleRate) + " Hz, " +
                             std::to_string(s.wav.bitsPerSample) + " bits, " + Channels(s.wav.channels) + ", " +
                             Seconds(s.wav.DurationSeconds())});
  }
  return lines;
}

void SoundJson(const RecordingInfo& info, Json& j) {
  j["sound"] = nullptr;
  if (!info.sound) return;
  const SoundTrackInfo& s = *info.sound;
  Json sound{{"offset", s.offset},
             {"codedBytes", s.codedBytes},
             {"decodedLength", s.decodedLength},
             {"decodedBytes", s.decodedBytes},
             {"wav", nullptr}};
  if (WholeWav(s)) {
    sound["wav"] = Json{{"format", s.wav.FormatName()},       {"formatTag", s.wav.formatTag},
                        {"sampleRate", s.wav.sampleRate},     {"bitsPerSample", s.wav.bitsPerSample},
                        {"channels", s.wav.channels},         {"dataBytes", s.wav.dataSize},
                        {"durationSeconds", Millis(s.wav.DurationSeconds())}};
  }
  j["sound"] = std::move(sound);
}

Lines VideoLines(const RecordingInfo& info) {
  Lines lines;
  if (info.videoOffset != 0) lines.push_back({"video", "at offset " + Thousands(info.videoOffset)});
  if (!info.header) return lines;
  const VideoHeader& h = *info.header;
  lines.push_back({"frame size", std::to_string(h.FrameWidth) + " x " + std::to_string(h.FrameHeight)});
  std::string frames = Thousands(h.FrameCount) + ", every " + Thousands(h.FrameInterval) + " ms";
  if (info.TicksPerFrame() > 0) {
    frames += " (" + std::to_string(info.TicksPerFrame()) + " ticks of " + std::to_string(info.TickPeriod()) + " ms)";
  }
  frames += ", " + Seconds(PlayedSeconds(h));
  if (PlayedMs(h.FrameCount, h.FrameInterval) != int64_t(h.FrameCount - 1) * h.FrameInterval) {
    frames += " as played (" + Seconds(HeaderSeconds(h)) + " by the interval)";
  }
  lines.push_back({"frames", frames});
  if (info.damage) {
    lines.push_back({"playable", Thousands(info.PlayableFrames()) + " of " + Thousands(h.FrameCount) + " frames, " +
                                     Seconds(PlayableSeconds(info)) + ", up to the damage"});
  }
  return lines;
}

void VideoJson(const RecordingInfo& info, Json& j) {
  if (!info.header) return;
  const VideoHeader& h = *info.header;
  j["frameWidth"] = h.FrameWidth;
  j["frameHeight"] = h.FrameHeight;
  j["frameCount"] = h.FrameCount;
  j["frameInterval"] = h.FrameInterval;
  j["ticksPerFrame"] = info.TicksPerFrame();
  j["tickPeriod"] = info.TickPeriod();
  j["durationSeconds"] = Millis(PlayedSeconds(h));
  j["headerDurationSeconds"] = Millis(HeaderSeconds(h));
  j["playableFrames"] = info.PlayableFrames();
  j["playableSeconds"] = Millis(PlayableSeconds(info));
  j["hasCursor"] = h.HasCursor;
}

Topic CaptionTopic() {
  return {[](const RecordingInfo& info) { return info.caption.has_value(); },
          [](const RecordingInfo& info) {
            const CaptionInfo& c = *info.caption;
            if (c.CaptionText.empty()) return Lines{{"caption", "none"}};
            return Lines{{"caption", "\"" + c.CaptionText + "\" at " + std::to_string(c.CaptionX) + "," +
                                         std::to_string(c.CaptionY) + ", " +
                                         (c.CaptionFontName.empty() ? std::string("default font") : c.CaptionFontName) +
                                         " " + std::to_string(c.CaptionFontSize) + " pt, colour " +
                                         Hex6(ToRrggbb(c.CaptionFontColor)) + Styles(c)}};
          },
          [](const RecordingInfo& info, Json& j) {
            const CaptionInfo& c = *info.caption;
            j["caption"] = Json{{"text", c.CaptionText},
                                {"x", c.CaptionX},
                                {"y", c.CaptionY},
                                {"fontSize", c.CaptionFontSize},
                                {"fontName", c.CaptionFontName},
                                {"fontColor", Hex6(ToRrggbb(c.CaptionFontColor))},
                                {"bold", c.CaptionBold == 1},
                                {"italic", c.CaptionItalic == 1},
                                {"underline", c.CaptionUnderline == 1},
                                {"strikeOut", c.CaptionStrikeOut == 1}};
          }};
}

std::string CursorChangesText(const std::vector<CursorChange>& changes) {
  if (changes.empty()) return "no shape changes";
  std::string text = Thousands(static_cast<int64_t>(changes.size())) + " shape change" +
                     (changes.size() == 1 ? "" : "s") + (changes.size() == 1 ? " (frame " : " (frames ");
  const size_t shown = std::min<size_t>(changes.size(), 10);
  for (size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + std::to_string(changes[i].frame);
  if (shown < changes.size()) text += ", ...";
  return text + ")";
}

Topic CursorTopic() {
  return {[](const RecordingInfo& info) { return (info.header && !info.HasCursor()) || info.cursorIconSize > 0; },
          [](const RecordingInfo& info) {
            if (info.cursorIconSize == 0) return Lines{{"cursor", "none"}};
            return Lines{{"cursor", "at " + std::to_string(info.cursorX) + "," + std::to_string(info.cursorY) +
                                        " in frame 0, icon of " + Thousands(info.cursorIconSize) + " bytes; " +
                                        CursorChangesText(info.cursorChanges)}};
          },
          [](const RecordingInfo& info, Json& j) {
            if (info.cursorIconSize == 0) return;
            Json changes = Json::array();
            for (const CursorChange& change : info.cursorChanges) {
              changes.push_back(Json{{"frame", change.frame}, {"offset", change.offset}, {"bytes", change.size}});
            }
            j["cursor"] = Json{{"x", info.cursorX}, {"y", info.cursorY}, {"iconBytes", info.cursorIconSize},
                               {"changes", std::move(changes)}};
          }};
}

Topic KeyFrameTopic() {
  return {[](const RecordingInfo& info) { return info.keyFrameSize > 0; },
          [](const RecordingInfo& info) {
            return Lines{{"key frame", "JPEG of " + Thousands(info.keyFrameSize) + " bytes at offset " +
                                           Thousands(info.keyFrameOffset)}};
          },
          [](const RecordingInfo& info, Json& j) {
            j["keyFrame"] = Json{{"offset", info.keyFrameOffset}, {"bytes", info.keyFrameSize}};
          }};
}

Lines BlockLines(const RecordingInfo& info) {
  if (info.framesRead == 0 && !(info.FrameCount() == 1 && !info.damage)) return {};
  const BlockStats& b = info.blocks;
  std::string text = Thousands(b.count) + " in " + Thousands(b.framesWithBlocks) + " of " +
                     Thousands(info.framesRead) + " frame records, " + Thousands(b.bytes) + " bytes of JPEG";
  if (b.count > 0) {
    const Rect& r = b.largestRect;
    text += "; at most " + std::to_string(b.maxPerFrame) + " in one frame; largest " + Thousands(b.largestBytes) +
            " bytes (frame " + std::to_string(b.largestFrame) + ": block " + std::to_string(b.largestIndex) +
            ", " + std::to_string(r.Width()) + " x " + std::to_string(r.Height()) + " at " +
            std::to_string(r.left) + "," + std::to_string(r.top) + ")";
  }
  return {{"blocks", text}};
}

void BlockJson(const RecordingInfo& info, Json& j) {
  j["framesRead"] = info.framesRead;
  const BlockStats& b = info.blocks;
  Json blocks{{"count", b.count},
              {"bytes", b.bytes},
              {"framesWithBlocks", b.framesWithBlocks},
              {"maxPerFrame", b.maxPerFrame},
              {"largest", nullptr}};
  if (b.count > 0) {
    const Rect& r = b.largestRect;
    blocks["largest"] = Json{{"frame", b.largestFrame},
                             {"block", b.largestIndex},
                             {"bytes", b.largestBytes},
                             {"rect", {r.left, r.top, r.right, r.bottom}}};
  }
  blocks["perFrame"] = info.blocksPerFrame;
  j["blocks"] = std::move(blocks);
  j["trailingBytes"] = info.trailingBytes;
}

Topic EndTopic() {
  return {Always,
          [](const RecordingInfo& info) {
            Lines lines;
            for (const std::string& w : info.warnings) lines.push_back({"warning", w});
            return lines;  // the damage is the caller's to report
          },
          [](const RecordingInfo& info, Json& j) {
            j["warnings"] = info.warnings;
            j["damage"] = nullptr;
            if (info.damage) {
              j["damage"] = Json{{"item", info.damage->item}, {"offset", info.damage->offset},
                                 {"message", info.damage->message}};
            }
          }};
}

const std::vector<Topic>& Topics() {
  static const std::vector<Topic> topics = {
      FileTopic(),     {Always, SoundLines, SoundJson}, {Always, VideoLines, VideoJson}, CaptionTopic(),
      CursorTopic(),   KeyFrameTopic(),                 {Always, BlockLines, BlockJson}, EndTopic(),
  };
  return topics;
}

}  // namespace

std::string InfoText(const RecordingInfo& info) {
  std::string out;
  for (const Topic& topic : Topics()) {
    if (!topic.present(info)) continue;
    for (const auto& [label, text] : topic.text(info)) {
      char padded[32];
      std::snprintf(padded, sizeof padded, "%-12s", label.c_str());
      out += padded + text + "\n";
    }
  }
  return out;
}

nlohmann::ordered_json InfoJsonObject(const RecordingInfo& info) {
  Json j;
  for (const Topic& topic : Topics()) {
    if (topic.present(info)) topic.json(info, j);
  }
  return j;
}

// Text read from a recording may hold bytes that are no UTF-8; they are
// replaced rather than failing the report.
std::string InfoJson(const RecordingInfo& info) {
  return InfoJsonObject(info).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace sp::tool
