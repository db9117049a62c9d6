#include "tools/info_report.h"

#include <cmath>
#include <cstdio>

#include "tools/frame_clock.h"
#include "tools/text_format.h"

namespace sp::tool {
namespace {

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

// What the header's interval promises, and what the frame clock plays.
double HeaderSeconds(const RecordingInfo& info) {
  return (static_cast<double>(info.frameCount) - 1) * info.frameInterval / 1000.0;
}
double PlayedSeconds(const RecordingInfo& info) {
  return static_cast<double>(PlayedMs(info.frameCount, info.frameInterval)) / 1000.0;
}
double PlayableSeconds(const RecordingInfo& info) {
  return static_cast<double>(PlayedMs(info.PlayableFrames(), info.frameInterval)) / 1000.0;
}

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

// Seconds to the millisecond, as the text report shows them.
double Millis(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

}  // namespace

std::string InfoText(const RecordingInfo& info) {
  std::string out;
  auto line = [&](const char* topic, const std::string& text) {
    char label[32];
    std::snprintf(label, sizeof label, "%-12s", topic);
    out += label + text + "\n";
  };
  line("file", Thousands(info.fileSize) + " bytes");
  line("stub", Thousands(info.payloadOffset) + " bytes; the payload begins at offset " +
                   Thousands(info.payloadOffset));
  if (info.leadWord == 0 && info.videoOffset != 0) {
    line("sound", "none");
  } else if (info.sound) {
    const SoundTrackInfo& s = *info.sound;
    line("sound", Thousands(s.decodedLength) + " bytes decoded from " + Thousands(s.codedBytes) +
                      " coded bytes at offset " + Thousands(s.offset));
    if (s.wav.problem.empty() && s.decodedBytes == s.decodedLength) {
      line("", "WAV " + s.wav.FormatName() + ", " + Thousands(s.wav.sampleRate) + " Hz, " +
                   std::to_string(s.wav.bitsPerSample) + " bits, " + Channels(s.wav.channels) +
                   ", " + Seconds(s.wav.DurationSeconds()));
    }
  }
  if (info.videoOffset != 0) line("video", "at offset " + Thousands(info.videoOffset));
  if (info.haveHeader) {
    line("frame size", std::to_string(info.frameWidth) + " x " + std::to_string(info.frameHeight));
    std::string frames = Thousands(info.frameCount) + ", every " + Thousands(info.frameInterval) +
                         " ms";
    if (info.TicksPerFrame() > 0) {
      frames += " (" + std::to_string(info.TicksPerFrame()) + " ticks of " +
                std::to_string(info.TickPeriod()) + " ms)";
    }
    frames += ", " + Seconds(PlayedSeconds(info));
    if (PlayedMs(info.frameCount, info.frameInterval) != int64_t(info.frameCount - 1) * info.frameInterval) {
      frames += " as played (" + Seconds(HeaderSeconds(info)) + " by the interval)";
    }
    line("frames", frames);
    if (info.damage) {
      line("playable", Thousands(info.PlayableFrames()) + " of " + Thousands(info.frameCount) +
                           " frames, " + Seconds(PlayableSeconds(info)) + ", up to the damage");
    }
  }
  if (info.haveCaption) {
    const CaptionInfo& c = info.caption;
    if (c.CaptionText.empty()) {
      line("caption", "none");
    } else {
      line("caption", "\"" + c.CaptionText + "\" at " + std::to_string(c.CaptionX) + "," + std::to_string(c.CaptionY) +
                          ", " + (c.CaptionFontName.empty() ? std::string("default font") : c.CaptionFontName) +
                          " " + std::to_string(c.CaptionFontSize) + " pt, colour " +
                          Hex6(ToRrggbb(c.CaptionFontColor)) + Styles(c));
    }
  }
  if (info.haveHeader && info.hasCursor != 1) line("cursor", "none");
  if (info.cursorIconSize > 0) {
    std::string text = "at " + std::to_string(info.cursorX) + "," + std::to_string(info.cursorY) +
                       " in frame 0, icon of " + Thousands(info.cursorIconSize) + " bytes; ";
    if (info.cursorChanges.empty()) {
      text += "no shape changes";
    } else {
      text += Thousands(static_cast<int64_t>(info.cursorChanges.size())) + " shape change" +
              (info.cursorChanges.size() == 1 ? "" : "s") + " (frame";
      text += info.cursorChanges.size() == 1 ? " " : "s ";
      const size_t shown = std::min<size_t>(info.cursorChanges.size(), 10);
      for (size_t i = 0; i < shown; ++i) {
        text += (i ? ", " : "") + std::to_string(info.cursorChanges[i].frame);
      }
      if (shown < info.cursorChanges.size()) text += ", ...";
      text += ")";
    }
    line("cursor", text);
  }
  if (info.keyFrameSize > 0) {
    line("key frame", "JPEG of " + Thousands(info.keyFrameSize) + " bytes at offset " +
                          Thousands(info.keyFrameOffset));
  }
  if (info.framesRead > 0 || (info.haveHeader && info.frameCount == 1 && !info.damage)) {
    const BlockStats& b = info.blocks;
    std::string text = Thousands(b.count) + " in " + Thousands(b.framesWithBlocks) + " of " +
                       Thousands(info.framesRead) + " frame records, " + Thousands(b.bytes) +
                       " bytes of JPEG";
    if (b.count > 0) {
      text += "; at most " + std::to_string(b.maxPerFrame) + " in one frame; largest " +
              Thousands(b.largestBytes) + " bytes (frame " + std::to_string(b.largestFrame) +
              ": block " + std::to_string(b.largestIndex) + ", " +
              std::to_string(b.largestRect.Width()) + " x " + std::to_string(b.largestRect.Height()) +
              " at " + std::to_string(b.largestRect.left) + "," + std::to_string(b.largestRect.top) +
              ")";
    }
    line("blocks", text);
  }
  for (const std::string& w : info.warnings) line("warning", w);
  return out;
}

nlohmann::ordered_json InfoJsonObject(const RecordingInfo& info) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["fileSize"] = info.fileSize;
  j["payloadOffset"] = info.payloadOffset;
  j["leadWord"] = info.leadWord;
  j["videoOffset"] = info.videoOffset;
  j["sound"] = nullptr;
  if (info.sound) {
    const SoundTrackInfo& s = *info.sound;
    Json& sound = j["sound"];
    sound["offset"] = s.offset;
    sound["codedBytes"] = s.codedBytes;
    sound["decodedLength"] = s.decodedLength;
    sound["decodedBytes"] = s.decodedBytes;
    sound["wav"] = nullptr;
    if (s.wav.problem.empty() && s.decodedBytes == s.decodedLength) {
      sound["wav"] = Json{{"format", s.wav.FormatName()},
                          {"formatTag", s.wav.formatTag},
                          {"sampleRate", s.wav.sampleRate},
                          {"bitsPerSample", s.wav.bitsPerSample},
                          {"channels", s.wav.channels},
                          {"dataBytes", s.wav.dataSize},
                          {"durationSeconds", Millis(s.wav.DurationSeconds())}};
    }
  }
  if (info.haveHeader) {
    j["frameWidth"] = info.frameWidth;
    j["frameHeight"] = info.frameHeight;
    j["frameCount"] = info.frameCount;
    j["frameInterval"] = info.frameInterval;
    j["ticksPerFrame"] = info.TicksPerFrame();
    j["tickPeriod"] = info.TickPeriod();
    j["durationSeconds"] = Millis(PlayedSeconds(info));
    j["headerDurationSeconds"] = Millis(HeaderSeconds(info));
    j["playableFrames"] = info.PlayableFrames();
    j["playableSeconds"] = Millis(PlayableSeconds(info));
    j["hasCursor"] = info.hasCursor;
  }
  if (info.haveCaption) {
    const CaptionInfo& c = info.caption;
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
  }
  if (info.cursorIconSize > 0) {
    Json changes = Json::array();
    for (const CursorChange& change : info.cursorChanges) {
      changes.push_back(Json{{"frame", change.frame}, {"offset", change.offset}, {"bytes", change.size}});
    }
    j["cursor"] = Json{{"x", info.cursorX}, {"y", info.cursorY}, {"iconBytes", info.cursorIconSize},
                       {"changes", std::move(changes)}};
  }
  if (info.keyFrameSize > 0) {
    j["keyFrame"] = Json{{"offset", info.keyFrameOffset}, {"bytes", info.keyFrameSize}};
  }
  j["framesRead"] = info.framesRead;
  const BlockStats& b = info.blocks;
  Json blocks{{"count", b.count},
              {"bytes", b.bytes},
              {"framesWithBlocks", b.framesWithBlocks},
              {"maxPerFrame", b.maxPerFrame},
              {"largest", nullptr}};
  if (b.count > 0) {
    blocks["largest"] = Json{{"frame", b.largestFrame},
                             {"block", b.largestIndex},
                             {"bytes", b.largestBytes},
                             {"rect", {b.largestRect.left, b.largestRect.top, b.largestRect.right,
                                       b.largestRect.bottom}}};
  }
  blocks["perFrame"] = info.blocksPerFrame;
  j["blocks"] = std::move(blocks);
  j["trailingBytes"] = info.trailingBytes;
  j["warnings"] = info.warnings;
  j["damage"] = nullptr;
  if (info.damage) {
    j["damage"] = Json{{"item", info.damage->item}, {"offset", info.damage->offset},
                       {"message", info.damage->message}};
  }
  return j;
}

// Text read from a recording may hold bytes that are no UTF-8; they are
// replaced rather than failing the report.
std::string InfoJson(const RecordingInfo& info) {
  return InfoJsonObject(info).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace sp::tool
