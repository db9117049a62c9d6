#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "payload/layout.h"
#include "payload/payload_reader.h"
#include "platform/geometry.h"
#include "playback/frame_clock.h"
#include "tools/sound_check.h"

namespace sp {
class Stream;
}

namespace sp::tool {

// Where a recording stops being what the player can play: the item (named
// as the recorder names its items: "frame 57: block 3"), the file offset,
// and the whole sentence for the user.
using Damage = ItemFault;

struct SoundTrackInfo {
  int64_t offset = 0;       // file offset of the code tree
  int64_t codedBytes = 0;   // from the bit stream's start to the video stream
  int32_t decodedLength = 0;
  int64_t decodedBytes = 0; // what the bit stream really expands to
  WavFormat wav;
};

// The caption style as the payload reader decodes it.
using CaptionInfo = CaptionStyle;

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
  int32_t TicksPerFrame() const { return FrameClock(frameInterval).TicksPerFrame(); }
  int32_t TickPeriod() const { return FrameClock(frameInterval).TickMilliseconds(); }

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
  // Pixels the blocks of frames 1 .. framesRead cover inside the frame (a
  // sum of their rectangles, which the recorder does not overlap).
  std::vector<int64_t> coveredPerFrame;
  BlockStats blocks;
  int64_t trailingBytes = 0;  // behind the last frame record

  // Unusual values the player plays as written, each with its item and
  // offset; the walk goes on behind them.
  std::vector<std::string> warnings;
  std::optional<Damage> damage;
  // kFileEnds: the file ends inside an item; kBadValue: a value no
  // recorder writes (an undecodable JPEG among them).
  enum class DamageKind { kFileEnds, kBadValue } damageKind = DamageKind::kFileEnds;
  // When the damage is a block whose JPEG does not decode: the block's
  // bytes, from its frame number to the end of its JPEG, [first, second).
  std::optional<std::pair<int64_t, int64_t>> damagedBlock;
};

enum class JpegCheck { Header, FullDecode };

struct InspectOptions {
  uint32_t payloadOffset = PAYLOAD_OFFSET;
  JpegCheck jpeg = JpegCheck::Header;
};

// Reads the whole file item by item, checking every size against what the
// file holds, every icon and JPEG header, and the sound track's code. Values
// the player still plays are warnings and the walk goes on; it stops at the
// first damage that stops the player, keeping what was read before it.
RecordingInfo InspectRecording(Stream& file, const InspectOptions& options = {});

}  // namespace sp::tool
