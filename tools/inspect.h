#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "payload/layout.h"
#include "platform/geometry.h"
#include "tools/sound_check.h"

namespace sp {
class Stream;
}

namespace sp::tool {

// Where a recording stops being what the recorder writes: the item (named
// as the recorder names its items: "frame 57: block 3"), the file offset,
// and the whole sentence for the user.
struct Damage {
  std::string item;
  int64_t offset = 0;
  std::string message;  // "frame 57: block 3: JPEG of 9,312 bytes at offset ... runs past ..."
};

struct SoundTrackInfo {
  int64_t offset = 0;       // file offset of the code tree
  int64_t codedBytes = 0;   // from the bit stream's start to the video stream
  int32_t decodedLength = 0;
  int64_t decodedBytes = 0; // what the bit stream really expands to
  WavFormat wav;
};

struct CaptionInfo {
  std::string text;      // UTF-8
  int32_t x = 0;
  int32_t y = 0;
  int32_t fontSize = 0;  // points
  std::string fontName;  // UTF-8
  uint32_t fontColor = 0;  // 0x00BBGGRR as stored
  // A style is on only when its byte is exactly 1.
  uint8_t bold = 0;
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strikeOut = 0;
};

struct CursorChange {
  int32_t frame = 0;
  int64_t offset = 0;  // of the icon bytes
  int32_t size = 0;
};

struct BlockStats {
  int64_t count = 0;
  int64_t bytes = 0;            // JPEG bytes
  int32_t maxPerFrame = 0;
  int32_t framesWithBlocks = 0;
  // The largest block by JPEG size.
  int32_t largestFrame = 0;
  int32_t largestIndex = 0;
  int32_t largestBytes = 0;
  Rect largestRect;
};

struct RecordingInfo {
  int64_t fileSize = 0;
  uint32_t payloadOffset = PAYLOAD_OFFSET;
  uint32_t leadWord = 0;
  int64_t videoOffset = 0;
  std::optional<SoundTrackInfo> sound;

  bool haveHeader = false;
  int32_t frameWidth = 0;
  int32_t frameHeight = 0;
  int32_t frameCount = 0;
  int32_t frameInterval = 0;
  int32_t hasCursor = 0;
  int32_t TicksPerFrame() const { return frameInterval / 40; }
  int32_t TickPeriod() const { return TicksPerFrame() > 0 ? frameInterval / TicksPerFrame() : 0; }

  bool haveCaption = false;
  CaptionInfo caption;

  int32_t cursorX = 0;  // frame 0
  int32_t cursorY = 0;
  int32_t cursorIconSize = 0;
  std::vector<CursorChange> cursorChanges;

  int64_t keyFrameOffset = 0;
  int32_t keyFrameSize = 0;

  int32_t framesRead = 0;  // frame records read whole, frame 0 not counted
  std::vector<int32_t> blocksPerFrame;  // for frames 1 .. framesRead
  BlockStats blocks;
  int64_t trailingBytes = 0;  // behind the last frame record

  std::vector<std::string> warnings;  // unusual but played as written
  std::optional<Damage> damage;
};

enum class JpegCheck { Header, FullDecode };

struct InspectOptions {
  uint32_t payloadOffset = PAYLOAD_OFFSET;
  JpegCheck jpeg = JpegCheck::Header;
};

// Reads the whole file item by item, checking every size against what the
// file holds, every icon and JPEG header, and the sound track's code; stops
// at the first damage, keeping what was read before it.
RecordingInfo InspectRecording(Stream& file, const InspectOptions& options = {});

}  // namespace sp::tool
