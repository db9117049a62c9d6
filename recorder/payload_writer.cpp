#include "recorder/payload_writer.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/text.h"
#include "recorder/byte_writer.h"
#include "recorder/sound_coder.h"

namespace sp::recorder {
namespace {

// A fixed-width GBK field as the recorder's buffer holds it: the text, its
// zero (when the field has room), the leftovers of earlier texts, zeros.
// A fixed-width GBK field as the recorder's buffer holds it: the text, its
// zero (when the field has room), the leftovers of earlier texts, zeros.
template <size_t N>
void FillTextField(char (&field)[N], const std::string& utf8, const std::string& leftovers) {
  std::string text = Utf8ToGbk(utf8);
  if (text.size() < N) {
    text.push_back('\0');
    text += leftovers;
  }
  text.resize(N, '\0');
  std::memcpy(field, text.data(), N);
}

void WriteCaptionStyle(ByteWriter& out, const CaptionStyle& style) {
  CaptionStyleRecord r{};
  FillTextField(r.CaptionText, style.text, style.textLeftovers);
  r.CaptionX.Set(style.x);
  r.CaptionY.Set(style.y);
  r.CaptionFontSize.Set(style.fontSize);
  FillTextField(r.CaptionFontName, style.fontName, style.fontNameLeftovers);
  r.CaptionFontColor.Set(style.fontColor);
  r.CaptionBold = style.bold;
  r.CaptionItalic = style.italic;
  r.CaptionUnderline = style.underline;
  r.CaptionStrikeOut = style.strikeOut;
  out.Put(r);
}

void WritePosition(ByteWriter& out, int32_t x, int32_t y) {
  CursorPositionRecord r;
  r.x.Set(x);
  r.y.Set(y);
  out.Put(r);
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
  VideoHeaderRecord header;
  header.reserved0.Set(rec.reserved[0]);
  header.FrameWidth.Set(rec.frameWidth);
  header.FrameHeight.Set(rec.frameHeight);
  header.FrameCount.Set(rec.frameCountOverride ? *rec.frameCountOverride
                                               : static_cast<int32_t>(1 + rec.frames.size()));
  header.reserved16.Set(rec.reserved[1]);
  header.FrameInterval.Set(rec.frameInterval);
  header.reserved24[0].Set(rec.reserved[2]);
  header.reserved24[1].Set(rec.reserved[3]);
  header.reserved24[2].Set(rec.reserved[4]);
  header.HasCursor.Set(rec.hasCursor);
  out.Put(header);
  // The two fields behind the header hold nothing the player reads.
  out.Put(SkippedFieldsRecord{});

  mark("caption style");
  WriteCaptionStyle(out, rec.caption);

  if (cursor) {
    mark("first cursor");
    WritePosition(out, rec.cursorX, rec.cursorY);
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
    WritePosition(out, rec.nextCursorX, rec.nextCursorY);
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
      BlockRecord r;
      r.left.Set(block.rect.left);
      r.top.Set(block.rect.top);
      r.right.Set(block.rect.right);
      r.bottom.Set(block.rect.bottom);
      r.jpegSize.Set(SizeOf(block.jpeg, block.sizeOverride));
      out.Put(r);
      out.Bytes(block.jpeg);
    }
    mark(prefix + "terminator");
    out.Int32(-k);
    if (cursor) {
      mark(prefix + "next cursor");
      WritePosition(out, frame.nextCursorX, frame.nextCursorY);
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
