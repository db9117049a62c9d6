#include "tools/info_report.h"

#include <cstdio>

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

double ShownSeconds(const RecordingInfo& info) {
  return (static_cast<double>(info.frameCount) - 1) * info.frameInterval / 1000.0;
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

class Json {
 public:
  void Key(const char* key) {
    Separate();
    out_ += JsonString(key) + ":";
    fresh_ = true;
  }
  void Open(char bracket) {
    Separate();
    out_.push_back(bracket);
    fresh_ = true;
  }
  void Close(char bracket) {
    out_.push_back(bracket);
    fresh_ = false;
  }
  void Value(int64_t v) { Raw(std::to_string(v)); }
  void Value(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    Raw(buffer);
  }
  void Value(bool v) { Raw(v ? "true" : "false"); }
  void Value(const std::string& v) { Raw(JsonString(v)); }
  void Null() { Raw("null"); }
  template <class T>
  void Field(const char* key, const T& v) {
    Key(key);
    Value(v);
  }
  std::string Take() { return std::move(out_); }

 private:
  void Raw(const std::string& text) {
    Separate();
    out_ += text;
    fresh_ = false;
  }
  void Separate() {
    if (!fresh_ && !out_.empty()) out_.push_back(',');
    fresh_ = false;
  }
  std::string out_;
  bool fresh_ = true;
};

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
    line("frames", frames + ", " + Seconds(ShownSeconds(info)));
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

std::string InfoJson(const RecordingInfo& info) {
  Json j;
  j.Open('{');
  j.Field("fileSize", info.fileSize);
  j.Field("payloadOffset", int64_t(info.payloadOffset));
  j.Field("leadWord", int64_t(info.leadWord));
  j.Field("videoOffset", info.videoOffset);
  j.Key("sound");
  if (info.sound) {
    const SoundTrackInfo& s = *info.sound;
    j.Open('{');
    j.Field("offset", s.offset);
    j.Field("codedBytes", s.codedBytes);
    j.Field("decodedLength", int64_t(s.decodedLength));
    j.Field("decodedBytes", s.decodedBytes);
    j.Key("wav");
    if (s.wav.problem.empty() && s.decodedBytes == s.decodedLength) {
      j.Open('{');
      j.Field("format", s.wav.FormatName());
      j.Field("formatTag", int64_t(s.wav.formatTag));
      j.Field("sampleRate", int64_t(s.wav.sampleRate));
      j.Field("bitsPerSample", int64_t(s.wav.bitsPerSample));
      j.Field("channels", int64_t(s.wav.channels));
      j.Field("dataBytes", int64_t(s.wav.dataSize));
      j.Field("durationSeconds", s.wav.DurationSeconds());
      j.Close('}');
    } else {
      j.Null();
    }
    j.Close('}');
  } else {
    j.Null();
  }
  if (info.haveHeader) {
    j.Field("frameWidth", int64_t(info.frameWidth));
    j.Field("frameHeight", int64_t(info.frameHeight));
    j.Field("frameCount", int64_t(info.frameCount));
    j.Field("frameInterval", int64_t(info.frameInterval));
    j.Field("ticksPerFrame", int64_t(info.TicksPerFrame()));
    j.Field("tickPeriod", int64_t(info.TickPeriod()));
    j.Field("durationSeconds", ShownSeconds(info));
    j.Field("hasCursor", int64_t(info.hasCursor));
  }
  if (info.haveCaption) {
    const CaptionInfo& c = info.caption;
    j.Key("caption");
    j.Open('{');
    j.Field("text", c.CaptionText);
    j.Field("x", int64_t(c.CaptionX));
    j.Field("y", int64_t(c.CaptionY));
    j.Field("fontSize", int64_t(c.CaptionFontSize));
    j.Field("fontName", c.CaptionFontName);
    j.Field("fontColor", Hex6(ToRrggbb(c.CaptionFontColor)));
    j.Field("bold", c.CaptionBold == 1);
    j.Field("italic", c.CaptionItalic == 1);
    j.Field("underline", c.CaptionUnderline == 1);
    j.Field("strikeOut", c.CaptionStrikeOut == 1);
    j.Close('}');
  }
  if (info.cursorIconSize > 0) {
    j.Key("cursor");
    j.Open('{');
    j.Field("x", int64_t(info.cursorX));
    j.Field("y", int64_t(info.cursorY));
    j.Field("iconBytes", int64_t(info.cursorIconSize));
    j.Key("changes");
    j.Open('[');
    for (const CursorChange& change : info.cursorChanges) {
      j.Open('{');
      j.Field("frame", int64_t(change.frame));
      j.Field("offset", change.offset);
      j.Field("bytes", int64_t(change.size));
      j.Close('}');
    }
    j.Close(']');
    j.Close('}');
  }
  if (info.keyFrameSize > 0) {
    j.Key("keyFrame");
    j.Open('{');
    j.Field("offset", info.keyFrameOffset);
    j.Field("bytes", int64_t(info.keyFrameSize));
    j.Close('}');
  }
  j.Field("framesRead", int64_t(info.framesRead));
  j.Key("blocks");
  j.Open('{');
  const BlockStats& b = info.blocks;
  j.Field("count", b.count);
  j.Field("bytes", b.bytes);
  j.Field("framesWithBlocks", int64_t(b.framesWithBlocks));
  j.Field("maxPerFrame", int64_t(b.maxPerFrame));
  j.Key("largest");
  if (b.count > 0) {
    j.Open('{');
    j.Field("frame", int64_t(b.largestFrame));
    j.Field("block", int64_t(b.largestIndex));
    j.Field("bytes", int64_t(b.largestBytes));
    j.Key("rect");
    j.Open('[');
    for (int v : {b.largestRect.left, b.largestRect.top, b.largestRect.right, b.largestRect.bottom}) {
      j.Value(int64_t(v));
    }
    j.Close(']');
    j.Close('}');
  } else {
    j.Null();
  }
  j.Key("perFrame");
  j.Open('[');
  for (int32_t n : info.blocksPerFrame) j.Value(int64_t(n));
  j.Close(']');
  j.Close('}');
  j.Field("trailingBytes", info.trailingBytes);
  j.Key("warnings");
  j.Open('[');
  for (const std::string& w : info.warnings) j.Value(w);
  j.Close(']');
  j.Key("damage");
  if (info.damage) {
    j.Open('{');
    j.Field("item", info.damage->item);
    j.Field("offset", info.damage->offset);
    j.Field("message", info.damage->message);
    j.Close('}');
  } else {
    j.Null();
  }
  j.Close('}');
  return j.Take() + "\n";
}

}  // namespace sp::tool
