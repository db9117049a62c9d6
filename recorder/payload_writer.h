#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "payload/layout.h"
#include "platform/geometry.h"

namespace sp::recorder {

struct CaptionStyle {
  std::string text;      // UTF-8, written as GBK into its 40-byte field
  int32_t x = 0;
  int32_t y = 0;
  int32_t fontSize = 0;  // points
  std::string fontName;  // UTF-8, written as GBK into its 20-byte field
  uint32_t fontColor = 0;  // 0x00BBGGRR
  // Each style is on only when its byte is exactly 1.
  uint8_t bold = 0;
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strikeOut = 0;
  // Bytes written after each text's terminating zero, as the recorder's
  // reused buffers leave them.
  std::string textLeftovers;
  std::string fontNameLeftovers;
};

struct Block {
  Rect rect;                  // right and bottom exclusive
  std::vector<uint8_t> jpeg;  // written with its size J in front
  std::optional<int32_t> sizeOverride;  // write this J instead of jpeg.size()
  std::optional<int32_t> frameOverride; // write this k instead of the frame's number
};

struct Frame {
  // A cursor change: the icon file that becomes the picture from this frame
  // on. Empty writes S = cursorChangeSize (0 keeps the picture).
  std::vector<uint8_t> cursorIcon;
  int32_t cursorChangeSize = 0;
  std::vector<Block> blocks;
  int32_t nextCursorX = 0;  // the cursor's position at the next frame
  int32_t nextCursorY = 0;
};

struct Recording {
  std::vector<uint8_t> wav;  // the sound track's WAV file; empty: none
  int32_t frameWidth = 0;
  int32_t frameHeight = 0;
  int32_t frameInterval = 1000;
  int32_t hasCursor = 1;
  std::optional<int32_t> frameCountOverride;  // else 1 + frames.size()
  std::array<int32_t, 5> reserved{};          // the header integers nobody reads
  CaptionStyle caption;

  int32_t cursorX = 0;  // first cursor, top-left at frame 0
  int32_t cursorY = 0;
  std::vector<uint8_t> cursorIcon;
  std::optional<int32_t> cursorIconSizeOverride;

  std::vector<uint8_t> keyFrame;  // JPEG of the whole screen
  std::optional<int32_t> keyFrameSizeOverride;

  int32_t nextCursorX = 0;  // the cursor's position at frame 1
  int32_t nextCursorY = 0;
  std::vector<Frame> frames;  // frames 1 .. FrameCount - 1
};

// Where an item begins, as a file offset, for tests that cut or damage a
// recording at its item boundaries.
struct ItemMark {
  int64_t offset;
  std::string item;  // "video header", "frame 3: block 1", ...
};

// The payload as the recorder lays it out, for a stub of payloadOffset bytes
// (the lead word holds the absolute offset of the video stream).
std::vector<uint8_t> WritePayload(const Recording& recording,
                                  uint32_t payloadOffset = PAYLOAD_OFFSET,
                                  std::vector<ItemMark>* marks = nullptr);

// stub followed by the payload; PAYLOAD_OFFSET is the stub's size.
std::vector<uint8_t> MakeSelfPlaying(const std::vector<uint8_t>& stub, const Recording& recording,
                                     std::vector<ItemMark>* marks = nullptr);

// A stub of zero bytes, for tests that never run it.
std::vector<uint8_t> ZeroStub(uint32_t size = PAYLOAD_OFFSET);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace sp::recorder
