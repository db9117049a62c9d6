#include "payload/payload_reader.h"

#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace sp {

uint32_t ReadLeadWord(std::FILE* file) {
  uint8_t b[4];
  if (std::fseek(file, PAYLOAD_OFFSET, SEEK_SET) != 0 || std::fread(b, 1, 4, file) != 4) {
    throw StreamReadError();
  }
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

VideoHeader ReadVideoHeader(Stream& in) {
  VideoHeader h;
  h.reserved0 = in.ReadInt32();
  h.FrameWidth = in.ReadInt32();
  h.FrameHeight = in.ReadInt32();
  h.FrameCount = in.ReadInt32();
  h.reserved16 = in.ReadInt32();
  h.FrameInterval = in.ReadInt32();
  for (int32_t& r : h.reserved24) r = in.ReadInt32();
  h.HasCursor = in.ReadInt32();
  uint8_t skipped[kSkippedFieldBytes];
  in.ReadBuffer(skipped, sizeof skipped);
  return h;
}

void CheckVideoHeader(const VideoHeader& h) {
  if (h.FrameInterval < kMinFrameInterval) throw DamagedRecording("frame interval below 40 ms");
  if (h.FrameWidth <= 0 || h.FrameWidth > kMaxFrameSide || h.FrameHeight <= 0 ||
      h.FrameHeight > kMaxFrameSide) {
    throw DamagedRecording("frame size out of range");
  }
  if (h.FrameCount < 1) throw DamagedRecording("no frames");
}

CaptionStyle ReadCaptionStyle(Stream& in) {
  char text[kCaptionTextBytes];
  char font[kFontNameBytes];
  uint8_t flags[4];
  CaptionStyle s;
  in.ReadBuffer(text, sizeof text);
  s.CaptionText = DecodeGbkField(text, sizeof text);
  s.CaptionX = in.ReadInt32();
  s.CaptionY = in.ReadInt32();
  s.CaptionFontSize = in.ReadInt32();
  in.ReadBuffer(font, sizeof font);
  s.CaptionFontName = DecodeGbkField(font, sizeof font);
  s.CaptionFontColor = in.ReadUInt32();
  in.ReadBuffer(flags, sizeof flags);
  s.CaptionBold = flags[0];
  s.CaptionItalic = flags[1];
  s.CaptionUnderline = flags[2];
  s.CaptionStrikeOut = flags[3];
  return s;
}

CursorPosition ReadCursorPosition(Stream& in) {
  CursorPosition p;
  p.x = in.ReadInt32();
  p.y = in.ReadInt32();
  return p;
}

BlockHeader ReadBlockHeader(Stream& in) {
  BlockHeader b;
  b.rect.left = in.ReadInt32();
  b.rect.top = in.ReadInt32();
  b.rect.right = in.ReadInt32();
  b.rect.bottom = in.ReadInt32();
  b.jpegSize = in.ReadInt32();
  return b;
}

void ReadImageItem(Stream& in, int32_t size, MemoryStream& into) {
  if (size <= 0) throw DamagedRecording("image item of no bytes");
  if (size > in.Remaining()) throw StreamReadError();
  into.Clear();
  into.CopyFrom(in, size);
  into.Seek(0, SeekOrigin::Begin);
}

}  // namespace sp
