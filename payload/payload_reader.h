#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "payload/layout.h"
#include "platform/geometry.h"

namespace sp {

class MemoryStream;
class Stream;

// The player's own message for a recording that can only be damaged.
inline constexpr const char* kDamagedRecordingText = "录像文件已损坏";

// A value no recorder writes, found before anything was sized from it. Not a
// framework error: the player reports it with its own message box.
class DamagedRecording : public std::runtime_error {
 public:
  explicit DamagedRecording(const std::string& what) : std::runtime_error(what) {}
};

// Item 3: ten integers; the reserved ones are kept but never interpreted.
struct VideoHeader {
  int32_t reserved0 = 0;
  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  int32_t FrameCount = 0;
  int32_t reserved16 = 0;
  int32_t FrameInterval = 0;
  std::array<int32_t, 3> reserved24{};
  int32_t HasCursor = 0;

  std::array<int32_t, 5> Reserved() const {
    return {reserved0, reserved16, reserved24[0], reserved24[1], reserved24[2]};
  }
};

// Item 5, with the texts decoded from code page 936 to UTF-8.
struct CaptionStyle {
  std::string CaptionText;
  int32_t CaptionX = 0;
  int32_t CaptionY = 0;
  int32_t CaptionFontSize = 0;
  std::string CaptionFontName;
  uint32_t CaptionFontColor = 0;
  uint8_t CaptionBold = 0;
  uint8_t CaptionItalic = 0;
  uint8_t CaptionUnderline = 0;
  uint8_t CaptionStrikeOut = 0;
};

struct CursorPosition {
  int32_t x = 0;
  int32_t y = 0;
};

// A block's rectangle and JPEG size; the JPEG's bytes follow in the stream.
struct BlockHeader {
  Rect rect;
  int32_t jpegSize = 0;
};

// Seeks the C runtime handle to PAYLOAD_OFFSET and reads VideoOffset,
// leaving the handle just behind it. StreamReadError when the file is shorter.
uint32_t ReadLeadWord(std::FILE* file);

// Item 3 and the 40 bytes of item 4 behind it.
VideoHeader ReadVideoHeader(Stream& in);
// DamagedRecording for a header no recorder writes: an interval that gives
// no tick, a side of 0 or less or beyond kMaxFrameSide, no frame at all.
void CheckVideoHeader(const VideoHeader& header);

CaptionStyle ReadCaptionStyle(Stream& in);
CursorPosition ReadCursorPosition(Stream& in);

// The rectangle and size of a block whose frame number has been read.
BlockHeader ReadBlockHeader(Stream& in);

// Empties `into`, copies an image item of `size` bytes into it and rewinds
// it. The size is checked against what `in` still holds before anything is
// allocated (StreamReadError past the end); a size of 0 or less is
// DamagedRecording, since the copy would take it for "everything".
void ReadImageItem(Stream& in, int32_t size, MemoryStream& into);

}  // namespace sp
