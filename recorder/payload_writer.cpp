#include "recorder/payload_writer.h"

#include <cstdio>
#include <memory>

#include "platform/text.h"
#include "recorder/byte_writer.h"
#include "recorder/sound_coder.h"

namespace sp::recorder {
namespace {

// A fixed-width GBK field as the recorder's buffer holds it: the text, its
// zero (when the field has room), the leftovers of earlier texts, zeros.
void WriteTextField(ByteWriter& out, const std::string& utf8, const std::string& leftovers,
                    size_t width) {
  std::string field = Utf8ToGbk(utf8);
  if (field.size() < width) {
    field.push_back('\0');
    field += leftovers;
  }
  field.resize(width, '\0');
  out.Text(field);
}

void WriteCaptionStyle(ByteWriter& out, const CaptionStyle& style) {
  WriteTextField(out, style.text, style.textLeftovers, kCaptionTextBytes);
  out.Int32(style.x);
  out.Int32(style.y);
  out.Int32(style.fontSize);
  WriteTextField(out, style.fontName, style.fontNameLeftovers, kFontNameBytes);
  out.UInt32(style.fontColor);
  out.Byte(style.bold);
  out.Byte(style.italic);
  out.Byte(style.underline);
  out.Byte(style.strikeOut);
}

void WriteRect(ByteWriter& out, const Rect& r) {
  out.Int32(r.left);
  out.Int32(r.top);
  out.Int32(r.right);
  out.Int32(r.bottom);
}

int32_t SizeOf(const std::vector<uint8_t>& bytes, const std::optional<int32_t>& override) {
  return override ? *override : static_cast<int32_t>(bytes.size());
}

}  // namespace

std::vector<uint8_t> WritePayload(const Recording& rec, uint32_t payloadOffset,
                                  std::vector<ItemMark>* marks) {
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  auto mark = [&](std::string item) {
    if (marks) marks->push_back({static_cast<int64_t>(payloadOffset) + static_cast<int64_t>(out.Size()), std::move(item)});
  };
  const bool cursor = rec.hasCursor == 1;

  mark("lead word");
  out.UInt32(0);
  if (!rec.wav.empty()) {
    mark("sound track");
    std::vector<uint8_t> sound = EncodeSoundTrack(rec.wav);
    out.Bytes(sound);
    out.PatchUInt32(0, payloadOffset + static_cast<uint32_t>(out.Size()));
  }

  mark("video header");
  out.Int32(rec.reserved[0]);
  out.Int32(rec.frameWidth);
  out.Int32(rec.frameHeight);
  out.Int32(rec.frameCountOverride ? *rec.frameCountOverride
                                   : static_cast<int32_t>(1 + rec.frames.size()));
  out.Int32(rec.reserved[1]);
  out.Int32(rec.frameInterval);
  out.Int32(rec.reserved[2]);
  out.Int32(rec.reserved[3]);
  out.Int32(rec.reserved[4]);
  out.Int32(rec.hasCursor);
  // The two fields behind the header hold nothing the player reads.
  out.Zeros(kSkippedFieldBytes);

  mark("caption style");
  WriteCaptionStyle(out, rec.caption);

  if (cursor) {
    mark("first cursor");
    out.Int32(rec.cursorX);
    out.Int32(rec.cursorY);
    out.Int32(SizeOf(rec.cursorIcon, rec.cursorIconSizeOverride));
    out.Bytes(rec.cursorIcon);
  }

  mark("key frame");
  out.Int32(SizeOf(rec.keyFrame, rec.keyFrameSizeOverride));
  out.Bytes(rec.keyFrame);

  mark("frame 0 terminator");
  out.Int32(0);
  if (cursor) {
    mark("next cursor 1");
    out.Int32(rec.nextCursorX);
    out.Int32(rec.nextCursorY);
  }

  for (size_t i = 0; i < rec.frames.size(); ++i) {
    const Frame& frame = rec.frames[i];
    const int32_t k = static_cast<int32_t>(i + 1);
    const std::string prefix = "frame " + std::to_string(k) + ": ";
    if (cursor) {
      mark(prefix + "cursor change");
      if (frame.cursorIcon.empty()) {
        out.Int32(frame.cursorChangeSize);
      } else {
        out.Int32(static_cast<int32_t>(frame.cursorIcon.size()));
        out.Bytes(frame.cursorIcon);
      }
    }
    for (size_t b = 0; b < frame.blocks.size(); ++b) {
      const Block& block = frame.blocks[b];
      mark(prefix + "block " + std::to_string(b));
      out.Int32(block.frameOverride ? *block.frameOverride : k);
      WriteRect(out, block.rect);
      out.Int32(SizeOf(block.jpeg, block.sizeOverride));
      out.Bytes(block.jpeg);
    }
    mark(prefix + "terminator");
    out.Int32(-k);
    if (cursor) {
      mark(prefix + "next cursor");
      out.Int32(frame.nextCursorX);
      out.Int32(frame.nextCursorY);
    }
  }
  return bytes;
}

std::vector<uint8_t> MakeSelfPlaying(const std::vector<uint8_t>& stub, const Recording& recording,
                                     std::vector<ItemMark>* marks) {
  std::vector<uint8_t> file = stub;
  std::vector<uint8_t> payload = WritePayload(recording, static_cast<uint32_t>(stub.size()), marks);
  file.insert(file.end(), payload.begin(), payload.end());
  return file;
}

std::vector<uint8_t> ZeroStub(uint32_t size) { return std::vector<uint8_t>(size, 0); }

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return false;
  }
  return std::fclose(file.release()) == 0;
}

}  // namespace sp::recorder
